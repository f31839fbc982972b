// The controls of the main window's file browser: the drive list, the
// folder list and the file list. Paths are absolute, with "/" separators and
// no trailing "/" except for the root.
#ifndef KELVORA_APP_BROWSER_H
#define KELVORA_APP_BROWSER_H

#include <QComboBox>
#include <QListWidget>
#include <QString>
#include <QTreeWidget>

// Drive1: "/" and the mounted volumes a user would open.
class DriveList : public QComboBox {
    Q_OBJECT
public:
    explicit DriveList(QWidget* parent);
    // Reads the volumes again and keeps the selected one when it is still there.
    void Refresh();
    // Selects the volume that holds `path`, without emitting driveChosen.
    void SelectDriveOf(const QString& path);
    // The root of the selected volume.
    QString Drive() const;

signals:
    // The user chose a volume.
    void driveChosen(const QString& root);
};

// Dir1: the folders from "/" down to the current one, then its subfolders.
// A double-click (or Enter) on an entry makes it the current folder.
class FolderList : public QTreeWidget {
    Q_OBJECT
public:
    explicit FolderList(QWidget* parent);
    const QString& Path() const { return path_; }
    // False, and nothing changes, when `path` is not a folder that can be read.
    // Emits pathChanged when the folder changes.
    bool SetPath(const QString& path);
    // Reads the folders again; when the current one has gone, its nearest
    // existing parent becomes current.
    void Refresh();

signals:
    void pathChanged(const QString& path);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    // No expand arrows: every entry is always open; the indentation shows the levels.
    void drawBranches(QPainter*, const QRect&, const QModelIndex&) const override {}

private:
    void Rebuild();
    void Enter(QTreeWidgetItem* item);

    QString path_;
};

// File1: the files of one folder that match the pattern, sorted by name;
// dot files are not listed.
class FileList : public QListWidget {
    Q_OBJECT
public:
    explicit FileList(QWidget* parent);
    // Each of these reads the folder again; a new folder leaves nothing selected.
    void SetFolder(const QString& folder);
    void SetPattern(const QString& pattern);
    const QString& Pattern() const { return pattern_; }
    // The selected file's name, or an empty text.
    QString FileName() const;
    // Reads the folder again and keeps the selected name when it is still listed.
    void Refresh();

signals:
    // A button was released over the list, not counting the release that
    // ends a double-click.
    void mouseReleased(Qt::MouseButton button);
    // A key was released; `moved` when the keys pressed since the last
    // release changed the selected row.
    void keyReleased(int key, bool moved);
    // A double-click on a file, or Enter on one.
    void fileDoubleClicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    QString folder_, pattern_ = "*.*";
    bool after_double_click_ = false;
    int row_at_press_ = -1;
    bool entered_ = false;  // Enter opened the file; its release is not a selection
};

#endif

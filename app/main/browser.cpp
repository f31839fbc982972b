#include "browser.h"

#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStorageInfo>
#include <QStyle>

#include <utility>

#include "main_rules.h"

namespace {

constexpr QDir::SortFlags kByName = QDir::Name | QDir::IgnoreCase | QDir::LocaleAware;

QString Clean(const QString& path) { return QDir::cleanPath(QDir(path).absolutePath()); }

bool IsReadableFolder(const QString& path) {
    QFileInfo info(path);
    return info.isDir() && info.isReadable() && info.isExecutable();
}

// True when `path` is `root` or lies below it.
bool IsUnder(const QString& path, const QString& root) {
    if (root == "/") return true;
    return path == root || path.startsWith(root + "/");
}

}  // namespace

// --- Drive1 ------------------------------------------------------------------

DriveList::DriveList(QWidget* parent) : QComboBox(parent) {
    Refresh();
    connect(this, &QComboBox::activated, this, [this](int index) { emit driveChosen(itemData(index).toString()); });
}

void DriveList::Refresh() {
    const QString selected = Drive();
    QSignalBlocker quiet(this);
    clear();
    addItem("/", QString("/"));
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        const QString root = volume.rootPath();
        if (!volume.isValid() || !volume.isReady() || !IsReadableFolder(root)) continue;
        if (!IsUserVolume(root.toStdString(), volume.fileSystemType().toStdString())) continue;
        if (findData(root) >= 0) continue;
        const QString name = volume.name();
        addItem(name.isEmpty() ? root : root + " [" + name + "]", root);
    }
    const int found = findData(selected);
    setCurrentIndex(found >= 0 ? found : 0);
}

void DriveList::SelectDriveOf(const QString& path) {
    int best = 0;
    for (int i = 1; i < count(); ++i) {
        const QString root = itemData(i).toString();
        if (IsUnder(path, root) && root.size() > itemData(best).toString().size()) best = i;
    }
    QSignalBlocker quiet(this);
    setCurrentIndex(best);
}

QString DriveList::Drive() const { return currentIndex() < 0 ? QString("/") : currentData().toString(); }

// --- Dir1 --------------------------------------------------------------------

FolderList::FolderList(QWidget* parent) : QTreeWidget(parent) {
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
    setIndentation(8);
    connect(this, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) { Enter(item); });
}

bool FolderList::SetPath(const QString& path) {
    if (path.isEmpty() || !IsReadableFolder(path)) return false;
    const QString clean = Clean(path);
    if (clean == path_) return true;
    path_ = clean;
    Rebuild();
    emit pathChanged(path_);
    return true;
}

void FolderList::Refresh() {
    QString existing = path_;
    while (!IsReadableFolder(existing) && existing != "/") existing = QFileInfo(existing).path();
    if (existing != path_) {
        SetPath(existing);
        return;
    }
    Rebuild();
}

void FolderList::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        Enter(currentItem());
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void FolderList::Enter(QTreeWidgetItem* item) {
    if (!item) return;
    const QString path = item->data(0, Qt::UserRole).toString();
    // Entering rebuilds the tree, the entry clicked included: do it once the event is over.
    QMetaObject::invokeMethod(this, [this, path] { SetPath(path); }, Qt::QueuedConnection);
}

void FolderList::Rebuild() {
    clear();
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);

    // The chain from the root down to the current folder.
    auto* item = new QTreeWidgetItem(this, QStringList("/"));
    item->setData(0, Qt::UserRole, QString("/"));
    item->setIcon(0, open);
    QString walked;
    for (const QString& part : path_.split('/', Qt::SkipEmptyParts)) {
        walked += "/" + part;
        item = new QTreeWidgetItem(item, QStringList(part));
        item->setData(0, Qt::UserRole, walked);
        item->setIcon(0, open);
    }
    QTreeWidgetItem* current = item;

    const QDir folder(path_);
    for (const QString& name : folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot, kByName)) {
        auto* child = new QTreeWidgetItem(current, QStringList(name));
        child->setData(0, Qt::UserRole, folder.filePath(name));
        child->setIcon(0, closed);
    }
    expandAll();
    setCurrentItem(current);
    scrollToItem(current, QAbstractItemView::PositionAtCenter);
}

// --- File1 -------------------------------------------------------------------

FileList::FileList(QWidget* parent) : QListWidget(parent) { setSelectionMode(QAbstractItemView::SingleSelection); }

void FileList::SetFolder(const QString& folder) {
    folder_ = folder;
    clear();
    Refresh();
}

void FileList::SetPattern(const QString& pattern) {
    pattern_ = pattern;
    Refresh();
}

QString FileList::FileName() const {
    const QListWidgetItem* item = currentItem();
    return item && item->isSelected() ? item->text() : QString();
}

void FileList::Refresh() {
    const QString selected = FileName();
    clear();
    if (folder_.isEmpty()) return;
    const std::string patterns = pattern_.toStdString();
    for (const QString& name : QDir(folder_).entryList(QDir::Files, kByName))
        if (MatchesPatterns(name.toStdString(), patterns)) addItem(name);
    if (selected.isEmpty()) return;
    const QList<QListWidgetItem*> found = findItems(selected, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (!found.isEmpty()) setCurrentItem(found.front());
}

void FileList::mousePressEvent(QMouseEvent* event) {
    after_double_click_ = false;
    QListWidget::mousePressEvent(event);
}

void FileList::mouseReleaseEvent(QMouseEvent* event) {
    QListWidget::mouseReleaseEvent(event);
    if (after_double_click_) {
        after_double_click_ = false;
        return;
    }
    emit mouseReleased(event->button());
}

void FileList::mouseDoubleClickEvent(QMouseEvent* event) {
    // The release that follows belongs to the double-click: the file was
    // identified by the first click and is being extracted now.
    after_double_click_ = true;
    QListWidget::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton && !FileName().isEmpty()) emit fileDoubleClicked();
}

void FileList::keyPressEvent(QKeyEvent* event) {
    if (!event->isAutoRepeat()) row_at_press_ = currentRow();
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (!enter) return QListWidget::keyPressEvent(event);
    // Enter is the keyboard's double-click; the list's own handling would
    // pass it on to the window's default button.
    event->accept();
    if (event->isAutoRepeat() || FileName().isEmpty()) return;
    entered_ = true;
    emit fileDoubleClicked();
}

void FileList::keyReleaseEvent(QKeyEvent* event) {
    QListWidget::keyReleaseEvent(event);
    if (event->isAutoRepeat()) return;
    if (std::exchange(entered_, false)) return;
    emit keyReleased(event->key(), currentRow() != row_at_press_);
}

#include "wait_window.h"

#include <QApplication>
#include <QDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QThread>
#include <QTimer>

namespace platform {
namespace {

// Template 101: a 95 x 33 unit pop-up with one centred text at (7, 7), 81 x 19.
constexpr int kWidthUnits = 95;
constexpr int kHeightUnits = 33;
constexpr int kTextLeft = 7, kTextTop = 7, kTextWidth = 81, kTextHeight = 19;

QApplication* GuiApplication() {
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!app || QThread::currentThread() != app->thread()) return nullptr;
    return app;
}

QFont WaitWindowFont() {
    QFont font;
    // The template's face first; where it is missing, a Japanese face that
    // renders the same texts.
    font.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"),
                      QStringLiteral("Noto Sans CJK JP"), QStringLiteral("Noto Sans JP")});
    font.setPointSize(9);
    return font;
}

// Dialog base units of a font, worked out as Windows does for dialogs.
QSize BaseUnits(const QFont& font) {
    QFontMetrics metrics(font);
    int alphabet = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return QSize((alphabet / 26 + 1) / 2, metrics.height());
}

int Scale(int units, int base, int divisor) { return (units * base + divisor / 2) / divisor; }

QRect UnitsToPixels(const QSize& base, int x, int y, int w, int h) {
    return QRect(Scale(x, base.width(), 4), Scale(y, base.height(), 8),
                 Scale(w, base.width(), 4), Scale(h, base.height(), 8));
}

// A window that the module shows while its command runs (its own progress,
// a password question, a message) says more than "please wait": the wait
// window steps back for as long as any is up, so that neither hides the
// other, and comes back when they are gone and the command still runs.
class WaitWindow : public QDialog {
public:
    explicit WaitWindow(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const bool shown = event->type() == QEvent::Show, hidden = event->type() == QEvent::Hide;
        auto* window = (shown || hidden) && !event->spontaneous() ? qobject_cast<QWidget*>(watched) : nullptr;
        if (window && window != this && IsModuleWindow(window)) {
            modules_.removeAll(window);
            if (shown) modules_.append(window);
            Reconsider();
        }
        return false;
    }

private:
    // Dialogs and plain windows; the pop-ups and tool tips inside them are no windows of their own.
    static bool IsModuleWindow(const QWidget* widget) {
        return widget->isWindow() && (widget->windowType() == Qt::Dialog || widget->windowType() == Qt::Window);
    }

    bool Covered() {
        modules_.removeAll(nullptr);  // deleted while shown
        return !modules_.isEmpty();
    }

    // Steps back at once; comes back only once events are processed again,
    // which a window closed at the very end of the command never sees.
    void Reconsider() {
        if (Covered()) {
            hide();
            return;
        }
        QTimer::singleShot(0, this, [this] {
            if (!Covered()) show();
        });
    }

    QList<QPointer<QWidget>> modules_;
};

}  // namespace

HWND ShowWaitWindow(HWND owner) {
    if (!GuiApplication()) return nullptr;

    QWidget* parent = owner ? QWidget::find(reinterpret_cast<WId>(owner)) : nullptr;
    auto* window = new WaitWindow(parent);
    window->setObjectName(kWaitWindowName);
    window->setWindowTitle(QStringLiteral("Dravolix：Please Wait...."));
    window->setFont(WaitWindowFont());

    // The template's figures in dialog units; where the font here is wider
    // than the template's, the text and window grow so that nothing is cut.
    const QSize base = BaseUnits(window->font());
    auto* text = new QLabel(QStringLiteral("ファイルを処理しています。\nしばらくお待ち下さい...."), window);
    text->setAlignment(Qt::AlignCenter);
    QRect textRect = UnitsToPixels(base, kTextLeft, kTextTop, kTextWidth, kTextHeight);
    textRect.setSize(textRect.size().expandedTo(text->sizeHint()));
    text->setGeometry(textRect);

    const QRect templateRect = UnitsToPixels(base, 0, 0, kWidthUnits, kHeightUnits);
    const QSize margins(templateRect.width() - UnitsToPixels(base, 0, 0, kTextWidth, 0).width(),
                        templateRect.height() - UnitsToPixels(base, 0, 0, 0, kTextHeight).height());
    const QSize client = templateRect.size().expandedTo(textRect.size() + margins);
    window->setFixedSize(client);
    text->move((client.width() - textRect.width()) / 2, textRect.top());

    window->show();
    // Centre the whole window, frame included, once the frame is known.
    QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        QRect area = screen->geometry();
        QSize frame = window->frameGeometry().size();
        window->move(area.left() + (area.width() - frame.width()) / 2,
                     area.top() + (area.height() - frame.height()) / 2);
    }
    window->raise();
    window->activateWindow();
    return reinterpret_cast<HWND>(window->winId());
}

void CloseWaitWindow(HWND handle) {
    if (!handle || !GuiApplication()) return;
    if (QWidget* window = QWidget::find(reinterpret_cast<WId>(handle));
        window && window->objectName() == QLatin1String(kWaitWindowName))
        delete window;
}

}  // namespace platform

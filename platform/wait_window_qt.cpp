#include "wait_window.h"

#include <QApplication>
#include <QDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QScreen>
#include <QThread>

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

}  // namespace

HWND ShowWaitWindow(HWND owner) {
    if (!GuiApplication()) return nullptr;

    QWidget* parent = owner ? QWidget::find(reinterpret_cast<WId>(owner)) : nullptr;
    auto* window = new QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    window->setObjectName(kWaitWindowName);
    window->setWindowTitle(QStringLiteral("Dravolix：Please Wait...."));
    window->setFont(WaitWindowFont());

    const QSize base = BaseUnits(window->font());
    const QRect client = UnitsToPixels(base, 0, 0, kWidthUnits, kHeightUnits);
    window->setFixedSize(client.size());

    auto* text = new QLabel(QStringLiteral("ファイルを処理しています。\nしばらくお待ち下さい...."), window);
    text->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    text->setWordWrap(true);
    text->setAutoFillBackground(false);
    text->setGeometry(UnitsToPixels(base, kTextLeft, kTextTop, kTextWidth, kTextHeight));

    QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        QRect area = screen->geometry();
        window->move(area.center() - QPoint(client.width() / 2, client.height() / 2));
    }
    window->show();
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

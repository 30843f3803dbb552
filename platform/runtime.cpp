#include "platform/runtime.h"

#include "platform/msgbox.h"
#include "platform/runtimeerror.h"

#include <QApplication>
#include <QScreen>
#include <QWidget>

#include <cmath>
#include <new>

namespace vm {

namespace {
bool s_ended = false;

double logicalDpi(bool x)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? (x ? screen->logicalDotsPerInchX() : screen->logicalDotsPerInchY()) : 96.0;
    return dpi > 0 ? dpi : 96.0;
}

void showErrorBox(const RuntimeError &error)
{
    MsgBox(error.Description(), MsgBoxIcon::Critical, QStringLiteral("エラー"));
}

std::function<void(const RuntimeError &)> &reporter()
{
    static std::function<void(const RuntimeError &)> current = showErrorBox;
    return current;
}
} // namespace

void runEvent(const std::function<void()> &procedure)
{
    if (s_ended)
        return;
    try {
        procedure();
    } catch (const RuntimeError &e) {
        ErrorBox(e);
    } catch (const std::bad_alloc &) {
        ErrorBox(RuntimeError(Err::OutOfMemory));
    }
}

void ErrorBox(const RuntimeError &error)
{
    reporter()(error);
}

void setUserErrorReporter(std::function<void(const RuntimeError &)> newReporter)
{
    reporter() = newReporter ? std::move(newReporter) : showErrorBox;
}

void resumeNext(const std::function<void()> &step)
{
    try {
        step();
    } catch (const RuntimeError &) {
    } catch (const std::bad_alloc &) {
    }
}

void End()
{
    s_ended = true;
    // Hide, not close: closing would run the windows' unload procedures.
    for (QWidget *w : QApplication::topLevelWidgets())
        w->hide();
    QCoreApplication::exit(0);
}

bool hasEnded()
{
    return s_ended;
}
void resetEnded()
{
    s_ended = false;
}

double twipsPerPixelX()
{
    return 1440.0 / logicalDpi(true);
}
double twipsPerPixelY()
{
    return 1440.0 / logicalDpi(false);
}

Twips Screen::Width()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? twipsFromPixels(screen->geometry().width(), twipsPerPixelX()) : Twips(0);
}

Twips Screen::Height()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? twipsFromPixels(screen->geometry().height(), twipsPerPixelY()) : Twips(0);
}

QPoint Screen::origin()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry().topLeft() : QPoint();
}

} // namespace vm

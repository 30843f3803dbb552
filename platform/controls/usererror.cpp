#include "platform/controls/usererror.h"

#include <QApplication>
#include <QMessageBox>

#include <new>

#include "platform/runtimeerror.h"

namespace vm {
namespace {

void showErrorBox(const RuntimeError &error)
{
    QMessageBox::critical(QApplication::activeWindow(), QStringLiteral("エラー"), error.Description());
}

std::function<void(const RuntimeError &)> &reporter()
{
    static std::function<void(const RuntimeError &)> current = showErrorBox;
    return current;
}

} // namespace

void runUserAction(const std::function<void()> &step)
{
    try {
        step();
    } catch (const RuntimeError &error) {
        reporter()(error);
    } catch (const std::bad_alloc &) {
        reporter()(RuntimeError(Err::OutOfMemory));
    }
}

void setUserErrorReporter(std::function<void(const RuntimeError &)> newReporter)
{
    reporter() = newReporter ? std::move(newReporter) : showErrorBox;
}

} // namespace vm

#include "platform/controls/usererror.h"


#include <new>

#include "platform/msgbox.h"
#include "platform/runtimeerror.h"

namespace vm {
namespace {

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

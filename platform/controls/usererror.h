// Failures met while a control acts on the user's own input (opening a folder
// by double-click, or an event procedure run by a click) have no program code
// to return to; they are shown to the user here.
#pragma once

#include <functional>

namespace vm {

class RuntimeError;

// Runs a step started by the user; a RuntimeError (or running out of memory)
// is reported instead of escaping into the event loop.
void runUserAction(const std::function<void()> &step);

// Replaces how such failures are shown (by default the error box: the
// description, a critical-stop icon, OK and the title "エラー").
void setUserErrorReporter(std::function<void(const RuntimeError &)> reporter);

} // namespace vm

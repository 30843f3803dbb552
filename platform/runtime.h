// The runtime's event dispatch and program end.
#pragma once

#include "platform/units.h"

#include <functional>

namespace vm {

// Runs an event procedure. A runtime failure that the procedure does not trap
// itself is reported with the error box and the program goes on; nothing
// escapes into the toolkit's event loop.
void runEvent(const std::function<void()> &procedure);

// The ignore-and-continue trap for one step: a runtime failure inside `step`
// is skipped without a word.
void resumeNext(const std::function<void()> &step);

// Ends the program at once: every window goes, no unload procedure runs.
void End();
bool hasEnded();
// For tests: forget that End ran.
void resetEnded();

// Twips per logical pixel of the screen (15 at 96 dpi).
double twipsPerPixelX();
double twipsPerPixelY();

// The screen's size.
struct Screen {
    static Twips Width();
    static Twips Height();
};

} // namespace vm

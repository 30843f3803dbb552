// The runtime's event dispatch, its error box and program end.
#pragma once

#include "platform/units.h"

#include <QPoint>

#include <functional>

namespace vm {

class RuntimeError;

// The one trap for everything the user starts: an event procedure, or a
// control acting on the user's own input (opening a folder by double-click).
// A runtime failure (or running out of memory) that the step does not trap
// itself is shown with the error box and the program goes on; nothing
// escapes into the toolkit's event loop. Once the program has ended, nothing
// runs.
void runEvent(const std::function<void()> &procedure);

// The error box: the failure's description, the critical-stop icon, one OK
// button and the title "エラー". Shown by the trap above and by the windows'
// own error handlers.
void ErrorBox(const RuntimeError &error);

// Replaces how the error box is shown (for tests); pass an empty function to
// restore the box.
void setUserErrorReporter(std::function<void(const RuntimeError &)> reporter);

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

// The screen: the primary one, whose top-left corner is where windows' Left
// and Top count from (Qt counts from the whole desktop's, which another
// screen may hold).
struct Screen {
    static Twips Width();
    static Twips Height();
    // The corner in Qt's desktop coordinates.
    static QPoint origin();
};

} // namespace vm

// Start-up: the application object's identity, language, font, and the
// browser window shown first.
#pragma once

class QApplication;

namespace app {
// Sets the program's identity, Japanese locale and translations, and its UI
// font. Used by the program and by tests, so both see the same program.
void configure(QApplication &application);
// Runs the program until it ends; returns the exit code.
int run(int argc, char **argv);
} // namespace app

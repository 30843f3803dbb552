// Start-up: the application object's identity, language, font, and the
// browser window shown first.
#pragma once

class QApplication;

#include <QByteArray>

namespace app {
// The window system to ask Qt for, given the session's WAYLAND_DISPLAY,
// DISPLAY and QT_QPA_PLATFORM: "xcb" on a Wayland session that also offers
// X11 (XWayland) and where the user chose nothing, since only there can the
// viewer sit at the screen's corner; empty to leave Qt's own choice.
QByteArray chooseWindowSystem(
    const QByteArray &waylandDisplay, const QByteArray &display, const QByteArray &qpaPlatform);

// Sets the program's identity, Japanese locale and translations, and its UI
// font. Used by the program and by tests, so both see the same program.
void configure(QApplication &application);
// Runs the program until it ends; returns the exit code.
int run(int argc, char **argv);
} // namespace app

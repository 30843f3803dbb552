// Modal message boxes. Tests replace the real dialog with a recorder so that
// nothing ever waits for a click.
#pragma once

#include <QString>

#include <functional>

namespace vm {

// Every box has the one OK button; what it shows beside the text is its icon.
enum class MsgBoxIcon { None, Critical, Information };
enum class MsgBoxResult { OK };

struct MsgBoxCall {
    QString prompt;
    MsgBoxIcon icon = MsgBoxIcon::None;
    QString title; // as shown: the application title when none was passed
};

// Shows the box and returns when the user closes it. An empty title shows the
// application's title.
MsgBoxResult MsgBox(
    const QString &prompt, MsgBoxIcon icon = MsgBoxIcon::None, const QString &title = QString());

// Replaces the dialog (for tests); pass an empty function to restore it.
using MsgBoxHandler = std::function<MsgBoxResult(const MsgBoxCall &)>;
MsgBoxHandler setMsgBoxHandler(MsgBoxHandler handler);

// The application title that boxes without a title bear.
QString appTitle();

} // namespace vm

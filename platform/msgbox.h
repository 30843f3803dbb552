// Modal message boxes. Tests replace the real dialog with a recorder so that
// nothing ever waits for a click.
#pragma once

#include <QString>

#include <functional>

namespace vm {

enum MsgBoxStyle : int {
    vbOKOnly = 0,
    vbCritical = 16,
    vbInformation = 64,
};
enum MsgBoxResult : int { vbOK = 1 };

struct MsgBoxCall {
    QString prompt;
    int style = 0;
    QString title; // as shown: the application title when none was passed
};

// Shows the box and returns when the user closes it. An empty title shows the
// application's title.
int MsgBox(const QString &prompt, int style = vbOKOnly, const QString &title = QString());

// Replaces the dialog (for tests); pass an empty function to restore it.
using MsgBoxHandler = std::function<int(const MsgBoxCall &)>;
MsgBoxHandler setMsgBoxHandler(MsgBoxHandler handler);

// The application title that boxes without a title bear.
QString appTitle();

} // namespace vm

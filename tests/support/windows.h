// Drives the program's windows as a user would, for tests.
#pragma once

#include <QSize>
#include <QString>
#include <QTest>

namespace vmtest {

// Starts the program's window set afresh (as at start-up) and returns when
// the browser window is shown.
void startProgram();
// Unloads and deletes both windows without running any procedure.
void stopProgram();
// Opens a folder in the browser's folder list, as a double-click would.
void openFolder(const QString &folder);
// Clicks entry `row` of the browser's file list with the mouse.
void clickFile(int row);
void doubleClickFile(int row);
// Types a key into the path box.
void pressInPathBox(int key, int modifiers = 0);
// Triggers a window's menu item by its name through its shortcut or click.
void triggerMenu(const char *window, const char *name);

// Shows a folder or file list on its own, listing `path`, and waits until it
// is on screen.
template <typename List> bool showListOn(List &list, const QString &path, QSize size)
{
    list.resize(size);
    list.setPath(path);
    list.show();
    return QTest::qWaitForWindowExposed(&list);
}

} // namespace vmtest

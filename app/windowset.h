// The program's two windows, each one global instance reached by its name,
// and the helpers that both windows share.
#pragma once

#include "platform/form.h"

#include <QString>

class BrowserWindow;
class ViewerWindow;

namespace vm {
class FileListBox;
}

extern vm::FormRef<BrowserWindow> Form1; // the browser window, shown at start-up
extern vm::FormRef<ViewerWindow> Form2;  // the viewer window, loaded on every opening

// The current file's full path: the file list's folder, one separator unless
// the folder already ends in one, then the selected name. Formed afresh by
// every caller, never stored.
QString CurrentFilePath(const vm::FileListBox &File1);

// The browser window: drive, folder and file lists, the path box, the
// stretched preview with its size report, and the browser's commands.
#pragma once

#include "platform/form.h"
#include "ui_Form1.h"

namespace vm {
struct Button;
class FileListBox;
}

class BrowserWindow : public vm::Form, public Ui::Form1 {
    Q_OBJECT

public:
    BrowserWindow();

    // Event procedures: the runtime connects each to the event its name gives.
public Q_SLOTS:
    // Public: the viewer calls it on its way back to bring the preview, the
    // size report and the path box up to date.
    void File1_Click();

private Q_SLOTS:
    void Drive1_Change();
    void Dir1_Change();
    void File1_DblClick();
    void Text1_KeyDown(qint16 &KeyCode, qint16 Shift);
    void Toolbar1_ButtonClick(const vm::Button &Button);
    void BackMenu_Click();
    void NextMenu_Click();
    void ChangeViewMenu_Click();
    void AboutMenu_Click();
    void ExitMenu_Click();

private:
    bool PreviewFile(const QString &path);
};

// The browser window, shown at start-up: its one instance, reached by name.
extern vm::FormRef<BrowserWindow> Form1;

// The current file's full path: the file list's folder, one separator unless
// the folder already ends in one, then the selected name. Formed afresh by
// every caller, never stored; the viewer uses it on its way back.
QString CurrentFilePath(const vm::FileListBox &File1);

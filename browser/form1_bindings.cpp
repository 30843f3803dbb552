// Builds the browser window from its definition and binds each control's
// events to the procedure of the same name.
#include "browser/form1.h"

#include "platform/controls/toolbar.h"
#include "platform/runtime.h"

#include <QLayout>

BrowserWindow::BrowserWindow()
{
    setupUi(this);
    // Nothing re-lays the controls out, so the window keeps its defined size.
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    using vm::runEvent;
    connect(Drive1, &vm::DriveListBox::Change, this, [this] { runEvent([this] { Drive1_Change(); }); });
    connect(Dir1, &vm::DirListBox::Change, this, [this] { runEvent([this] { Dir1_Change(); }); });
    connect(File1, &vm::FileListBox::Click, this, [this] { runEvent([this] { File1_Click(); }); });
    connect(File1, &vm::FileListBox::DblClick, this, [this] { runEvent([this] { File1_DblClick(); }); });
    connect(Text1, &vm::TextBox::KeyDown, this, [this](qint16 &KeyCode, qint16 Shift) {
        runEvent([&] { Text1_KeyDown(KeyCode, Shift); });
    });
    connect(Toolbar1, &vm::Toolbar::ButtonClick, this,
            [this](const vm::Button &Button) { runEvent([&] { Toolbar1_ButtonClick(Button); }); });
    connect(BackMenu, &QAction::triggered, this, [this] { runEvent([this] { BackMenu_Click(); }); });
    connect(NextMenu, &QAction::triggered, this, [this] { runEvent([this] { NextMenu_Click(); }); });
    connect(ChangeViewMenu, &QAction::triggered, this, [this] { runEvent([this] { ChangeViewMenu_Click(); }); });
    connect(AboutMenu, &QAction::triggered, this, [this] { runEvent([this] { AboutMenu_Click(); }); });
    connect(ExitMenu, &QAction::triggered, this, [this] { runEvent([this] { ExitMenu_Click(); }); });
}

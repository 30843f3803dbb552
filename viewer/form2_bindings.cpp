// Builds the viewer window from its definition and binds each control's
// events to the procedure of the same name.
#include "viewer/form2.h"

#include "platform/controls/scrollbar.h"
#include "platform/controls/toolbar.h"
#include "platform/runtime.h"

ViewerWindow::ViewerWindow()
{
    setupUi(this);

    using vm::runEvent;
    connect(HScroll1, &vm::HScrollBar::Change, this, [this] { runEvent([this] { HScroll1_Change(); }); });
    connect(HScroll1, &vm::HScrollBar::Scroll, this, [this] { runEvent([this] { HScroll1_Scroll(); }); });
    connect(VScroll1, &vm::VScrollBar::Change, this, [this] { runEvent([this] { VScroll1_Change(); }); });
    connect(VScroll1, &vm::VScrollBar::Scroll, this, [this] { runEvent([this] { VScroll1_Scroll(); }); });
    vm::panWithWheel(Picture1, HScroll1, VScroll1);
    connect(Toolbar1, &vm::Toolbar::ButtonClick, this,
            [this](const vm::Button &Button) { runEvent([&] { Toolbar1_ButtonClick(Button); }); });
    connect(BackMenu, &QAction::triggered, this, [this] { runEvent([this] { BackMenu_Click(); }); });
    connect(NextMenu, &QAction::triggered, this, [this] { runEvent([this] { NextMenu_Click(); }); });
    connect(ChanceViewMenu, &QAction::triggered, this, [this] { runEvent([this] { ChanceViewMenu_Click(); }); });
    connect(AboutMenu, &QAction::triggered, this, [this] { runEvent([this] { AboutMenu_Click(); }); });
}

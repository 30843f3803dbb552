// The viewer window: the current file at its natural size, panned with
// scroll bars when it does not fit, and the viewer's commands.
#pragma once

#include "platform/form.h"
#include "ui_Form2.h"

namespace vm {
struct Button;
}

class ViewerWindow : public vm::Form, public Ui::Form2 {
    Q_OBJECT

public:
    ViewerWindow();

    void Form_Load() override;
    void Form_Unload(qint16 &Cancel) override;

    // Event procedures: the runtime connects each to the event its name gives.
private Q_SLOTS:
    void HScroll1_Change();
    void HScroll1_Scroll();
    void VScroll1_Change();
    void VScroll1_Scroll();
    void Toolbar1_ButtonClick(const vm::Button &Button);
    void BackMenu_Click();
    void NextMenu_Click();
    void ChanceViewMenu_Click();
    void AboutMenu_Click();

private:
    void ShowPicture();
    bool PaintView();
};

// The viewer window, loaded afresh on every opening: its one instance.
extern vm::FormRef<ViewerWindow> Form2;

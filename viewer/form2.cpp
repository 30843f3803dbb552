// The viewer window's event procedures.
#include "viewer/form2.h"

#include "browser/form1.h"
#include "platform/controls/scrollbar.h"
#include "platform/controls/toolbar.h"
#include "platform/gdi.h"
#include "platform/msgbox.h"
#include "platform/numbers.h"
#include "platform/picture.h"
#include "platform/runtime.h"
#include "platform/runtimeerror.h"

vm::FormRef<ViewerWindow> Form2;

ViewerWindow::ViewerWindow()
{
    setupUi(this);
    vm::panWithWheel(Picture1, HScroll1, VScroll1);
}

void ViewerWindow::Form_Load()
{
    setTop(vm::Twips(0));
    setLeft(vm::Twips(0));
    setWidth(vm::Screen::Width());
    setHeight(vm::Screen::Height());
    ShowPicture();
}

void ViewerWindow::ShowPicture()
{
    try {
        HScroll1->setVisible(false);
        VScroll1->setVisible(false);
        setCaption(Form1->File1->FileName());
        Form1->Text1->setText(CurrentFilePath(*Form1->File1));

        vm::Picture picture;
        try {
            picture = vm::LoadPicture(Form1->Text1->Text());
        } catch (const vm::RuntimeError &) {
            // Show no picture rather than the previous one under the new
            // file's name.
            Image1->setVisible(false);
            Picture1->setVisible(false);
            Image1->setPicture(vm::Picture());
            Picture1->setPicture(vm::Picture());
            throw;
        }
        Image1->setPicture(picture);

        // Reckoned in single precision, in device pixels; px() gives a
        // result back as a place or size.
        const auto px = [](float v) { return vm::DevicePixels(int(v)); };
        const float W = float(ScaleWidth().value());
        const float H = float(ScaleHeight().value());
        const float T = float(CoolBar1->Height().value());
        const float w = float(Image1->Width().value());
        const float h = float(Image1->Height().value());
        const float sh = float(HScroll1->Height().value());
        const float sv = float(VScroll1->Width().value());

        bool needV = h > float(H - T);
        bool needH = w > W;
        if (!needV && !needH) {
            // The picture area starts right under the cool bar; the box's
            // defined place sits two pixels lower and would cut a picture
            // that fits exactly.
            Image1->setTop(px(T));
            Image1->setVisible(true);
            Picture1->setVisible(false);
            return;
        }

        Image1->setVisible(false);
        Picture1->setVisible(true);
        Picture1->setPicture(Image1->Picture());

        if (needH && float(T + sh + h) > H)
            needV = true;
        if (needV && float(w + sv) > W)
            needH = true;

        if (needH && needV) {
            HScroll1->setVisible(true);
            HScroll1->Move(px(0), px(H - sh), px(W - sv), px(sh));
            VScroll1->setVisible(true);
            VScroll1->Move(px(W - sv), px(T), px(sv), px(H - T - sh));
            Picture1->Move(px(0), px(T), px(W - sv), px(H - T - sh));
        } else if (needH) {
            HScroll1->setVisible(true);
            HScroll1->Move(px(0), px(T + h), px(W), px(sh));
            Picture1->Move(px(0), px(T), px(W), px(h));
        } else {
            VScroll1->setVisible(true);
            VScroll1->Move(px(w), px(T), px(sv), px(H - T));
            Picture1->Move(px(0), px(T), px(w), px(H - T));
        }

        HScroll1->setValue(0);
        HScroll1->setMax(vm::roundToInt32(w - float(Picture1->Width().value())));
        VScroll1->setValue(0);
        VScroll1->setMax(vm::roundToInt32(h - float(Picture1->Height().value())));
    } catch (const vm::RuntimeError &e) {
        vm::ErrorBox(e);
    }
}

bool ViewerWindow::PaintView()
{
    vm::HDC viewDC = Picture1->hDC();
    const float viewWidth = float(Picture1->Width().value());
    const float viewHeight = float(Picture1->Height().value());
    vm::HDC pictureDC = Image1->hDC();
    const int x = HScroll1->Value();
    const int y = VScroll1->Value();
    return vm::BitBlt(viewDC, 0, 0, vm::roundToInt32(viewWidth), vm::roundToInt32(viewHeight), pictureDC, x,
               y, vm::SRCCOPY)
        != 0;
}

void ViewerWindow::HScroll1_Change()
{
    PaintView();
}
void ViewerWindow::HScroll1_Scroll()
{
    PaintView();
}
void ViewerWindow::VScroll1_Change()
{
    PaintView();
}
void ViewerWindow::VScroll1_Scroll()
{
    PaintView();
}

void ViewerWindow::BackMenu_Click()
{
    const int index = Form1->File1->ListIndex();
    if (index > 0) {
        Form1->File1->setListIndex(index - 1);
        ShowPicture();
    }
}

void ViewerWindow::NextMenu_Click()
{
    const int index = Form1->File1->ListIndex();
    if (index != -1 && index < Form1->File1->ListCount() - 1) {
        Form1->File1->setListIndex(index + 1);
        ShowPicture();
    }
}

void ViewerWindow::ChanceViewMenu_Click()
{
    Form1.Show();
    Unload();
}

void ViewerWindow::Form_Unload(qint16 &Cancel)
{
    Form1->File1_Click();
    Form1.Show();
}

void ViewerWindow::AboutMenu_Click()
{
    vm::MsgBox(QStringLiteral("ヴェルモーラ Version 1.00\nProgramed by the Velmora team"),
        vm::MsgBoxIcon::Information);
}

void ViewerWindow::Toolbar1_ButtonClick(const vm::Button &Button)
{
    // Keys compared exactly, character by character (widths included).
    static const struct {
        const char16_t *key;
        void (ViewerWindow::*command)();
    } table[] = {
        { u"ｺﾏﾝﾄﾞ ﾎﾞﾀﾝ", &ViewerWindow::ChanceViewMenu_Click },
        { u"戻る", &ViewerWindow::BackMenu_Click },
        { u"進む", &ViewerWindow::NextMenu_Click },
        { u"ﾍﾙﾌﾟ", &ViewerWindow::AboutMenu_Click },
    };
    for (const auto &entry : table) {
        if (Button.Key == QStringView(entry.key)) {
            vm::resumeNext([&] { (this->*entry.command)(); });
            return;
        }
    }
}

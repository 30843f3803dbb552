// The browser window's event procedures.
#include "browser/form1.h"

#include "platform/controls/filelistbox.h"
#include "platform/controls/toolbar.h"
#include "platform/format.h"
#include "platform/msgbox.h"
#include "platform/picture.h"
#include "platform/runtime.h"
#include "platform/runtimeerror.h"
#include "viewer/form2.h"

#include <QDir>
#include <QLayout>

vm::FormRef<BrowserWindow> Form1;

QString CurrentFilePath(const vm::FileListBox &File1)
{
    QString path = File1.Path();
    if (!path.endsWith(QDir::separator()))
        path += QDir::separator();
    return path + File1.FileName();
}

BrowserWindow::BrowserWindow()
{
    setupUi(this);
    // Nothing re-lays the controls out, so the window keeps its defined size.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void BrowserWindow::Drive1_Change()
{
    try {
        Dir1->setPath(Drive1->Drive());
    } catch (const vm::RuntimeError &e) {
        vm::ErrorBox(e);
        // Put the drive list back on the drive the folder list shows, so the
        // three lists agree and choosing the failed drive again retries it.
        // Should that drive be gone as well, the one box already said enough:
        // the list keeps the entry chosen, and choosing again retries.
        try {
            Drive1->setDrive(Dir1->Path());
        } catch (const vm::RuntimeError &) {
        }
    }
}

void BrowserWindow::Dir1_Change()
{
    File1->setPath(Dir1->Path());
}

void BrowserWindow::File1_Click()
{
    if (File1->ListIndex() == -1)
        return;
    const QString path = CurrentFilePath(*File1);
    if (PreviewFile(path))
        Text1->setText(path);
}

void BrowserWindow::Text1_KeyDown(qint16 &KeyCode, qint16 Shift)
{
    if (KeyCode == 13) {
        KeyCode = 0;
        PreviewFile(Text1->Text());
    }
}

bool BrowserWindow::PreviewFile(const QString &path)
{
    try {
        Image1->setPicture(vm::LoadPictureForSize(path, Image1->devicePictureArea().size()));
        const QString W = vm::Format(Image1->Picture().Width().value() / 1000.0, QStringLiteral("0.0#"));
        const QString H = vm::Format(Image1->Picture().Height().value() / 1000.0, QStringLiteral("0.0#"));
        StatusBar1->setSimpleText(
            QStringLiteral("画像サイズ  幅=") + W + QStringLiteral("cm, 高さ=") + H + QStringLiteral("cm"));
        return true;
    } catch (const vm::RuntimeError &e) {
        vm::ErrorBox(e);
        return false;
    }
}

void BrowserWindow::BackMenu_Click()
{
    const int index = File1->ListIndex();
    if (index > 0) {
        File1->setListIndex(index - 1);
        File1_Click();
    }
}

void BrowserWindow::NextMenu_Click()
{
    const int index = File1->ListIndex();
    if (index != -1 && index < File1->ListCount() - 1) {
        File1->setListIndex(index + 1);
        File1_Click();
    }
}

void BrowserWindow::ChangeViewMenu_Click()
{
    if (!Text1->Text().isEmpty() && File1->ListIndex() != -1) {
        hide();
        Form2.Show();
    }
}

void BrowserWindow::File1_DblClick()
{
    if (File1->ListIndex() == -1)
        return;
    hide();
    Form2.Show();
}

void BrowserWindow::AboutMenu_Click()
{
    vm::MsgBox(QStringLiteral("Velmora Version 1.00\nProgramed by the Velmora team"),
        vm::MsgBoxIcon::Information, QStringLiteral("バージョン情報"));
}

void BrowserWindow::ExitMenu_Click()
{
    vm::End();
}

void BrowserWindow::Toolbar1_ButtonClick(const vm::Button &Button)
{
    // Keys compared exactly, character by character (widths included).
    static const struct {
        const char16_t *key;
        void (BrowserWindow::*command)();
    } table[] = {
        { u"表示切替", &BrowserWindow::ChangeViewMenu_Click },
        { u"戻る", &BrowserWindow::BackMenu_Click },
        { u"進む", &BrowserWindow::NextMenu_Click },
        { u"ﾍﾙﾌﾟ", &BrowserWindow::AboutMenu_Click },
    };
    for (const auto &entry : table) {
        if (Button.Key == QStringView(entry.key)) {
            vm::resumeNext([&] { (this->*entry.command)(); });
            return;
        }
    }
}

#include "app/windowset.h"

#include "browser/form1.h"
#include "platform/controls/filelistbox.h"
#include "platform/msgbox.h"
#include "platform/runtimeerror.h"
#include "viewer/form2.h"

#include <QDir>

vm::FormRef<BrowserWindow> Form1;
vm::FormRef<ViewerWindow> Form2;

QString CurrentFilePath(const vm::FileListBox &File1)
{
    QString path = File1.Path();
    if (!path.endsWith(QDir::separator()))
        path += QDir::separator();
    return path + File1.FileName();
}

void ErrorBox(const vm::RuntimeError &error)
{
    vm::MsgBox(error.Description(), vm::MsgBoxIcon::Critical, QStringLiteral("エラー"));
}

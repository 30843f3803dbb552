#include "platform/msgbox.h"

#include <QApplication>
#include <QMessageBox>

namespace vm {

namespace {
MsgBoxHandler &handler()
{
    static MsgBoxHandler h;
    return h;
}
} // namespace

QString appTitle()
{
    const QString name = QCoreApplication::applicationName();
    return name.isEmpty() ? QStringLiteral("Velmora") : name;
}

MsgBoxHandler setMsgBoxHandler(MsgBoxHandler h)
{
    std::swap(handler(), h);
    return h;
}

int MsgBox(const QString &prompt, int style, const QString &title)
{
    MsgBoxCall call{prompt, style, title.isEmpty() ? appTitle() : title};
    if (handler())
        return handler()(call);

    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (style & 0x70) {
    case vbCritical: icon = QMessageBox::Critical; break;
    case 32: icon = QMessageBox::Question; break;
    case 48: icon = QMessageBox::Warning; break;
    case vbInformation: icon = QMessageBox::Information; break;
    }
    QMessageBox box(icon, call.title, call.prompt, QMessageBox::Ok, QApplication::activeWindow());
    box.setObjectName(QStringLiteral("MsgBox"));
    box.setTextFormat(Qt::PlainText);
    box.exec();
    return vbOK;
}

} // namespace vm

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

MsgBoxResult MsgBox(const QString &prompt, MsgBoxIcon icon, const QString &title)
{
    MsgBoxCall call { prompt, icon, title.isEmpty() ? appTitle() : title };
    if (handler())
        return handler()(call);

    QMessageBox::Icon shown = QMessageBox::NoIcon;
    switch (icon) {
    case MsgBoxIcon::None:
        break;
    case MsgBoxIcon::Critical:
        shown = QMessageBox::Critical;
        break;
    case MsgBoxIcon::Information:
        shown = QMessageBox::Information;
        break;
    }
    QMessageBox box(shown, call.title, call.prompt, QMessageBox::Ok, QApplication::activeWindow());
    box.setObjectName(QStringLiteral("MsgBox"));
    box.setTextFormat(Qt::PlainText);
    box.exec();
    return MsgBoxResult::OK;
}

} // namespace vm

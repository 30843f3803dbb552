#include "platform/eventbinding.h"

#include "platform/runtime.h"

#include <QAction>
#include <QMetaMethod>
#include <QObject>

#include <vector>

namespace vm {

namespace {

// Receives the controls' signals and runs the window's procedure inside the
// trap. It has no meta object of its own: each binding is a method index past
// QObject's, which Qt hands to qt_metacall along with the signal's argument
// pointers. Those are passed on untouched, so a procedure taking
// `qint16 &KeyCode` changes the control's own variable.
class EventBinder final : public QObject {
public:
    explicit EventBinder(QObject *window)
        : QObject(window)
        , m_window(window)
    {
    }

    // The method index to connect a signal to for the window's method `procedure`.
    int add(int procedure)
    {
        m_procedures.push_back(procedure);
        return QObject::staticMetaObject.methodCount() + int(m_procedures.size()) - 1;
    }

    int qt_metacall(QMetaObject::Call call, int id, void **args) override
    {
        id = QObject::qt_metacall(call, id, args);
        if (id < 0 || call != QMetaObject::InvokeMetaMethod)
            return id;
        if (size_t(id) < m_procedures.size()) {
            const int procedure = m_procedures[size_t(id)];
            runEvent([&] { m_window->qt_metacall(QMetaObject::InvokeMetaMethod, procedure, args); });
        }
        return -1;
    }

private:
    QObject *m_window; // the parent: it outlives the binder
    std::vector<int> m_procedures;
};

QString signatureOf(const QMetaMethod &method)
{
    return QString::fromLatin1(method.methodSignature());
}

// The control a procedure's name starts with; "Form" is the window itself.
QObject *controlNamed(QObject *window, const QString &name, QString *error)
{
    if (name == QLatin1String("Form"))
        return window;
    const QList<QObject *> found = window->findChildren<QObject *>(name);
    if (found.isEmpty())
        *error = QStringLiteral("no control is named %1").arg(name);
    else if (found.size() > 1)
        *error = QStringLiteral("%1 controls are named %2").arg(found.size()).arg(name);
    return found.size() == 1 ? found.first() : nullptr;
}

// The control's signal `event` that the procedure can receive; -1 with the
// reason in `error` when there is none.
int eventOf(const QObject *control, QByteArray event, const QMetaMethod &procedure, QString *error)
{
    const QMetaObject *meta = control->metaObject();
    // A menu item is an action: its Click is Qt's triggered.
    if (event == "Click" && qobject_cast<const QAction *>(control))
        event = "triggered";
    QStringList sameName;
    for (int i = 0; i < meta->methodCount(); ++i) {
        const QMetaMethod signal = meta->method(i);
        if (signal.methodType() != QMetaMethod::Signal || signal.name() != event)
            continue;
        if (QMetaObject::checkConnectArgs(signal, procedure))
            return i;
        if (!(signal.attributes() & QMetaMethod::Cloned))
            sameName << signatureOf(signal);
    }
    if (sameName.isEmpty())
        *error
            = QStringLiteral("%1 (%2) has no event %3")
                  .arg(control->objectName(), QLatin1String(meta->className()), QString::fromLatin1(event));
    else
        *error = QStringLiteral("the arguments do not match the event %1")
                     .arg(sameName.join(QLatin1String(", ")));
    return -1;
}

} // namespace

QStringList bindEventProcedures(QObject *window)
{
    const QMetaObject *meta = window->metaObject();
    EventBinder *binder = nullptr;
    QStringList errors;
    // Only the window class's own slots: those of Qt's classes are no procedures.
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
        const QMetaMethod procedure = meta->method(i);
        if (procedure.methodType() != QMetaMethod::Slot || (procedure.attributes() & QMetaMethod::Cloned))
            continue;
        const QString name = QString::fromLatin1(procedure.name());
        const qsizetype cut = name.lastIndexOf(QLatin1Char('_'));
        if (cut <= 0 || cut == name.size() - 1)
            continue;
        if (name == QLatin1String("Form_Load") || name == QLatin1String("Form_Unload"))
            continue;
        QString error;
        int signal = -1;
        QObject *control = controlNamed(window, name.left(cut), &error);
        if (control)
            signal = eventOf(control, procedure.name().mid(cut + 1), procedure, &error);
        if (signal < 0) {
            errors << QStringLiteral("%1::%2: %3")
                          .arg(QLatin1String(meta->className()), signatureOf(procedure), error);
            qCritical("Event procedure not bound: %s", qPrintable(errors.last()));
            continue;
        }
        if (!binder)
            binder = new EventBinder(window);
        if (!QMetaObject::connect(control, signal, binder, binder->add(i), Qt::DirectConnection)) {
            errors << QStringLiteral("%1::%2: Qt refused the connection")
                          .arg(QLatin1String(meta->className()), signatureOf(procedure));
            qCritical("Event procedure not bound: %s", qPrintable(errors.last()));
        }
    }
    return errors;
}

} // namespace vm

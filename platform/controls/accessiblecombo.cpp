#include "platform/controls/accessiblecombo.h"

#include "platform/controls/drivelistbox.h"

#include <QAccessibleWidget>

namespace vm {

namespace {

class DriveListAccessible : public QAccessibleWidget {
public:
    explicit DriveListAccessible(QWidget *widget)
        : QAccessibleWidget(widget, QAccessible::ComboBox)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        auto *combo = static_cast<DriveListBox *>(widget());
        if (t == QAccessible::Value)
            return combo->currentText();
        if (t == QAccessible::Name && combo->accessibleName().isEmpty())
            return combo->currentText();
        return QAccessibleWidget::text(t);
    }

    QStringList actionNames() const override
    {
        return QStringList { showMenuAction() } + QAccessibleWidget::actionNames();
    }

    void doAction(const QString &name) override
    {
        if (name == showMenuAction() || name == pressAction())
            static_cast<DriveListBox *>(widget())->showPopup();
        else
            QAccessibleWidget::doAction(name);
    }
};

QAccessibleInterface *factory(const QString &className, QObject *object)
{
    if (className == QLatin1String("vm::DriveListBox") && object && object->isWidgetType())
        return new DriveListAccessible(static_cast<QWidget *>(object));
    return nullptr;
}

} // namespace

void installDriveListAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    Q_UNUSED(installed);
}

} // namespace vm

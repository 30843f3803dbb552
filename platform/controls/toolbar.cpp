#include "platform/controls/toolbar.h"

#include "platform/controls/imagelist.h"

#include <QActionEvent>
#include <QToolButton>

namespace vm {

Toolbar::Toolbar(QWidget *parent)
    : QToolBar(parent)
{
    setMovable(false);
    setFloatable(false);
    setIconSize(QSize(16, 16));
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    connect(this, &QToolBar::actionTriggered, this, &Toolbar::trigger);
}

void Toolbar::setImageList(const QString &name)
{
    m_imageList = name;
    applyImages();
}

void Toolbar::trigger(QAction *action)
{
    if (!action || action->isSeparator())
        return;
    Q_EMIT ButtonClick(Button{action->property("Key").toString(), int(actions().indexOf(action)) + 1});
}

void Toolbar::click(int index)
{
    const QList<QAction *> list = actions();
    if (index >= 1 && index <= list.size())
        trigger(list.at(index - 1));
}

void Toolbar::applyImages()
{
    const QWidget *top = window();
    const auto *list = top ? top->findChild<vm::ImageList *>(m_imageList) : nullptr;
    for (QAction *a : actions()) {
        if (a->isSeparator())
            continue;
        const QString tip = a->property("ToolTipText").toString();
        if (!tip.isEmpty()) {
            a->setToolTip(tip);
            a->setText(tip);
        }
        if (!list)
            continue;
        const QVariant image = a->property("Image");
        bool isIndex = false;
        const int index = image.toInt(&isIndex);
        a->setIcon(isIndex ? list->image(index) : list->image(image.toString()));
    }
    // Buttons 23 x 22 pixels, as the bar's definition gives them.
    for (QAction *a : actions()) {
        if (auto *b = qobject_cast<QToolButton *>(widgetForAction(a))) {
            b->setFixedSize(23, 22);
            b->setAccessibleName(a->toolTip());
            b->setAccessibleDescription(a->toolTip());
            b->setObjectName(a->objectName() + QStringLiteral("_Button"));
        }
    }
}

void Toolbar::actionEvent(QActionEvent *event)
{
    QToolBar::actionEvent(event);
    if (event->type() == QEvent::ActionAdded)
        applyImages();
}

void Toolbar::showEvent(QShowEvent *event)
{
    applyImages();
    QToolBar::showEvent(event);
}

} // namespace vm

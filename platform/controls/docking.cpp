#include "platform/controls/docking.h"

#include <QEvent>
#include <QWidget>

namespace vm {

Docking::Docking(QWidget *control)
    : QObject(control)
    , m_control(control)
{
}

void Docking::setAlign(int align)
{
    m_align = align;
    if (QWidget *parent = m_control->parentWidget())
        parent->installEventFilter(this);
    place();
}

void Docking::place()
{
    const QWidget *parent = m_control->parentWidget();
    const Dock dock = Dock(m_align);
    if (!parent || dock == Dock::None)
        return;
    const int h = m_control->height();
    const int y = dock == Dock::Top ? 0 : parent->height() - h;
    m_control->setGeometry(0, y, parent->width(), h);
}

bool Docking::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_control->parentWidget() && event->type() == QEvent::Resize)
        place();
    return false;
}

} // namespace vm

#include "platform/controls/scrollbar.h"

namespace vm {

ScrollBarBase::ScrollBarBase(Qt::Orientation orientation, QWidget *parent)
    : QScrollBar(orientation, parent)
{
    setMinimum(0);
    connect(this, &QScrollBar::valueChanged, this, [this] {
        if (isSliderDown())
            Q_EMIT Scroll();
        else
            Q_EMIT Change();
    });
    connect(this, &QScrollBar::sliderPressed, this, [this] { m_dragStart = value(); });
    connect(this, &QScrollBar::sliderReleased, this, [this] {
        if (value() != m_dragStart)
            Q_EMIT Change();
    });
}

} // namespace vm

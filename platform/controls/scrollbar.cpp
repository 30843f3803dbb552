#include "platform/controls/scrollbar.h"

#include <QKeyEvent>

namespace vm {

ScrollBarBase::ScrollBarBase(Qt::Orientation orientation, QWidget *parent)
    : QScrollBar(orientation, parent)
{
    setMinimum(0);
    // A tab stop: the arrow keys, Page Up, Page Down, Home and End pan.
    setFocusPolicy(Qt::StrongFocus);
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

void ScrollBarBase::keyPressEvent(QKeyEvent *event)
{
    // Qt inverts a scroll bar's controls for the wheel's sake, which turns the
    // horizontal arrow keys round; Right must pan right.
    const int key = event->key();
    if (orientation() == Qt::Horizontal && (key == Qt::Key_Left || key == Qt::Key_Right)
        && event->modifiers() == Qt::NoModifier) {
        const bool forward = (key == Qt::Key_Right) != isRightToLeft();
        triggerAction(forward ? SliderSingleStepAdd : SliderSingleStepSub);
        event->accept();
        return;
    }
    QScrollBar::keyPressEvent(event);
}

} // namespace vm

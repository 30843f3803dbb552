#include "platform/controls/scrollbar.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QWheelEvent>

#include <algorithm>

namespace vm {

ScrollBarBase::ScrollBarBase(Qt::Orientation orientation, QWidget *parent)
    : QScrollBar(orientation, parent)
    , DevicePixelGeometry(this)
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

namespace {

class WheelPanner : public QObject {
public:
    WheelPanner(QWidget *area, ScrollBarBase *horizontal, ScrollBarBase *vertical)
        : QObject(area)
        , m_horizontal(horizontal)
        , m_vertical(vertical)
    {
        area->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Wheel)
            return QObject::eventFilter(watched, event);
        const auto *wheel = static_cast<QWheelEvent *>(event);
        QPoint delta = wheel->angleDelta();
        // Shift turns the wheel sideways, unless the system already did.
        if (wheel->modifiers().testFlag(Qt::ShiftModifier) && delta.x() == 0)
            delta = QPoint(delta.y(), 0);
        pan(m_horizontal, delta.x(), m_restX);
        pan(m_vertical, delta.y(), m_restY);
        return true;
    }

private:
    // Whole notches (120 eighths of a degree) move the bar; what a
    // fine-grained wheel sends between notches is kept for the next event.
    static void pan(ScrollBarBase *bar, int delta, int &rest)
    {
        if (!bar || bar->isHidden()) {
            rest = 0;
            return;
        }
        rest += delta;
        const int notches = rest / QWheelEvent::DefaultDeltasPerStep;
        rest -= notches * QWheelEvent::DefaultDeltasPerStep;
        if (notches == 0)
            return;
        const qint64 step = qint64(notches) * QApplication::wheelScrollLines() * bar->SmallChange();
        // Turning the wheel away from the user (a positive delta) shows what
        // lies above, or to the left.
        const qint64 target = std::clamp<qint64>(qint64(bar->Value()) - step, bar->Min(), bar->Max());
        bar->setValue(int(target));
    }

    QPointer<ScrollBarBase> m_horizontal;
    QPointer<ScrollBarBase> m_vertical;
    int m_restX = 0;
    int m_restY = 0;
};

} // namespace

void panWithWheel(QWidget *area, ScrollBarBase *horizontal, ScrollBarBase *vertical)
{
    new WheelPanner(area, horizontal, vertical);
}

} // namespace vm

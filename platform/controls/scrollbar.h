// Scroll bars with 32-bit positions, so that a panorama of any size the
// loader accepts pans to its far edge. Change reports a finished move (an arrow
// or track click, the end of a drag, or the program setting Value); Scroll
// reports each step while the thumb is dragged. Places and sizes are in device
// pixels, as are the positions the viewer gives them (see devicepixels.h).
#pragma once

#include "platform/controls/devicepixels.h"

#include <QScrollBar>

namespace vm {

class ScrollBarBase : public QScrollBar, public DevicePixelGeometry {
    Q_OBJECT
    Q_PROPERTY(int Value READ Value WRITE setValue)
    Q_PROPERTY(int Max READ Max WRITE setMax)
    Q_PROPERTY(int Min READ Min WRITE setMin)
    Q_PROPERTY(int SmallChange READ SmallChange WRITE setSmallChange)
    Q_PROPERTY(int LargeChange READ LargeChange WRITE setLargeChange)
    Q_PROPERTY(bool Visible READ Visible WRITE setVisible)
    VM_DEVICE_PIXEL_GEOMETRY_PROPERTIES

public:
    ScrollBarBase(Qt::Orientation orientation, QWidget *parent);

    int Value() const { return value(); }
    // setValue() is QAbstractSlider's: it keeps the position within the range.
    int Max() const { return maximum(); }
    void setMax(int v) { setMaximum(v); }
    int Min() const { return minimum(); }
    void setMin(int v) { setMinimum(v); }
    int SmallChange() const { return singleStep(); }
    void setSmallChange(int v) { setSingleStep(v); }
    int LargeChange() const { return pageStep(); }
    void setLargeChange(int v) { setPageStep(v); }
    bool Visible() const { return !isHidden(); }
    // Left, Top, Width, Height and Move come with DevicePixelGeometry.

Q_SIGNALS:
    void Change();
    void Scroll();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    int m_dragStart = 0;
};

class HScrollBar : public ScrollBarBase {
    Q_OBJECT
public:
    explicit HScrollBar(QWidget *parent = nullptr)
        : ScrollBarBase(Qt::Horizontal, parent)
    {
    }
};

class VScrollBar : public ScrollBarBase {
    Q_OBJECT
public:
    explicit VScrollBar(QWidget *parent = nullptr)
        : ScrollBarBase(Qt::Vertical, parent)
    {
    }
};

// Lets the mouse wheel over `area` pan it as users expect of a panned view:
// vertically, and horizontally with Shift or a horizontal wheel, by the bars'
// own steps (SmallChange for each of the desktop's wheel lines), through
// Value so that each move raises Change. A hidden bar does not move.
void panWithWheel(QWidget *area, ScrollBarBase *horizontal, ScrollBarBase *vertical);

} // namespace vm

// Scroll bars with 16-bit positions. Change reports a finished move (an arrow
// or track click, the end of a drag, or the program setting Value); Scroll
// reports each step while the thumb is dragged. Places and sizes are in device
// pixels, as are the positions the viewer gives them (see devicepixels.h).
#pragma once

#include "platform/controls/devicepixels.h"

#include <QScrollBar>

namespace vm {

class ScrollBarBase : public QScrollBar {
    Q_OBJECT
    Q_PROPERTY(qint16 Value READ Value WRITE setValue16)
    Q_PROPERTY(qint16 Max READ Max WRITE setMax)
    Q_PROPERTY(qint16 Min READ Min WRITE setMin)
    Q_PROPERTY(qint16 SmallChange READ SmallChange WRITE setSmallChange)
    Q_PROPERTY(qint16 LargeChange READ LargeChange WRITE setLargeChange)
    Q_PROPERTY(bool Visible READ Visible WRITE setVisible)
    Q_PROPERTY(int Left READ Left WRITE setLeft)
    Q_PROPERTY(int Top READ Top WRITE setTop)
    Q_PROPERTY(int Width READ Width WRITE setWidth)
    Q_PROPERTY(int Height READ Height WRITE setHeight)

public:
    ScrollBarBase(Qt::Orientation orientation, QWidget *parent);

    qint16 Value() const { return qint16(value()); }
    void setValue16(qint16 v) { setValue(v); }
    qint16 Max() const { return qint16(maximum()); }
    void setMax(qint16 v) { setMaximum(v); }
    qint16 Min() const { return qint16(minimum()); }
    void setMin(qint16 v) { setMinimum(v); }
    qint16 SmallChange() const { return qint16(singleStep()); }
    void setSmallChange(qint16 v) { setSingleStep(v); }
    qint16 LargeChange() const { return qint16(pageStep()); }
    void setLargeChange(qint16 v) { setPageStep(v); }
    bool Visible() const { return !isHidden(); }

    // In device pixels.
    int Left() const { return m_geometry.get().x(); }
    int Top() const { return m_geometry.get().y(); }
    int Width() const { return m_geometry.get().width(); }
    int Height() const { return m_geometry.get().height(); }
    void setLeft(int v) { Move(v, Top(), Width(), Height()); }
    void setTop(int v) { Move(Left(), v, Width(), Height()); }
    void setWidth(int v) { Move(Left(), Top(), v, Height()); }
    void setHeight(int v) { Move(Left(), Top(), Width(), v); }
    // Places and sizes the bar in one step, in device pixels.
    void Move(int left, int top, int width, int height)
    {
        m_geometry.set(QRect(left, top, width, height));
    }

Q_SIGNALS:
    void Change();
    void Scroll();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    int m_dragStart = 0;
    DeviceGeometry m_geometry{this};
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

} // namespace vm

// Scroll bars with 16-bit positions. Change reports a finished move (an arrow
// or track click, the end of a drag, or the program setting Value); Scroll
// reports each step while the thumb is dragged.
#pragma once

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

    int Left() const { return x(); }
    int Top() const { return y(); }
    int Width() const { return width(); }
    int Height() const { return height(); }
    void setLeft(int v) { move(v, y()); }
    void setTop(int v) { move(x(), v); }
    void setWidth(int v) { resize(v, height()); }
    void setHeight(int v) { resize(width(), v); }

Q_SIGNALS:
    void Change();
    void Scroll();

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

} // namespace vm

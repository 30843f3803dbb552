// The window procedures' pixels are device pixels: at a scale factor of 2 one
// picture pixel is one screen pixel, and places, sizes, scroll positions and
// bit-block copies all count those. Qt places widgets in logical pixels; this
// converts. DeviceGeometry remembers the device rectangle a procedure asked
// for, so an odd size reads back exactly although the widget itself can only
// sit on whole logical pixels (it then covers the asked-for area).
#pragma once

#include <QRect>

class QWidget;

namespace vm {

// Device pixels per logical pixel for the screen the widget is on.
qreal pixelRatio(const QWidget *widget);

int toDevicePixels(int logical, qreal ratio);
QRect toDevicePixels(const QRect &logical, qreal ratio);
// The smallest logical rectangle that covers the device rectangle.
QRect toLogicalPixels(const QRect &device, qreal ratio);

class DeviceGeometry {
public:
    explicit DeviceGeometry(QWidget *widget)
        : m_widget(widget)
    {
    }

    // The widget's place and size in device pixels: what was last set, as
    // long as nobody has moved the widget since and the ratio is the same.
    QRect get() const;
    void set(const QRect &device);

private:
    QWidget *m_widget;
    QRect m_device;
    QRect m_logical;
    qreal m_ratio = 0;
};

} // namespace vm

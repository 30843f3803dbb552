// The window procedures' pixels are device pixels: at a scale factor of 2 one
// picture pixel is one screen pixel, and places, sizes, scroll positions and
// bit-block copies all count those. Qt places widgets in logical pixels; this
// converts.
#pragma once

#include "platform/units.h"

#include <QRect>

class QWidget;

// Left, Top, Width and Height as Qt properties of a DevicePixelGeometry
// control (moc expands it where the class declares its properties).
#define VM_DEVICE_PIXEL_GEOMETRY_PROPERTIES                                                                  \
    Q_PROPERTY(int Left READ leftDevicePixels WRITE setLeftDevicePixels)                                     \
    Q_PROPERTY(int Top READ topDevicePixels WRITE setTopDevicePixels)                                        \
    Q_PROPERTY(int Width READ widthDevicePixels WRITE setWidthDevicePixels)                                  \
    Q_PROPERTY(int Height READ heightDevicePixels WRITE setHeightDevicePixels)

namespace vm {

// Device pixels per logical pixel for the screen the widget is on.
qreal pixelRatio(const QWidget *widget);

DevicePixels toDevicePixels(int logical, qreal ratio);
QRect toDevicePixels(const QRect &logical, qreal ratio);
// The smallest logical rectangle that covers the device rectangle.
QRect toLogicalPixels(const QRect &device, qreal ratio);

// A widget's size in device pixels, at its screen's ratio.
DevicePixels deviceWidth(const QWidget *widget);
DevicePixels deviceHeight(const QWidget *widget);

// Left, Top, Width and Height in device pixels, for a control the procedures
// place. It remembers the device rectangle a procedure asked for, so that an
// odd size reads back exactly although the widget itself can only sit on
// whole logical pixels (it then covers the asked-for area). A control inherits
// it beside its widget class and declares the properties with
// VM_DEVICE_PIXEL_GEOMETRY_PROPERTIES after Q_OBJECT.
class DevicePixelGeometry {
public:
    explicit DevicePixelGeometry(QWidget *widget)
        : m_widget(widget)
    {
    }
    virtual ~DevicePixelGeometry() = default;

    DevicePixels Left() const { return DevicePixels(deviceGeometry().x()); }
    DevicePixels Top() const { return DevicePixels(deviceGeometry().y()); }
    DevicePixels Width() const { return DevicePixels(deviceGeometry().width()); }
    DevicePixels Height() const { return DevicePixels(deviceGeometry().height()); }
    void setLeft(DevicePixels v) { Move(v, Top(), Width(), Height()); }
    void setTop(DevicePixels v) { Move(Left(), v, Width(), Height()); }
    void setWidth(DevicePixels v) { Move(Left(), Top(), v, Height()); }
    void setHeight(DevicePixels v) { Move(Left(), Top(), Width(), v); }
    // Places and sizes the control in one step.
    void Move(DevicePixels left, DevicePixels top, DevicePixels width, DevicePixels height)
    {
        setDeviceGeometry(QRect(left.value(), top.value(), width.value(), height.value()));
    }

    // The place and size in device pixels: what was last set, as long as
    // nobody has moved the widget since and the ratio is the same.
    QRect deviceGeometry() const;

    // The same as plain numbers, for the controls' properties.
    int leftDevicePixels() const { return Left().value(); }
    int topDevicePixels() const { return Top().value(); }
    int widthDevicePixels() const { return Width().value(); }
    int heightDevicePixels() const { return Height().value(); }
    void setLeftDevicePixels(int v) { setLeft(DevicePixels(v)); }
    void setTopDevicePixels(int v) { setTop(DevicePixels(v)); }
    void setWidthDevicePixels(int v) { setWidth(DevicePixels(v)); }
    void setHeightDevicePixels(int v) { setHeight(DevicePixels(v)); }

protected:
    // Every place and size goes through here; a control that keeps something
    // of its size (a drawing surface) extends it.
    virtual void setDeviceGeometry(const QRect &device);

private:
    QWidget *m_widget;
    QRect m_device;
    QRect m_logical;
    qreal m_ratio = 0;
};

} // namespace vm

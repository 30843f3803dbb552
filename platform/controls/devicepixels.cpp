#include "platform/controls/devicepixels.h"

#include <QGuiApplication>
#include <QWidget>

#include <cmath>

namespace vm {

qreal pixelRatio(const QWidget *widget)
{
    const qreal ratio = widget ? widget->devicePixelRatio() : qApp->devicePixelRatio();
    return ratio > 0 ? ratio : 1.0;
}

DevicePixels toDevicePixels(int logical, qreal ratio)
{
    return DevicePixels(int(std::lround(logical * ratio)));
}

QRect toDevicePixels(const QRect &logical, qreal ratio)
{
    return QRect(toDevicePixels(logical.x(), ratio).value(), toDevicePixels(logical.y(), ratio).value(),
        toDevicePixels(logical.width(), ratio).value(), toDevicePixels(logical.height(), ratio).value());
}

QRect toLogicalPixels(const QRect &device, qreal ratio)
{
    // A tiny tolerance keeps 1.5 x 4 = 6 from becoming 4.0000001 -> 5.
    constexpr double eps = 1e-6;
    const int left = int(std::floor(device.x() / ratio + eps));
    const int top = int(std::floor(device.y() / ratio + eps));
    const int right = int(std::ceil((device.x() + device.width()) / ratio - eps));
    const int bottom = int(std::ceil((device.y() + device.height()) / ratio - eps));
    return QRect(left, top, std::max(0, right - left), std::max(0, bottom - top));
}

DevicePixels deviceWidth(const QWidget *widget)
{
    return toDevicePixels(widget->width(), pixelRatio(widget));
}

DevicePixels deviceHeight(const QWidget *widget)
{
    return toDevicePixels(widget->height(), pixelRatio(widget));
}

QRect DevicePixelGeometry::deviceGeometry() const
{
    const qreal ratio = pixelRatio(m_widget);
    if (ratio == m_ratio && m_widget->geometry() == m_logical)
        return m_device;
    return toDevicePixels(m_widget->geometry(), ratio);
}

void DevicePixelGeometry::setDeviceGeometry(const QRect &device)
{
    const QRect wanted(device.topLeft(), device.size().expandedTo(QSize(0, 0)));
    m_ratio = pixelRatio(m_widget);
    m_device = wanted;
    m_logical = toLogicalPixels(wanted, m_ratio);
    m_widget->setGeometry(m_logical);
    // Qt may refuse a size (minimums); then what the widget really has counts.
    if (m_widget->geometry() != m_logical) {
        m_logical = m_widget->geometry();
        m_device = toDevicePixels(m_logical, m_ratio);
    }
}

} // namespace vm

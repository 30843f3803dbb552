#include "platform/controls/picturebox.h"

#include <QPaintEvent>
#include <QPainter>

#include <cstring>

namespace vm {

PictureBox::PictureBox(QWidget *parent)
    : QWidget(parent)
    , DevicePixelGeometry(this)
{
    // We paint every pixel ourselves; nothing underneath needs drawing.
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_dc.widget = this;
}

void PictureBox::setPicture(const vm::Picture &picture)
{
    m_picture = picture;
    if (m_autoSize && !picture.isNull())
        setDeviceGeometry(QRect(deviceGeometry().topLeft(), picture.pixelSize()));
    rebuildSurface();
    update();
}

void PictureBox::setAutoSize(bool on)
{
    m_autoSize = on;
    if (on && !m_picture.isNull())
        setDeviceGeometry(QRect(deviceGeometry().topLeft(), m_picture.pixelSize()));
}

void PictureBox::setDeviceGeometry(const QRect &device)
{
    DevicePixelGeometry::setDeviceGeometry(device);
    // A hidden box gets its resize event only when shown; the surface must
    // have the new size at once. A move keeps what was copied there.
    if (!m_autoRedraw && m_surface.size() != deviceGeometry().size())
        rebuildSurface();
}

void PictureBox::setAutoRedraw(bool on)
{
    m_autoRedraw = on;
    rebuildSurface();
}

void PictureBox::setBorderStyle(int style)
{
    m_borderStyle = style;
    update();
}

HDC PictureBox::hDC()
{
    // Qt may have resized a hidden box without telling it yet.
    if (!m_autoRedraw && m_surface.size() != deviceGeometry().size())
        rebuildSurface();
    m_dc.surface = &m_surface;
    return &m_dc;
}

void PictureBox::rebuildSurface()
{
    if (m_autoRedraw) {
        // The persistent surface is the picture itself: shared, not copied.
        m_surface = m_picture.image();
        return;
    }
    // On-screen surface of the box's size, showing the picture's top-left part.
    const QImage &pic = m_picture.image();
    const QImage::Format format = pic.isNull() ? QImage::Format_RGB32 : pic.format();
    const QSize size = deviceGeometry().size();
    if (m_surface.size() != size || m_surface.format() != format)
        m_surface = size.isEmpty() ? QImage() : QImage(size, format);
    if (m_surface.isNull())
        return;
    m_surface.fill(palette().color(QPalette::Window));
    if (!pic.isNull()) {
        const int w = std::min(pic.width(), m_surface.width());
        const int h = std::min(pic.height(), m_surface.height());
        for (int row = 0; row < h; ++row)
            std::memcpy(m_surface.scanLine(row), pic.constScanLine(row), size_t(w) * 4);
    }
}

void PictureBox::resizeEvent(QResizeEvent *)
{
    // Qt's own resizes (the window definition, a new screen) change the
    // device size; the procedures' resizes have rebuilt the surface already.
    if (!m_autoRedraw && m_surface.size() != deviceGeometry().size())
        rebuildSurface();
}

void PictureBox::paintEvent(QPaintEvent *event)
{
    QPainter p(this);
    p.fillRect(event->rect(), palette().color(QPalette::Window));
    if (m_surface.isNull())
        return;
    // The surface is in device pixels: map the exposed logical area onto it
    // so that each surface pixel lands on exactly one screen pixel.
    const qreal ratio = pixelRatio(this);
    const QRectF whole(QPointF(0, 0), QSizeF(m_surface.size()) / ratio);
    const QRectF exposed = QRectF(event->rect()).intersected(whole);
    if (exposed.isEmpty())
        return;
    const QRectF source(exposed.topLeft() * ratio, exposed.size() * ratio);
    p.drawImage(exposed, m_surface, source);
}

} // namespace vm

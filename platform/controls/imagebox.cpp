#include "platform/controls/imagebox.h"

#include "platform/controls/devicepixels.h"
#include "platform/runtimeerror.h"

#include <QPainter>

namespace vm {

ImageBox::ImageBox(QWidget *parent)
    : QFrame(parent)
{
}

void ImageBox::setPicture(const vm::Picture &picture)
{
    m_picture = picture;
    m_scaled = QImage();
    if (!m_stretch && !picture.isNull())
        resize(picture.pixelSize() + QSize(frameWidth() * 2, frameWidth() * 2));
    update();
}

void ImageBox::setStretch(bool on)
{
    m_stretch = on;
    m_scaled = QImage();
    update();
}

void ImageBox::setBorderStyle(int style)
{
    m_borderStyle = style;
    setFrameStyle(style ? (QFrame::Box | QFrame::Plain) : QFrame::NoFrame);
    setLineWidth(1);
    m_scaled = QImage();
    update();
}

QRect ImageBox::devicePictureArea() const
{
    return toDevicePixels(contentsRect(), pixelRatio(this));
}

QImage ImageBox::shownImage() const
{
    if (m_picture.isNull())
        return QImage();
    const qreal ratio = m_stretch ? pixelRatio(this) : 1.0;
    const QSize area = m_stretch ? devicePictureArea().size() : m_picture.pixelSize();
    if (m_scaled.size() != area || m_scaled.devicePixelRatio() != ratio) {
        // A metafile that cannot be replayed at this size shows nothing
        // rather than taking the window down.
        try {
            m_scaled = m_picture.render(area);
            m_scaled.setDevicePixelRatio(ratio);
        } catch (const RuntimeError &) {
            m_scaled = QImage();
        }
    }
    return m_scaled;
}

void ImageBox::paintEvent(QPaintEvent *event)
{
    QFrame::paintEvent(event);
    const QImage img = shownImage();
    if (img.isNull())
        return;
    QPainter p(this);
    p.setClipRect(contentsRect());
    p.drawImage(contentsRect().topLeft(), img);
}

} // namespace vm

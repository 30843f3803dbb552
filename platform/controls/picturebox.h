// Picture box. With AutoSize it takes its picture's size. With AutoRedraw its
// drawing surface is a persistent image that holds the picture even while the
// box is hidden; without it the surface is what the box shows on screen, and
// whatever is copied there stays until the next copy.
//
// Places, sizes and the drawing surface are in device pixels (see
// devicepixels.h): at a scale factor of 2 the surface of a box 100 pixels wide
// is 100 screen pixels, and a picture with AutoSize shows one picture pixel
// per screen pixel.
#pragma once

#include "platform/controls/devicepixels.h"
#include "platform/gdi.h"
#include "platform/picture.h"

#include <QWidget>

namespace vm {

class PictureBox : public QWidget, public DevicePixelGeometry {
    Q_OBJECT
    Q_PROPERTY(vm::Picture Picture READ Picture WRITE setPicture)
    Q_PROPERTY(bool AutoSize READ AutoSize WRITE setAutoSize)
    Q_PROPERTY(bool AutoRedraw READ AutoRedraw WRITE setAutoRedraw)
    Q_PROPERTY(int BorderStyle READ BorderStyle WRITE setBorderStyle)
    Q_PROPERTY(bool Visible READ Visible WRITE setVisible)
    VM_DEVICE_PIXEL_GEOMETRY_PROPERTIES

public:
    explicit PictureBox(QWidget *parent = nullptr);

    const vm::Picture &Picture() const { return m_picture; }
    void setPicture(const vm::Picture &picture);
    bool AutoSize() const { return m_autoSize; }
    void setAutoSize(bool on);
    bool AutoRedraw() const { return m_autoRedraw; }
    void setAutoRedraw(bool on);
    int BorderStyle() const { return m_borderStyle; }
    void setBorderStyle(int style);
    bool Visible() const { return !isHidden(); }

    // Left, Top, Width, Height and Move come with DevicePixelGeometry.

    HDC hDC();
    // The pixels currently on the drawing surface, in device pixels (for
    // tests and tools).
    const QImage &surface() const { return m_surface; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void setDeviceGeometry(const QRect &device) override;
    void rebuildSurface();

    vm::Picture m_picture;
    QImage m_surface;
    DeviceContext m_dc;
    bool m_autoSize = false;
    bool m_autoRedraw = false;
    int m_borderStyle = 0;
};

} // namespace vm

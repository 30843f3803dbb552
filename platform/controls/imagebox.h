// Image control. With Stretch on, the picture fills the area inside the
// border exactly, proportions not kept, smoothly scaled.
#pragma once

#include "platform/picture.h"

#include <QFrame>

namespace vm {

class ImageBox : public QFrame {
    Q_OBJECT
    Q_PROPERTY(vm::Picture Picture READ Picture WRITE setPicture)
    Q_PROPERTY(bool Stretch READ Stretch WRITE setStretch)
    Q_PROPERTY(int BorderStyle READ BorderStyle WRITE setBorderStyle)
    Q_PROPERTY(bool Visible READ Visible WRITE setVisible)

public:
    explicit ImageBox(QWidget *parent = nullptr);

    const vm::Picture &Picture() const { return m_picture; }
    void setPicture(const vm::Picture &picture);
    bool Stretch() const { return m_stretch; }
    void setStretch(bool on);
    int BorderStyle() const { return m_borderStyle; }
    void setBorderStyle(int style);
    bool Visible() const { return !isHidden(); }

    // The area the picture is drawn into (inside the border), in device
    // pixels: what a caller should load the picture for, so that a preview
    // on a high-density screen is decoded and played for the pixels shown.
    QRect devicePictureArea() const;
    // What the box currently shows in that area (for tests and tools): an
    // image of the area's size in device pixels, so the preview is sharp on
    // a high-density screen.
    QImage shownImage() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    vm::Picture m_picture;
    mutable QImage m_scaled; // the picture rendered for the current area
    bool m_stretch = false;
    int m_borderStyle = 0;
};

} // namespace vm

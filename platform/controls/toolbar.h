// Tool bar. Its buttons are actions carrying the button's settings as
// properties: "Key" (text), "Image" (1-based index, or an image key, into the
// tool bar's image list), "ToolTipText". A separator is an action with the
// separator flag; it has no key and raises nothing.
//
// The bar is one stop in the tab order. With the focus on it the arrow keys
// (and Home, End) choose a button, marked with a focus frame, and Space or
// Enter presses it.
#pragma once

#include "platform/units.h"

#include <QString>
#include <QToolBar>

namespace vm {

class ImageList;

struct Button {
    QString Key;
    int Index = 0; // 1-based position on the bar
};

class Toolbar : public QToolBar {
    Q_OBJECT
    Q_PROPERTY(QString ImageList READ ImageListName WRITE setImageList)
    Q_PROPERTY(bool Visible READ Visible WRITE setVisible)
    Q_PROPERTY(int Height READ heightDevicePixels)

public:
    explicit Toolbar(QWidget *parent = nullptr);

    QString ImageListName() const { return m_imageList; }
    void setImageList(const QString &name);
    bool Visible() const { return !isHidden(); }
    // In device pixels, as the windows' procedures count.
    DevicePixels Height() const;
    int heightDevicePixels() const { return Height().value(); }

    // The buttons in order, separators included (for tools and tests).
    QList<QAction *> buttons() const { return actions(); }
    // Presses the button at a 1-based position, as a click does.
    void click(int index);
    // The 1-based position of the button the keyboard is on (0: none).
    int currentButton() const { return m_current + 1; }

Q_SIGNALS:
    void ButtonClick(const vm::Button &Button);

protected:
    void actionEvent(QActionEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void applyImages();
    void trigger(QAction *action);
    bool usable(int position) const;
    void moveCurrent(int step, bool fromEnd = false);
    void showFocusMark();

    QString m_imageList;
    int m_current = -1; // 0-based position of the keyboard's button
    QWidget *m_focusMark = nullptr;
};

} // namespace vm

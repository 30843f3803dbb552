// Keeps a control docked to an edge of its container, as the Align setting
// of the cool bar and the status bar asks: full width, at the top or bottom.
#pragma once

#include <QObject>

class QWidget;

namespace vm {

enum Align : int { vbAlignNone = 0, vbAlignTop = 1, vbAlignBottom = 2 };

class Docking : public QObject {
public:
    explicit Docking(QWidget *control);
    int align() const { return m_align; }
    void setAlign(int align);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void place();
    QWidget *m_control;
    int m_align = vbAlignNone;
};

} // namespace vm

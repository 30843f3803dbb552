// Keeps a control docked to an edge of its container, as the Align setting
// of the cool bar and the status bar asks: full width, at the top or bottom.
#pragma once

#include <QObject>

class QWidget;

namespace vm {

// The edge a control keeps to; the numbers are the Align property's values.
enum class Dock : int { None = 0, Top = 1, Bottom = 2 };

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
    int m_align = int(Dock::None);
};

} // namespace vm

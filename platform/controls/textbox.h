// Single-line text box. KeyDown reports each key before the box handles it;
// a handler that sets KeyCode to 0 swallows the key.
#pragma once

#include <QLineEdit>

namespace vm {

class TextBox : public QLineEdit {
    Q_OBJECT
    Q_PROPERTY(QString Text READ Text WRITE setText)
    Q_PROPERTY(bool Visible READ Visible WRITE setVisible)

public:
    explicit TextBox(QWidget *parent = nullptr);

    QString Text() const { return text(); }
    bool Visible() const { return !isHidden(); }

    // Key codes as the runtime numbers them (13 = Enter); shift state bits
    // 1 = Shift, 2 = Ctrl, 4 = Alt.
    static qint16 keyCodeOf(int qtKey);
    static qint16 shiftStateOf(Qt::KeyboardModifiers modifiers);

Q_SIGNALS:
    void KeyDown(qint16 &KeyCode, qint16 Shift);

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

} // namespace vm

// Status bar; in simple-text style it shows SimpleText across its width.
#pragma once

#include "platform/controls/docking.h"

#include <QFrame>

class QLabel;

namespace vm {

class StatusBar : public QFrame {
    Q_OBJECT
    Q_PROPERTY(int Align READ Align WRITE setAlign)
    Q_PROPERTY(QString SimpleText READ SimpleText WRITE setSimpleText)
    Q_PROPERTY(int Style READ Style WRITE setStyle)
    Q_PROPERTY(bool Visible READ Visible WRITE setVisible)

public:
    int Align() const { return m_docking->align(); }
    void setAlign(int align) { m_docking->setAlign(align); }
    explicit StatusBar(QWidget *parent = nullptr);

    QString SimpleText() const;
    void setSimpleText(const QString &text);
    int Style() const { return m_style; }
    void setStyle(int style) { m_style = style; }
    bool Visible() const { return !isHidden(); }

private:
    QLabel *m_label;
    int m_style = 1; // 1 = simple text
    Docking *m_docking = new Docking(this);
};

} // namespace vm

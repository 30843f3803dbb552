// Cool bar: rows of bands, each band a gripper, an optional label and one
// child control stretched over the rest of the band. Bands keep their order
// (fixed order); a band with NewRow starts a new row.
#pragma once

#include "platform/controls/docking.h"
#include "platform/units.h"

#include <QFrame>
#include <QString>

namespace vm {

class CoolBand : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE setCaption)
    Q_PROPERTY(int MinHeight READ MinHeight WRITE setMinHeight)
    Q_PROPERTY(int BandWidth READ BandWidth WRITE setBandWidth)
    Q_PROPERTY(bool NewRow READ NewRow WRITE setNewRow)

public:
    explicit CoolBand(QWidget *parent = nullptr);

    QString Caption() const { return m_caption; }
    void setCaption(const QString &c);
    // In logical pixels, as the window definition gives them.
    int MinHeight() const { return m_minHeight; }
    void setMinHeight(int h) { m_minHeight = h; }
    int BandWidth() const { return m_width; }
    void setBandWidth(int w) { m_width = w; }
    bool NewRow() const { return m_newRow; }
    void setNewRow(bool on) { m_newRow = on; }

    QWidget *child() const;
    int headerWidth() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QString m_caption;
    int m_minHeight = 0;
    int m_width = 0;
    bool m_newRow = false;
};

class CoolBar : public QFrame {
    Q_OBJECT
    Q_PROPERTY(int Align READ Align WRITE setAlign)
    Q_PROPERTY(int Height READ heightDevicePixels)
    Q_PROPERTY(bool FixedOrder READ FixedOrder WRITE setFixedOrder)
    Q_PROPERTY(bool Visible READ Visible WRITE setVisible)

public:
    int Align() const { return m_docking->align(); }
    void setAlign(int align) { m_docking->setAlign(align); }
    explicit CoolBar(QWidget *parent = nullptr);

    // In device pixels, as the windows' procedures count.
    DevicePixels Height() const;
    int heightDevicePixels() const { return Height().value(); }
    bool FixedOrder() const { return true; }
    void setFixedOrder(bool) { }
    bool Visible() const { return !isHidden(); }

    QList<CoolBand *> bands() const;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void layoutBands();
    void keepBandsTogetherInTabOrder();
    Docking *m_docking = new Docking(this);
};

} // namespace vm

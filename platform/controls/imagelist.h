// Image list: a set of same-sized images, each found by its 1-based index or
// by its key. It is never shown. Sources are resource paths; a "name@2x.png"
// beside a source is used for high-density screens.
#pragma once

#include <QColor>
#include <QIcon>
#include <QStringList>
#include <QWidget>

namespace vm {

class ImageList : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int ImageWidth READ ImageWidth WRITE setImageWidth)
    Q_PROPERTY(int ImageHeight READ ImageHeight WRITE setImageHeight)
    Q_PROPERTY(QColor MaskColor READ MaskColor WRITE setMaskColor)
    Q_PROPERTY(QColor BackColor READ BackColor WRITE setBackColor)
    Q_PROPERTY(QStringList Sources READ Sources WRITE setSources)
    Q_PROPERTY(QStringList Keys READ Keys WRITE setKeys)
    Q_PROPERTY(int Count READ Count)

public:
    explicit ImageList(QWidget *parent = nullptr);

    // In logical pixels; a high-density screen takes the "@2x" images.
    int ImageWidth() const { return m_size.width(); }
    void setImageWidth(int w)
    {
        m_size.setWidth(w);
        m_icons.clear();
    }
    int ImageHeight() const { return m_size.height(); }
    void setImageHeight(int h)
    {
        m_size.setHeight(h);
        m_icons.clear();
    }
    QColor MaskColor() const { return m_mask; }
    void setMaskColor(const QColor &c)
    {
        m_mask = c;
        m_icons.clear();
    }
    QColor BackColor() const { return m_back; }
    void setBackColor(const QColor &c) { m_back = c; }
    QStringList Sources() const { return m_sources; }
    void setSources(const QStringList &s)
    {
        m_sources = s;
        m_icons.clear();
    }
    QStringList Keys() const { return m_keys; }
    void setKeys(const QStringList &k) { m_keys = k; }
    int Count() const { return int(m_sources.size()); }

    // 1-based, as the tool bar refers to its images; a null icon when absent.
    QIcon image(int index) const;
    QIcon image(const QString &key) const;

private:
    QIcon load(const QString &source) const;

    QSize m_size { 16, 16 };
    QColor m_mask { 0xC0, 0xC0, 0xC0 };
    QColor m_back;
    QStringList m_sources;
    QStringList m_keys;
    mutable QList<QIcon> m_icons;
};

} // namespace vm

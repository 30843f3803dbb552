// Builds EMF files carrying EMF+ records for the EMF+ player's tests.
//
// The picture is 100 x 100 mm on a reference device of one pixel per
// millimetre, so rendered at 100 x 100 one EMF+ world unit (in the default
// page unit) is one image pixel.
#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QtEndian>

#include <cstring>
#include <initializer_list>

#include "platform/metafile/emfplusformat.h"
#include "support/emfbuilder.h"

namespace vmtest {

// Little-endian field writers for EMF+ record and object data.
class PlusData {
public:
    PlusData &u16(quint16 v)
    {
        char b[2];
        qToLittleEndian(v, b);
        m_bytes.append(b, 2);
        return *this;
    }
    PlusData &u32(quint32 v)
    {
        char b[4];
        qToLittleEndian(v, b);
        m_bytes.append(b, 4);
        return *this;
    }
    PlusData &f(float v)
    {
        quint32 bits;
        std::memcpy(&bits, &v, 4);
        return u32(bits);
    }
    PlusData &argb(QColor c) { return u32(c.rgba()); }
    PlusData &rect(QRectF r)
    {
        return f(float(r.x())).f(float(r.y())).f(float(r.width())).f(float(r.height()));
    }
    PlusData &points(std::initializer_list<QPointF> ps)
    {
        for (const QPointF &p : ps)
            f(float(p.x())).f(float(p.y()));
        return *this;
    }
    PlusData &bytes(const QByteArray &b)
    {
        m_bytes.append(b);
        return *this;
    }
    PlusData &pad()
    {
        m_bytes.append(QByteArray((4 - m_bytes.size() % 4) % 4, '\0'));
        return *this;
    }
    operator QByteArray() const { return m_bytes; }
    QByteArray data() const { return m_bytes; }

private:
    QByteArray m_bytes;
};

constexpr quint32 kPlusVersion = 0xDBC01002;

// Object data: brushes, pens and paths as EmfPlusObject records carry them.

// Image objects as EmfPlusObject records carry them.
inline QByteArray rawBitmap(int width, int height, quint32 format, qint32 stride, const QByteArray &rows,
    const QList<QRgb> &palette = {})
{
    PlusData d;
    d.u32(kPlusVersion)
        .u32(1)
        .u32(quint32(width))
        .u32(quint32(height))
        .u32(quint32(stride))
        .u32(format)
        .u32(0);
    if (format & 0x10000) {
        d.u32(0).u32(quint32(palette.size()));
        for (QRgb c : palette)
            d.u32(c);
    }
    return d.bytes(rows).pad();
}

inline QByteArray compressedBitmap(const QByteArray &file, int width, int height)
{
    return PlusData()
        .u32(kPlusVersion)
        .u32(1)
        .u32(width)
        .u32(height)
        .u32(0)
        .u32(0x26200A)
        .u32(1)
        .bytes(file)
        .pad();
}

// `image` saved in `format` (for compressed bitmaps).
inline QByteArray encoded(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, 100);
    return bytes;
}

// An image object holding a metafile of `type` (2 placeable WMF, 3 EMF,
// 4 EMF+ only...); `declared` is the size it gives for `file` (its length
// when negative).
inline QByteArray metafileImage(quint32 type, const QByteArray &file, qint64 declared = -1)
{
    const quint32 size = quint32(declared < 0 ? file.size() : declared);
    return PlusData().u32(kPlusVersion).u32(2).u32(type).u32(size).bytes(file).pad();
}

inline QByteArray solidBrush(QColor c)
{
    return PlusData().u32(kPlusVersion).u32(0).argb(c);
}

inline QByteArray hatchBrush(quint32 style, QColor fore, QColor back)
{
    return PlusData().u32(kPlusVersion).u32(1).u32(style).argb(fore).argb(back);
}

// A linear gradient across `rect` from `from` to `to`; `extra` follows the
// fixed part (flags tell what it holds).
inline QByteArray linearBrush(QRectF rect, QColor from, QColor to, quint32 flags = 0, QByteArray extra = {})
{
    return PlusData()
        .u32(kPlusVersion)
        .u32(4)
        .u32(flags)
        .u32(4)
        .rect(rect)
        .argb(from)
        .argb(to)
        .u32(0)
        .u32(0)
        .bytes(extra);
}

inline QByteArray pathGradientBrush(
    QPointF centre, QColor inner, QColor outer, std::initializer_list<QPointF> boundary)
{
    PlusData d;
    d.u32(kPlusVersion)
        .u32(3)
        .u32(0)
        .u32(0)
        .argb(inner)
        .f(float(centre.x()))
        .f(float(centre.y()))
        .u32(1)
        .argb(outer);
    d.u32(quint32(boundary.size())).points(boundary);
    return d;
}

// A pen: flags and the optional data they announce, then a solid brush.
inline QByteArray pen(
    float width, QColor c, quint32 unit = vm::UnitWorld, quint32 flags = 0, QByteArray optional = {})
{
    return PlusData()
        .u32(kPlusVersion)
        .u32(0)
        .u32(flags)
        .u32(unit)
        .f(width)
        .bytes(optional)
        .bytes(solidBrush(c));
}

// A path of float points with one type byte each (0 start, 1 line, 3
// Bézier, | 0x80 close).
inline QByteArray path(const QList<QPointF> &points, const QByteArray &types)
{
    PlusData d;
    d.u32(kPlusVersion).u32(quint32(points.size())).u32(0);
    for (const QPointF &p : points)
        d.f(float(p.x())).f(float(p.y()));
    d.bytes(types).pad();
    return d;
}

class EmfPlusBuilder {
public:
    explicit EmfPlusBuilder(bool validHeader = true, quint16 headerFlags = 1)
        : m_emf(QRect(QPoint(0, 0), QPoint(10000, 10000)), 1)
    {
        if (validHeader)
            plus(vm::EmfPlusHeader, headerFlags, PlusData().u32(kPlusVersion).u32(1).u32(96).u32(96));
    }

    // One EMF+ record, collected into the current comment.
    EmfPlusBuilder &plus(quint16 type, quint16 flags, const QByteArray &data, qint64 forgedSize = -1)
    {
        QByteArray body = data;
        body.append(QByteArray((4 - body.size() % 4) % 4, '\0'));
        PlusData head;
        head.u16(type)
            .u16(flags)
            .u32(quint32(forgedSize >= 0 ? forgedSize : 12 + body.size()))
            .u32(quint32(data.size()));
        m_pending.append(head.data()).append(body);
        return *this;
    }
    EmfPlusBuilder &object(quint8 id, vm::EmfPlusObjectType type, const QByteArray &data)
    {
        return plus(vm::EmfPlusObject, quint16(id | (quint16(type) << 8)), data);
    }
    // Ends the current comment record; later EMF+ records start another.
    EmfPlusBuilder &flush()
    {
        if (!m_pending.isEmpty()) {
            const QByteArray data = QByteArray("EMF+", 4) + m_pending;
            m_emf.raw(vm::EmrComment, EmfBuilder::words({ data.size() }) + data);
            m_pending.clear();
        }
        return *this;
    }
    // A GDI record (after the pending EMF+ records).
    EmfPlusBuilder &gdi(quint32 type, std::initializer_list<qint64> words)
    {
        flush();
        m_emf.rec(type, words);
        return *this;
    }
    QByteArray finish()
    {
        plus(vm::EmfPlusEndOfFile, 0, {});
        flush();
        return m_emf.finish();
    }

private:
    EmfBuilder m_emf;
    QByteArray m_pending;
};

} // namespace vmtest

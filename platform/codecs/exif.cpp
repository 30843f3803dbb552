#include "platform/codecs/exif.h"

#include <QtEndian>

#include "platform/codecs/extent.h"

namespace vm {

namespace {

enum Tag : quint16 {
    Orientation = 0x0112,
    XResolution = 0x011A,
    YResolution = 0x011B,
    ResolutionUnit = 0x0128,
};
enum Type : quint16 { Short = 3, Long = 4, Rational = 5 };
constexpr int kMaxEntries = 1024; // a real IFD0 has a few dozen

class TiffReader {
public:
    explicit TiffReader(QByteArrayView tiff) : m_data(tiff) {}

    bool init()
    {
        if (m_data.size() < 8)
            return false;
        if (m_data.startsWith(QByteArrayView("II*\0", 4)))
            m_bigEndian = false;
        else if (m_data.startsWith(QByteArrayView("MM\0*", 4)))
            m_bigEndian = true;
        else
            return false;
        return true;
    }

    bool has(quint64 offset, quint64 size) const { return offset + size <= quint64(m_data.size()); }

    quint16 u16(quint64 offset) const
    {
        const char *p = m_data.data() + offset;
        return m_bigEndian ? qFromBigEndian<quint16>(p) : qFromLittleEndian<quint16>(p);
    }

    quint32 u32(quint64 offset) const
    {
        const char *p = m_data.data() + offset;
        return m_bigEndian ? qFromBigEndian<quint32>(p) : qFromLittleEndian<quint32>(p);
    }

    // A RATIONAL stored at the offset the entry gives; 0 when unusable.
    double rational(quint64 entry) const
    {
        if (u16(entry + 2) != Rational || u32(entry + 4) != 1)
            return 0;
        const quint32 at = u32(entry + 8);
        if (!has(at, 8))
            return 0;
        const quint32 num = u32(at);
        const quint32 den = u32(at + 4);
        return den == 0 ? 0 : double(num) / double(den);
    }

    int shortValue(quint64 entry) const
    {
        if (u16(entry + 2) != Short || u32(entry + 4) < 1)
            return -1;
        return u16(entry + 8);
    }

private:
    QByteArrayView m_data;
    bool m_bigEndian = false;
};

} // namespace

ExifInfo parseExif(QByteArrayView payload)
{
    ExifInfo info;
    if (!payload.startsWith(QByteArrayView("Exif\0\0", 6)))
        return info;
    TiffReader tiff(payload.sliced(6));
    if (!tiff.init())
        return info;
    const quint32 ifd = tiff.u32(4);
    if (!tiff.has(ifd, 2))
        return info;
    const int count = qMin<int>(tiff.u16(ifd), kMaxEntries);

    double x = 0;
    double y = 0;
    int unit = 2; // TIFF's default is the inch
    for (int i = 0; i < count; ++i) {
        const quint64 entry = quint64(ifd) + 2 + quint64(i) * 12;
        if (!tiff.has(entry, 12))
            break;
        switch (tiff.u16(entry)) {
        case Orientation: {
            const int value = tiff.shortValue(entry);
            if (value >= 1 && value <= 8)
                info.orientation = value;
            break;
        }
        case XResolution:
            x = tiff.rational(entry);
            break;
        case YResolution:
            y = tiff.rational(entry);
            break;
        case ResolutionUnit:
            unit = tiff.shortValue(entry);
            break;
        default:
            break;
        }
    }
    if (x > 0 && y > 0 && (unit == 2 || unit == 3)) {
        info.dotsPerMetreX = unit == 2 ? dotsPerMetreFromDpi(x) : dotsPerMetreFromDotsPerCm(x);
        info.dotsPerMetreY = unit == 2 ? dotsPerMetreFromDpi(y) : dotsPerMetreFromDotsPerCm(y);
    }
    return info;
}

} // namespace vm

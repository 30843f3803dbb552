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
    ExifIfd = 0x8769,
    ColorSpace = 0xA001,
    InteropIfd = 0xA005,
    InteropIndex = 0x0001,
};
enum Type : quint16 { Ascii = 2, Short = 3, Long = 4, Rational = 5, Ifd = 13 };
constexpr int kUncalibrated = 0xFFFF;
constexpr int kMaxEntries = 1024; // a real IFD0 has a few dozen

class TiffReader {
public:
    explicit TiffReader(QByteArrayView tiff)
        : m_data(tiff)
    {
    }

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

    // The offset a pointer entry (LONG or IFD) holds; 0 when it is not one.
    quint32 longValue(quint64 entry) const
    {
        if ((u16(entry + 2) != Long && u16(entry + 2) != Ifd) || u32(entry + 4) != 1)
            return 0;
        return u32(entry + 8);
    }

    // Up to four ASCII bytes stored in the entry itself.
    QByteArrayView shortAscii(quint64 entry) const
    {
        const quint32 count = u32(entry + 4);
        if (u16(entry + 2) != Ascii || count < 1 || count > 4)
            return {};
        return m_data.sliced(qsizetype(entry + 8), qsizetype(count));
    }

    // Calls `visit` with the offset of each entry of the IFD at `ifd`, as
    // far as the data holds them.
    template <typename Visit> void forEachEntry(quint32 ifd, Visit &&visit) const
    {
        if (ifd == 0 || !has(ifd, 2))
            return;
        const int count = qMin<int>(u16(ifd), kMaxEntries);
        for (int i = 0; i < count; ++i) {
            const quint64 entry = quint64(ifd) + 2 + quint64(i) * 12;
            if (!has(entry, 12))
                break;
            visit(entry, u16(entry));
        }
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
    double x = 0;
    double y = 0;
    int unit = 2; // TIFF's default is the inch
    quint32 exifIfd = 0;
    tiff.forEachEntry(tiff.u32(4), [&](quint64 entry, quint16 tag) {
        switch (tag) {
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
        case ExifIfd:
            exifIfd = tiff.longValue(entry);
            break;
        default:
            break;
        }
    });

    int colorSpace = 0;
    quint32 interopIfd = 0;
    tiff.forEachEntry(exifIfd, [&](quint64 entry, quint16 tag) {
        if (tag == ColorSpace)
            colorSpace = tiff.shortValue(entry);
        else if (tag == InteropIfd)
            interopIfd = tiff.longValue(entry);
    });
    if (colorSpace == kUncalibrated) {
        tiff.forEachEntry(interopIfd, [&](quint64 entry, quint16 tag) {
            if (tag == InteropIndex && tiff.shortAscii(entry).startsWith("R03"))
                info.adobeRgb = true;
        });
    }
    if (x > 0 && y > 0 && (unit == 2 || unit == 3)) {
        info.dotsPerMetreX = unit == 2 ? dotsPerMetreFromDpi(x) : dotsPerMetreFromDotsPerCm(x);
        info.dotsPerMetreY = unit == 2 ? dotsPerMetreFromDpi(y) : dotsPerMetreFromDotsPerCm(y);
    }
    return info;
}

} // namespace vm

// The WMF file as the player sees it: the checked header, the list of
// records found by one bounded walk, and a reader that never looks past the
// record it was given.
#pragma once

#include <QByteArray>
#include <QPointF>
#include <QRectF>
#include <QtEndian>

#include <vector>

namespace vm {

enum WmfFunction : quint16 {
    WmfEof = 0x0000,
    WmfRealizePalette = 0x0035,
    WmfSetPalEntries = 0x0037,
    WmfSaveDc = 0x001E,
    WmfSetBkMode = 0x0102,
    WmfSetMapMode = 0x0103,
    WmfSetRop2 = 0x0104,
    WmfSetRelAbs = 0x0105,
    WmfSetPolyFillMode = 0x0106,
    WmfSetStretchBltMode = 0x0107,
    WmfSetTextCharExtra = 0x0108,
    WmfRestoreDc = 0x0127,
    WmfInvertRegion = 0x012A,
    WmfPaintRegion = 0x012B,
    WmfSelectClipRegion = 0x012C,
    WmfSelectObject = 0x012D,
    WmfSetTextAlign = 0x012E,
    WmfResizePalette = 0x0139,
    WmfDibCreatePatternBrush = 0x0142,
    WmfSetLayout = 0x0149,
    WmfDeleteObject = 0x01F0,
    WmfCreatePatternBrush = 0x01F9,
    WmfSetBkColor = 0x0201,
    WmfSetTextColor = 0x0209,
    WmfSetTextJustification = 0x020A,
    WmfSetWindowOrg = 0x020B,
    WmfSetWindowExt = 0x020C,
    WmfSetViewportOrg = 0x020D,
    WmfSetViewportExt = 0x020E,
    WmfOffsetWindowOrg = 0x020F,
    WmfOffsetViewportOrg = 0x0211,
    WmfLineTo = 0x0213,
    WmfMoveTo = 0x0214,
    WmfOffsetClipRgn = 0x0220,
    WmfFillRegion = 0x0228,
    WmfSetMapperFlags = 0x0231,
    WmfSelectPalette = 0x0234,
    WmfCreatePenIndirect = 0x02FA,
    WmfCreateFontIndirect = 0x02FB,
    WmfCreateBrushIndirect = 0x02FC,
    WmfPolygon = 0x0324,
    WmfPolyline = 0x0325,
    WmfScaleWindowExt = 0x0410,
    WmfScaleViewportExt = 0x0412,
    WmfExcludeClipRect = 0x0415,
    WmfIntersectClipRect = 0x0416,
    WmfEllipse = 0x0418,
    WmfFloodFill = 0x0419,
    WmfRectangle = 0x041B,
    WmfSetPixel = 0x041F,
    WmfFrameRegion = 0x0429,
    WmfAnimatePalette = 0x0436,
    WmfTextOut = 0x0521,
    WmfPolyPolygon = 0x0538,
    WmfExtFloodFill = 0x0548,
    WmfRoundRect = 0x061C,
    WmfPatBlt = 0x061D,
    WmfEscape = 0x0626,
    WmfCreateRegion = 0x06FF,
    WmfArc = 0x0817,
    WmfPie = 0x081A,
    WmfChord = 0x0830,
    WmfBitBlt = 0x0922,
    WmfDibBitBlt = 0x0940,
    WmfExtTextOut = 0x0A32,
    WmfStretchBlt = 0x0B23,
    WmfDibStretchBlt = 0x0B41,
    WmfSetDibToDev = 0x0D33,
    WmfStretchDib = 0x0F43,
    WmfCreatePalette = 0x00F7,
};

struct WmfRecord {
    quint32 offset = 0; // of the record's parameters in the file
    quint32 size = 0; // parameter bytes (the record size less its 6-byte head)
    quint16 function = 0;
};

struct WmfDocument {
    // Records beyond this many are not walked (nor played).
    static constexpr int kMaxRecords = 4'000'000;

    QByteArray data;
    std::vector<WmfRecord> records; // up to but not including META_EOF
    bool placeable = false;
    bool stoppedEarly = false; // a record lied about its size, or the file ended without META_EOF
    int objectCount = 0; // mtNoObjects
    // The logical rectangle the picture shows (window origin and extent to
    // map onto the output image) and its physical size.
    QRectF window;
    QSize extentHimetric;
    bool metricMapMode = false; // a standard WMF in MM_LOMETRIC..MM_TWIPS: y grows upwards
};

// Bounds-checked little-endian access to one record's parameters. Reads
// past the end give 0 and set ok() to false, so a short record draws with
// harmless values or is skipped, never read beyond.
class WmfParams {
public:
    WmfParams(const QByteArray &data, const WmfRecord &record)
        : m_data(data.constData() + record.offset)
        , m_size(record.size)
    {
    }

    qsizetype size() const { return m_size; }
    const char *data() const { return m_data; }
    bool ok() const { return m_ok; }
    bool has(qsizetype offset, qsizetype bytes) const
    {
        return offset >= 0 && bytes >= 0 && offset <= m_size && bytes <= m_size - offset;
    }
    qint16 s16(qsizetype offset) const
    {
        return has(offset, 2) ? qFromLittleEndian<qint16>(m_data + offset) : qint16(fail());
    }
    quint16 u16(qsizetype offset) const
    {
        return has(offset, 2) ? qFromLittleEndian<quint16>(m_data + offset) : fail();
    }
    quint32 u32(qsizetype offset) const
    {
        return has(offset, 4) ? qFromLittleEndian<quint32>(m_data + offset) : fail();
    }
    quint8 u8(qsizetype offset) const { return has(offset, 1) ? quint8(m_data[offset]) : fail(); }
    // Parameter word `index` (16 bits), the way MS-WMF lists them.
    qint16 word(int index) const { return s16(qsizetype(index) * 2); }
    QPointF point(qsizetype offset) const { return QPointF(s16(offset), s16(offset + 2)); }
    // A rectangle as bitmap records store it: the words height, width, y, x,
    // x being word `xWord`.
    QRectF rect(int xWord) const
    {
        return QRectF(word(xWord), word(xWord - 1), word(xWord - 2), word(xWord - 3));
    }
    // The four words bottom, right, top, left that box records store.
    QRectF box(qsizetype offset) const
    {
        const double bottom = s16(offset), right = s16(offset + 2), top = s16(offset + 4),
                     left = s16(offset + 6);
        return QRectF(QPointF(left, top), QPointF(right, bottom));
    }

private:
    int fail() const
    {
        m_ok = false;
        return 0;
    }

    const char *m_data;
    qsizetype m_size;
    mutable bool m_ok = true;
};

// Parses the headers and walks the records. Throws RuntimeError.
WmfDocument parseWmf(QByteArray data);

} // namespace vm

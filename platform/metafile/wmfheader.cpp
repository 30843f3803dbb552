// WMF headers, the record walk and the picture's extent.
//
// Extent rules:
// - Placeable file: |right - left| x |bottom - top| of the bounding box at its
//   units per inch (0 units per inch is refused; a wrong checksum is not).
//   A box with no width or height falls back to the standard rules below.
// - Standard file: the first SetWindowExt gives the size, in the units of the
//   map mode in force (LOMETRIC...TWIPS exactly, anything else at 96 units
//   per inch), placed at the first SetWindowOrg.
// - Neither: the bounding box of the drawing coordinates (text estimated
//   from its font height), at 96 units per inch, and a one-unit picture when
//   nothing is drawn at all.
#include <QRectF>

#include <algorithm>
#include <cmath>

#include "platform/metafile/wmfformat.h"
#include "platform/runtimeerror.h"

namespace vm {

namespace {

constexpr quint32 kPlaceableKey = 0x9AC6CDD7u;
constexpr int kPlaceableSize = 22;
constexpr int kHeaderSize = 18;

// Hundredths of a millimetre per logical unit in a fixed map mode.
double himetricPerUnit(int mapMode)
{
    switch (mapMode) {
    case 2:
        return 10.0; // MM_LOMETRIC, 0.1 mm
    case 3:
        return 1.0; // MM_HIMETRIC, 0.01 mm
    case 4:
        return 25.4; // MM_LOENGLISH, 0.01 inch
    case 5:
        return 2.54; // MM_HIENGLISH, 0.001 inch
    case 6:
        return 2540.0 / 1440; // MM_TWIPS
    default:
        return 2540.0 / 96; // page units taken as 96 per inch
    }
}

bool isMetric(int mapMode)
{
    return mapMode >= 2 && mapMode <= 6;
}

int roundedHimetric(double value)
{
    return int(std::clamp(std::lround(value), 1L, long(std::numeric_limits<int>::max())));
}

// What a standard file says about its own size, found by one pass.
struct SizeScan {
    int mapMode = 1;
    bool haveOrg = false, haveExt = false;
    QPointF org;
    QSizeF ext;
    QRectF drawn; // bounding box of drawing coordinates
    double fontHeight = 12;

    void include(QPointF p) { drawn |= QRectF(p, QSizeF(1, 1)); }
    void include(const QRectF &r) { drawn |= r.normalized(); }

    void record(const WmfParams &p, quint16 function)
    {
        switch (function) {
        case WmfSetMapMode:
            if (!haveExt)
                mapMode = p.u16(0);
            break;
        case WmfSetWindowOrg:
            if (!haveOrg) {
                org = QPointF(p.word(1), p.word(0));
                haveOrg = p.ok();
            }
            break;
        case WmfSetWindowExt:
            if (!haveExt && p.word(0) != 0 && p.word(1) != 0) {
                ext = QSizeF(p.word(1), p.word(0));
                haveExt = p.ok();
            }
            break;
        case WmfMoveTo:
        case WmfLineTo:
            include(QPointF(p.word(1), p.word(0)));
            break;
        case WmfPolygon:
        case WmfPolyline:
            for (int i = 0, n = std::max<int>(p.word(0), 0); i < n && p.has(2 + 4 * i, 4); ++i)
                include(p.point(2 + 4 * i));
            break;
        case WmfPolyPolygon: {
            const int polygons = p.u16(0);
            for (qsizetype at = 2 + 2 * qsizetype(polygons); p.has(at, 4); at += 4)
                include(p.point(at));
            break;
        }
        case WmfRectangle:
        case WmfEllipse:
            include(p.box(0));
            break;
        case WmfRoundRect:
            include(p.box(4));
            break;
        case WmfArc:
        case WmfPie:
        case WmfChord:
            include(p.box(8));
            break;
        case WmfCreateFontIndirect:
            if (p.word(0) != 0)
                fontHeight = std::abs(p.word(0));
            break;
        case WmfTextOut: {
            const int length = p.u16(0);
            const qsizetype at = 2 + ((length + 1) & ~1);
            includeText(QPointF(p.s16(at + 2), p.s16(at)), length);
            break;
        }
        case WmfExtTextOut:
            includeText(QPointF(p.word(1), p.word(0)), std::max<int>(p.word(2), 0));
            break;
        case WmfPatBlt:
            include(p.rect(5));
            break;
        case WmfStretchDib:
            include(p.rect(10));
            break;
        case WmfDibStretchBlt:
            include(p.rect(9));
            break;
        case WmfDibBitBlt:
            include(p.rect(7));
            break;
        default:
            break;
        }
    }

    void includeText(QPointF at, int length)
    {
        include(QRectF(at, QSizeF(std::max(length, 1) * fontHeight * 0.6, fontHeight)));
    }
};

void walkRecords(WmfDocument &doc, qsizetype start)
{
    const QByteArray &data = doc.data;
    qsizetype at = start;
    for (;;) {
        const qsizetype left = data.size() - at;
        if (left < 6) { // the file ended without META_EOF
            doc.stoppedEarly = true;
            return;
        }
        const quint64 words = qFromLittleEndian<quint32>(data.constData() + at);
        const quint16 function = qFromLittleEndian<quint16>(data.constData() + at + 4);
        if (words < 3 || words * 2 > quint64(left)) { // a record that lies about its size
            doc.stoppedEarly = true;
            return;
        }
        if (function == WmfEof)
            return;
        if (doc.records.size() >= size_t(WmfDocument::kMaxRecords)) {
            doc.stoppedEarly = true;
            return;
        }
        doc.records.push_back({ quint32(at + 6), quint32(words * 2 - 6), function });
        at += qsizetype(words * 2);
    }
}

void sizeStandard(WmfDocument &doc)
{
    SizeScan scan;
    for (const WmfRecord &r : doc.records)
        scan.record(WmfParams(doc.data, r), r.function);
    if (scan.haveExt) {
        const QPointF org = scan.haveOrg ? scan.org : QPointF(0, 0);
        doc.window = QRectF(org, QSizeF(std::abs(scan.ext.width()), std::abs(scan.ext.height())));
        doc.metricMapMode = isMetric(scan.mapMode);
        const double unit = himetricPerUnit(scan.mapMode);
        doc.extentHimetric
            = QSize(roundedHimetric(doc.window.width() * unit), roundedHimetric(doc.window.height() * unit));
        return;
    }
    doc.window = scan.drawn.isValid() ? scan.drawn : QRectF(0, 0, 1, 1);
    const double unit = himetricPerUnit(1);
    doc.extentHimetric
        = QSize(roundedHimetric(doc.window.width() * unit), roundedHimetric(doc.window.height() * unit));
}

} // namespace

WmfDocument parseWmf(QByteArray data)
{
    WmfDocument doc;
    doc.data = std::move(data);
    const char *d = doc.data.constData();
    const qsizetype size = doc.data.size();

    qsizetype header = 0;
    int inch = 0;
    QRectF box;
    if (size >= 4 && qFromLittleEndian<quint32>(d) == kPlaceableKey) {
        if (size < kPlaceableSize)
            raise(Err::InvalidPicture);
        const auto s16 = [d](int at) { return double(qFromLittleEndian<qint16>(d + at)); };
        box = QRectF(QPointF(s16(6), s16(8)), QPointF(s16(10), s16(12))).normalized();
        inch = qFromLittleEndian<quint16>(d + 14);
        if (inch == 0)
            raise(Err::InvalidPicture);
        doc.placeable = true;
        header = kPlaceableSize;
    }
    if (size - header < kHeaderSize)
        raise(Err::InvalidPicture);
    const quint16 type = qFromLittleEndian<quint16>(d + header);
    const quint16 headerWords = qFromLittleEndian<quint16>(d + header + 2);
    const quint16 version = qFromLittleEndian<quint16>(d + header + 4);
    if ((type != 1 && type != 2) || headerWords != 9 || (version != 0x0100 && version != 0x0300))
        raise(Err::InvalidPicture);
    // mtSize is not trusted (some writers count the placeable header in it);
    // the file's own length bounds the walk.
    doc.objectCount = qFromLittleEndian<quint16>(d + header + 10);

    walkRecords(doc, header + kHeaderSize);
    if (doc.records.empty() && doc.stoppedEarly)
        raise(Err::DamagedPicture);

    if (doc.placeable && box.width() > 0 && box.height() > 0) {
        doc.window = box;
        doc.extentHimetric = QSize(
            roundedHimetric(box.width() * 2540.0 / inch), roundedHimetric(box.height() * 2540.0 / inch));
    } else {
        sizeStandard(doc);
    }
    return doc;
}

} // namespace vm

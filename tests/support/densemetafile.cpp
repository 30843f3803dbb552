#include "support/densemetafile.h"
#include "support/filebytes.h"

#include <QtEndian>

#include <cmath>
#include <initializer_list>

namespace vmtest {

namespace {

void emfRecord(QByteArray &b, quint32 type, std::initializer_list<qint64> words)
{
    putLE32(b, type);
    putLE32(b, quint32(8 + 4 * words.size()));
    for (qint64 w : words)
        putLE32(b, quint32(w));
}

// Header of an EMF whose reference device has 1 pixel per 1/96 inch and a
// frame of `w` x `h` such pixels; records follow, EOF and the counts are
// added by finishEmf.
QByteArray emfHeader(int w, int h)
{
    QByteArray b;
    putLE32(b, 1);
    putLE32(b, 108);
    for (int v : { 0, 0, w - 1, h - 1 })
        putLE32(b, quint32(v));
    // Frame in hundredths of a millimetre: w px at 96 dpi.
    for (int v : { 0, 0, int(std::lround(w * 2540.0 / 96)), int(std::lround(h * 2540.0 / 96)) })
        putLE32(b, quint32(v));
    putLE32(b, 0x464D4520);
    putLE32(b, 0x10000);
    putLE32(b, 0); // bytes, patched
    putLE32(b, 0); // records, patched
    putLE16(b, 4);
    putLE16(b, 0);
    putLE32(b, 0);
    putLE32(b, 0);
    putLE32(b, 0);
    // Reference device: 960 x 960 px on 254 x 254 mm (96 dpi).
    for (int v : { 960, 960, 254, 254 })
        putLE32(b, quint32(v));
    putLE32(b, 0);
    putLE32(b, 0);
    putLE32(b, 0);
    for (int v : { 254000, 254000 })
        putLE32(b, quint32(v));
    return b;
}

QByteArray finishEmf(QByteArray b, int records)
{
    emfRecord(b, 14, { 0, 16, 20 });
    qToLittleEndian<quint32>(quint32(b.size()), b.data() + 48);
    qToLittleEndian<quint32>(quint32(records + 2), b.data() + 52);
    return b;
}

constexpr int kStarPoints = 199;

} // namespace

QByteArray denseScatterEmf(int dots)
{
    QByteArray b = emfHeader(800, 600);
    b.reserve(b.size() + 24 * dots + 200);
    int records = 0;
    // A blue brush and no pen, as plotting programs draw markers.
    emfRecord(b, 39, { 1, 0, 0xC04020, 0 }); // EMR_CREATEBRUSHINDIRECT
    emfRecord(b, 37, { 1 }); // EMR_SELECTOBJECT
    emfRecord(b, 37, { 0x80000008 }); // NULL_PEN
    records += 3;
    quint32 seed = 12345;
    for (int i = 0; i < dots; ++i) {
        seed = seed * 1103515245u + 12345u;
        const int x = int((seed >> 8) % 680) + 10;
        seed = seed * 1103515245u + 12345u;
        const int y = int((seed >> 8) % 480) + 10;
        emfRecord(b, 42, { x, y, x + 4, y + 4 }); // EMR_ELLIPSE
        ++records;
    }
    emfRecord(b, 39, { 2, 0, 0x0000FF, 0 });
    emfRecord(b, 37, { 2 });
    const QRect s = kDenseSquare;
    emfRecord(b, 43, { s.left(), s.top(), s.left() + s.width(), s.top() + s.height() }); // EMR_RECTANGLE
    records += 3;
    return finishEmf(b, records);
}

QByteArray vastWorkEmf()
{
    // Eight page-sized stars of 199 points, each point joined to one almost
    // opposite: every edge crosses the page, and the rasteriser's work grows
    // with each edge's height squared. About 6.5 KB.
    QByteArray star;
    for (int v : { 0, 0, 1000, 1000, kStarPoints })
        putLE32(star, quint32(v));
    for (int i = 0; i < kStarPoints; ++i) {
        const double a = 2 * 3.14159265358979 * i * 97 / kStarPoints;
        putLE16(star, quint16(qint16(std::lround(500 + 499 * std::cos(a)))));
        putLE16(star, quint16(qint16(std::lround(500 + 499 * std::sin(a)))));
    }
    QByteArray b = emfHeader(1000, 1000);
    constexpr int kStars = 8;
    for (int i = 0; i < kStars; ++i) {
        putLE32(b, 86); // EMR_POLYGON16
        putLE32(b, quint32(8 + star.size()));
        b.append(star);
    }
    return finishEmf(b, kStars);
}

} // namespace vmtest

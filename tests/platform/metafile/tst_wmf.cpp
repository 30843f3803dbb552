// The WMF player: every corpus file behaves as its manifest says, and
// metafiles built here byte by byte pin down the handle table, the extent
// rules, 8-bit text by character set, and the records that lie or flood.
#include <QFile>
#include <QImage>
#include <QTest>
#include <QtEndian>

#include "platform/metafile/metafile.h"
#include "platform/metafile/symbolfont.h"
#include "platform/runtimeerror.h"
#include "support/filebytes.h"
#include "support/testsupport.h"

using namespace vm;
using vmtest::putLE16;
using vmtest::putLE32;

namespace {

// Writes a WMF: records of 16-bit words, then the headers around them.
class WmfWriter {
public:
    WmfWriter &record(quint16 function, std::initializer_list<int> words)
    {
        return record(function, QList<int>(words));
    }
    WmfWriter &record(quint16 function, const QList<int> &words)
    {
        putLE32(m_records, quint32(3 + words.size()));
        putLE16(m_records, function);
        for (int w : words)
            putLE16(m_records, quint16(w));
        return *this;
    }
    WmfWriter &raw(const QByteArray &bytes)
    {
        m_records += bytes;
        return *this;
    }
    // COLORREF as two words, low first.
    static QList<int> color(quint32 c) { return { int(c & 0xFFFF), int(c >> 16) }; }

    QByteArray standard(int objects = 8) const
    {
        QByteArray out;
        putLE16(out, 1);
        putLE16(out, 9);
        putLE16(out, 0x300);
        putLE32(out, quint32((18 + m_records.size()) / 2 + 3));
        putLE16(out, quint16(objects));
        putLE32(out, 16);
        putLE16(out, 0);
        out += m_records;
        putLE32(out, 3);
        putLE16(out, 0);
        return out;
    }
    QByteArray placeable(QRect box, int inch, int objects = 8) const
    {
        QByteArray out;
        putLE32(out, 0x9AC6CDD7u);
        putLE16(out, 0);
        putLE16(out, quint16(box.left()));
        putLE16(out, quint16(box.top()));
        putLE16(out, quint16(box.right()));
        putLE16(out, quint16(box.bottom()));
        putLE16(out, quint16(inch));
        putLE32(out, 0);
        quint16 sum = 0;
        for (int i = 0; i < 20; i += 2)
            sum ^= qFromLittleEndian<quint16>(out.constData() + i);
        putLE16(out, sum);
        return out + standard(objects);
    }

private:
    QByteArray m_records;
};

// QRect from corners, as the placeable header stores them.
QRect corners(int left, int top, int right, int bottom)
{
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

// Pixels that are not white, as a bounding box.
QRect ink(const QImage &image)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if ((image.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF)
                box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

Err errorOf(const QByteArray &data)
{
    try {
        openWmf(data);
    } catch (const RuntimeError &e) {
        return e.number();
    }
    return Err(0);
}

constexpr quint16 kCreatePen = 0x02FA, kCreateBrush = 0x02FC, kCreateFont = 0x02FB, kSelect = 0x012D,
                  kDelete = 0x01F0, kRectangle = 0x041B, kLineTo = 0x0213, kSetMapMode = 0x0103,
                  kSetWindowExt = 0x020C, kSetWindowOrg = 0x020B, kExtTextOut = 0x0A32, kSetBkMode = 0x0102;

} // namespace

class TestWmf : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void corpusFilesBehaveAsListed_data();
    void corpusFilesBehaveAsListed();
    void newObjectsTakeLowestFreeSlot_data();
    void newObjectsTakeLowestFreeSlot();
    void patternBrushColours_data();
    void patternBrushColours();
    void wideOldStylePensDrawSolid_data();
    void wideOldStylePensDrawSolid();
    void extentFollowsHeaderOrMapMode_data();
    void extentFollowsHeaderOrMapMode();
    void invalidHeadersAreRefused_data();
    void invalidHeadersAreRefused();
    void textIsDecodedByFontCharSet_data();
    void textIsDecodedByFontCharSet();
    void symbolFontCodesBecomeUnicode_data();
    void symbolFontCodesBecomeUnicode();
    void carriedEmfIsDrawnWhenWhole_data();
    void carriedEmfIsDrawnWhenWhole();
    void lyingRecordEndsPlay_data();
    void lyingRecordEndsPlay();
    void floodOfRecordsEndsPromptly_data();
    void floodOfRecordsEndsPromptly();
};

void TestWmf::corpusFilesBehaveAsListed_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expectation");
    QTest::addColumn<QSize>("extent");
    const QString dir = vmtest::corpusDir();
    if (dir.isEmpty())
        QSKIP("picture corpus not present");
    const QList<vmtest::CorpusEntry> entries = vmtest::corpusManifest(dir);
    QVERIFY(!entries.isEmpty());
    for (const vmtest::CorpusEntry &e : entries) {
        // No extent listed: nothing to compare.
        if (e.path.startsWith(QLatin1String("wmf/")))
            QTest::newRow(e.path.toUtf8().constData()) << dir + QLatin1Char('/') + e.path << e.expectation
                                                       << (e.extent.isEmpty() ? QSize() : e.extent);
    }
}

void TestWmf::corpusFilesBehaveAsListed()
{
    QFETCH(QString, path);
    QFETCH(QString, expectation);
    QFETCH(QSize, extent);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    std::shared_ptr<const Metafile> wmf;
    try {
        wmf = openWmf(file.readAll());
    } catch (const RuntimeError &e) {
        QVERIFY2(expectation != QLatin1String("loads"), qPrintable(e.Description()));
        return;
    }
    QVERIFY(expectation != QLatin1String("must-fail"));
    if (extent.isValid())
        QCOMPARE(wmf->extentHimetric(), extent);
    const QSize natural = wmf->naturalSize();
    QVERIFY(natural.width() >= 1 && natural.width() <= 16384 && natural.height() >= 1
        && natural.height() <= 16384);
    QVERIFY(qint64(natural.width()) * natural.height() <= vm::kMetafileMaxPixels);
    const QImage full = wmf->render(natural);
    QCOMPARE(full.size(), natural);
    QCOMPARE(wmf->render(QSize(161, 153)).size(), QSize(161, 153));
}

void TestWmf::newObjectsTakeLowestFreeSlot_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QRgb>("centre");

    const QList<int> box { 80, 80, 20, 20 };
    WmfWriter w;
    // Pen in 0, green brush in 1; deleting 0 frees it for the blue brush.
    w.record(kCreatePen, { 5, 0, 0, 0, 0 })
        .record(kCreateBrush, QList<int> { 0 } + WmfWriter::color(0x00FF00) + QList<int> { 0 })
        .record(kDelete, { 0 })
        .record(kCreateBrush, QList<int> { 0 } + WmfWriter::color(0xFF0000) + QList<int> { 0 })
        .record(kSelect, { 0 })
        .record(kRectangle, box);
    QTest::newRow("freed-slot-reused") << w.placeable(corners(0, 0, 100, 100), 96, 2) << qRgb(0, 0, 255);

    // Slot 1 freed, slot 0 still taken: the new brush goes to 1, not 2.
    WmfWriter v;
    v.record(kCreateBrush, QList<int> { 0 } + WmfWriter::color(0x0000FF) + QList<int> { 0 })
        .record(kCreateBrush, QList<int> { 0 } + WmfWriter::color(0x00FF00) + QList<int> { 0 })
        .record(kDelete, { 1 })
        .record(kCreateBrush, QList<int> { 0 } + WmfWriter::color(0xFFFF00) + QList<int> { 0 })
        .record(kSelect, { 1 })
        .record(kRectangle, box);
    QTest::newRow("middle-slot-reused") << v.placeable(corners(0, 0, 100, 100), 96, 3) << qRgb(0, 255, 255);

    // A header that promises no slots: objects still land in order.
    WmfWriter u;
    u.record(kCreateBrush, QList<int> { 0 } + WmfWriter::color(0x0000FF) + QList<int> { 0 })
        .record(kCreateBrush, QList<int> { 0 } + WmfWriter::color(0x00FF00) + QList<int> { 0 })
        .record(kSelect, { 1 })
        .record(kRectangle, box);
    QTest::newRow("table-grows") << u.placeable(corners(0, 0, 100, 100), 96, 0) << qRgb(0, 255, 0);
}

void TestWmf::newObjectsTakeLowestFreeSlot()
{
    QFETCH(QByteArray, data);
    QFETCH(QRgb, centre);
    const QImage image = openWmf(data)->render(QSize(100, 100));
    QCOMPARE(QString::number(image.pixel(50, 50), 16), QString::number(centre, 16));
}

void TestWmf::patternBrushColours_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<QRgb>("centre");
    // A recorded monochrome bitmap brush takes the text colour for its 0 bits;
    // a DIB brush keeps its own colour table (black for index 0).
    QTest::newRow("bs-pattern-text-colour") << 3 << qRgb(255, 0, 0);
    QTest::newRow("bs-dibpatternpt-own-colours") << 5 << qRgb(0, 0, 0);
}

void TestWmf::patternBrushColours()
{
    QFETCH(int, style);
    QFETCH(QRgb, centre);
    // 8x8, 1 bpp, black and white table, every bit 0.
    QByteArray dib;
    for (quint32 v : { 40u, 8u, 8u })
        putLE32(dib, v);
    putLE16(dib, 1);
    putLE16(dib, 1);
    for (quint32 v : { 0u, 32u, 0u, 0u, 2u, 0u, 0x000000u, 0xFFFFFFu })
        putLE32(dib, v);
    dib += QByteArray(32, '\0');
    QList<int> brush { style, 0 };
    for (int i = 0; i < dib.size(); i += 2)
        brush.append(qFromLittleEndian<quint16>(dib.constData() + i));
    WmfWriter w;
    w.record(0x0209, WmfWriter::color(0x0000FF)) // SetTextColor red
        .record(0x0201, WmfWriter::color(0xFF0000)) // SetBkColor blue
        .record(0x0142, brush)
        .record(kSelect, { 0 })
        .record(kRectangle, { 90, 90, 10, 10 });
    const QImage image = openWmf(w.placeable(corners(0, 0, 100, 100), 96))->render(QSize(100, 100));
    QCOMPARE(QString::number(image.pixel(50, 50), 16), QString::number(centre, 16));
}

void TestWmf::wideOldStylePensDrawSolid_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<int>("width");
    QTest::addColumn<bool>("gaps");
    QTest::newRow("dash one pixel wide") << 1 << 1 << true;
    QTest::newRow("dot one pixel wide") << 2 << 0 << true;
    QTest::newRow("dash five pixels wide") << 1 << 5 << false;
    QTest::newRow("dot three pixels wide") << 2 << 3 << false;
    QTest::newRow("dash-dot-dot four pixels wide") << 4 << 4 << false;
    QTest::newRow("solid five pixels wide") << 0 << 5 << false;
}

void TestWmf::wideOldStylePensDrawSolid()
{
    QFETCH(int, style);
    QFETCH(int, width);
    QFETCH(bool, gaps);
    WmfWriter w;
    w.record(kCreatePen, QList<int> { style, width, 0 } + WmfWriter::color(0))
        .record(kSelect, { 0 })
        .record(0x0214, { 100, 10 }) // MoveTo
        .record(kLineTo, { 100, 190 });
    const QImage image = openWmf(w.placeable(corners(0, 0, 200, 200), 96))->render(QSize(200, 200));
    int blank = 0;
    for (int x = 20; x < 180; ++x)
        blank += qGray(image.pixel(x, 100)) > 128;
    QCOMPARE(blank > 0, gaps);
}

void TestWmf::extentFollowsHeaderOrMapMode_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QSize>("extent");
    QTest::addColumn<QSize>("natural");

    const auto mapped = [](int mode, int w, int h) {
        WmfWriter writer;
        writer.record(kSetMapMode, { mode }).record(kSetWindowOrg, { 0, 0 }).record(kSetWindowExt, { h, w });
        writer.record(kRectangle, { h, w, 0, 0 });
        return writer.standard();
    };
    QTest::newRow("himetric") << mapped(3, 2000, 1000) << QSize(2000, 1000) << QSize(76, 38);
    QTest::newRow("lometric") << mapped(2, 200, 100) << QSize(2000, 1000) << QSize(76, 38);
    QTest::newRow("twips") << mapped(6, 1440, 720) << QSize(2540, 1270) << QSize(96, 48);
    QTest::newRow("hienglish") << mapped(5, 1000, 500) << QSize(2540, 1270) << QSize(96, 48);
    QTest::newRow("anisotropic-96-per-inch") << mapped(8, 96, 48) << QSize(2540, 1270) << QSize(96, 48);
    QTest::newRow("negative-window-extent") << mapped(8, -96, -48) << QSize(2540, 1270) << QSize(96, 48);

    WmfWriter drawn;
    drawn.record(kRectangle, { 48, 96, 0, 0 });
    QTest::newRow("no-window-uses-drawing") << drawn.standard() << QSize(2540, 1270) << QSize(96, 48);

    WmfWriter empty;
    QTest::newRow("placeable-negative-origin")
        << empty.placeable(corners(-100, -50, 100, 50), 1000) << QSize(508, 254) << QSize(19, 10);
    QTest::newRow("placeable-inverted-box")
        << empty.placeable(corners(100, 50, -100, -50), 1000) << QSize(508, 254) << QSize(19, 10);
    // 30000 units at 1 per inch: 762 m. The extent stays exact, the natural
    // size is scaled down to the pixel bounds, keeping the shape.
    QTest::newRow("vast-extent-scaled-down")
        << empty.placeable(corners(0, 0, 30000, 15000), 1) << QSize(76200000, 38100000) << QSize(5792, 2896);
}

void TestWmf::extentFollowsHeaderOrMapMode()
{
    QFETCH(QByteArray, data);
    QFETCH(QSize, extent);
    QFETCH(QSize, natural);
    const std::shared_ptr<const Metafile> wmf = openWmf(data);
    QCOMPARE(wmf->extentHimetric(), extent);
    QCOMPARE(wmf->naturalSize(), natural);
}

void TestWmf::invalidHeadersAreRefused_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("error");
    WmfWriter w;
    w.record(kRectangle, { 10, 10, 0, 0 });
    const QByteArray good = w.placeable(corners(0, 0, 10, 10), 96);
    QTest::newRow("empty") << QByteArray() << int(Err::InvalidPicture);
    QTest::newRow("placeable-only") << good.left(22) << int(Err::InvalidPicture);
    QTest::newRow("units-per-inch-zero") << w.placeable(corners(0, 0, 10, 10), 0) << int(Err::InvalidPicture);
    QByteArray version = good;
    version[26] = 0x02;
    QTest::newRow("unknown-version") << version << int(Err::InvalidPicture);
    QByteArray headerSize = good;
    headerSize[24] = 10;
    QTest::newRow("header-size-not-9") << headerSize << int(Err::InvalidPicture);
    QByteArray checksum = good;
    checksum[20] = char(checksum[20] ^ 0x55);
    QTest::newRow("bad-checksum-still-loads") << checksum << 0;
    // mtSize counting the placeable header too, as some writers do.
    QByteArray size = good;
    qToLittleEndian<quint32>(quint32(good.size() / 2), size.data() + 28);
    QTest::newRow("mtsize-with-placeable-header") << size << 0;
}

void TestWmf::invalidHeadersAreRefused()
{
    QFETCH(QByteArray, data);
    QFETCH(int, error);
    QCOMPARE(int(errorOf(data)), error);
}

void TestWmf::textIsDecodedByFontCharSet_data()
{
    QTest::addColumn<int>("charSet");
    QTest::addColumn<bool>("twoCharacters");
    // "日本" in Shift-JIS: two double-byte characters, four bytes.
    QTest::newRow("shift-jis") << 128 << true;
    QTest::newRow("ansi-reads-four-characters") << 0 << false;
}

void TestWmf::textIsDecodedByFontCharSet()
{
    QFETCH(int, charSet);
    QFETCH(bool, twoCharacters);
    WmfWriter w;
    // Font: height -20, weight 400, the character set, face "IPAGothic".
    QList<int> font { -20, 0, 0, 0, 400, 0, charSet << 8, 0, 0 };
    const QByteArray face("IPAGothic\0\0\0", 12);
    for (int i = 0; i < face.size(); i += 2)
        font.append(quint8(face[i]) | quint8(face[i + 1]) << 8);
    // ExtTextOut at (10, 10): 4 bytes, no options, then a dx of 30, 0, 30, 0,
    // which folds to 30, 30 for two double-byte characters.
    const QList<int> text { 10, 10, 4, 0, 0xFA93, 0x7B96, 30, 0, 30, 0 };
    w.record(kSetBkMode, { 1 }).record(kCreateFont, font).record(kSelect, { 0 }).record(kExtTextOut, text);
    const QImage image = openWmf(w.placeable(corners(0, 0, 200, 60), 96))->render(QSize(200, 60));
    const QRect drawn = ink(image);
    QVERIFY(!drawn.isEmpty());
    QVERIFY(drawn.left() >= 9);
    // Two glyphs end near 10 + 30 + 20; four would reach past 10 + 60.
    if (twoCharacters)
        QVERIFY2(drawn.right() < 70, qPrintable(QString::number(drawn.right())));
    else
        QVERIFY2(drawn.right() >= 70, qPrintable(QString::number(drawn.right())));
}

void TestWmf::symbolFontCodesBecomeUnicode_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("greek") << QByteArray("aDpW") << QStringLiteral("\u03B1\u0394\u03C0\u03A9");
    QTest::newRow("digits-and-signs") << QByteArray("2+\xB4\xB9") << QStringLiteral("2+\u00D7\u2260");
    QTest::newRow("brackets") << QByteArray("\xE6\xF6") << QStringLiteral("\u239B\u239E");
    QTest::newRow("control-codes") << QByteArray("\x01\x85", 2) << QStringLiteral("\uFFFD\uFFFD");
}

void TestWmf::symbolFontCodesBecomeUnicode()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(decodeSymbolText(bytes), text);
    QVERIFY(isSymbolFace(QStringLiteral("symbol")));
    QVERIFY(!isSymbolFace(QStringLiteral("Wingdings")));
}

// A small EMF: a black brush and a rectangle over the whole 1-inch frame.
static QByteArray smallEmf()
{
    QByteArray records;
    const auto rec = [&records](quint32 type, std::initializer_list<quint32> values) {
        putLE32(records, type);
        putLE32(records, quint32(8 + 4 * values.size()));
        for (quint32 v : values)
            putLE32(records, v);
    };
    rec(39, { 1, 0, 0x000000, 0 }); // EMR_CREATEBRUSHINDIRECT
    rec(37, { 1 }); // EMR_SELECTOBJECT
    rec(43, { 0, 0, 10000, 10000 }); // EMR_RECTANGLE
    rec(14, { 0, 16, 20 }); // EMR_EOF
    QByteArray header;
    const quint32 total = quint32(88 + records.size());
    for (quint32 v : { 1u, 88u, 0u, 0u, 96u, 96u, 0u, 0u, 2540u, 2540u, 0x464D4520u, 0x10000u, total, 5u })
        putLE32(header, v);
    putLE16(header, 2);
    putLE16(header, 0);
    for (quint32 v : { 0u, 0u, 0u, 96u, 96u, 254u, 254u })
        putLE32(header, v);
    return header.left(88) + records;
}

// The EMF split over comment escapes of at most `chunk` bytes; the first
// carries the checksum (the negated exclusive-or of the EMF's words), off
// by `checksumSkew`.
static QList<QByteArray> carrierEscapes(
    const QByteArray &emf, int chunk, int sizeSkew = 0, int checksumSkew = 0)
{
    quint16 checksum = 0;
    for (int i = 0; i + 1 < emf.size(); i += 2)
        checksum ^= qFromLittleEndian<quint16>(emf.constData() + i);
    checksum = quint16(-checksum + checksumSkew);
    QList<QByteArray> escapes;
    for (int at = 0; at < emf.size(); at += chunk) {
        const QByteArray part = emf.mid(at, chunk);
        QByteArray e;
        putLE16(e, 0x000F);
        putLE16(e, quint16(34 + part.size()));
        e += QByteArray("WMFC");
        putLE32(e, 1);
        putLE32(e, 0x10000);
        putLE16(e, at == 0 ? checksum : 0);
        putLE32(e, 0);
        putLE32(e, quint32((emf.size() + chunk - 1) / chunk));
        putLE32(e, quint32(part.size()));
        putLE32(e, quint32(emf.size() - at - part.size()));
        putLE32(e, quint32(emf.size() + sizeSkew));
        e += part;
        if (e.size() % 2)
            e.append('\0');
        escapes.append(e);
    }
    return escapes;
}

void TestWmf::carriedEmfIsDrawnWhenWhole_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QRgb>("centre");
    const QByteArray emf = smallEmf();
    const auto carrier = [](const QList<QByteArray> &escapes, bool draw) {
        WmfWriter w;
        for (const QByteArray &e : escapes) {
            QByteArray r;
            putLE32(r, quint32(3 + e.size() / 2));
            putLE16(r, 0x0626);
            w.raw(r + e);
        }
        if (draw)
            w.record(kRectangle, { 5, 5, 0, 0 });
        return w.placeable(corners(0, 0, 96, 96), 96);
    };
    QTest::newRow("one-chunk") << carrier(carrierEscapes(emf, 4096), false) << qRgb(0, 0, 0);
    QTest::newRow("three-chunks") << carrier(carrierEscapes(emf, 60), false) << qRgb(0, 0, 0);
    // The WMF records are a copy of the carried EMF: the EMF wins. Here the
    // copy draws a small rectangle away from the centre, the EMF fills it all.
    QTest::newRow("carrier-draws-a-copy") << carrier(carrierEscapes(emf, 4096), true) << qRgb(0, 0, 0);
    QTest::newRow("chunks-short-of-size")
        << carrier(carrierEscapes(emf, 4096, 10), false) << qRgb(255, 255, 255);
    QTest::newRow("checksum-wrong") << carrier(carrierEscapes(emf, 60, 0, 1), false) << qRgb(255, 255, 255);
    QTest::newRow("checksum-wrong-copy-drawn")
        << carrier(carrierEscapes(emf, 4096, 0, 7), true) << qRgb(255, 255, 255);
    QList<QByteArray> cut = carrierEscapes(emf, 60);
    cut.removeLast();
    QTest::newRow("last-chunk-missing") << carrier(cut, false) << qRgb(255, 255, 255);
    QList<QByteArray> twice = carrierEscapes(emf, 60);
    twice.insert(1, twice[1]);
    QTest::newRow("chunk-repeated") << carrier(twice, false) << qRgb(255, 255, 255);
}

void TestWmf::carriedEmfIsDrawnWhenWhole()
{
    QFETCH(QByteArray, data);
    QFETCH(QRgb, centre);
    const QImage image = openWmf(data)->render(QSize(96, 96));
    QCOMPARE(QString::number(image.pixel(48, 48), 16), QString::number(centre, 16));
}

void TestWmf::lyingRecordEndsPlay_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("loads");

    const auto withLie = [](quint32 words, bool drawFirst) {
        WmfWriter w;
        w.record(kCreateBrush, QList<int> { 0 } + WmfWriter::color(0x000000) + QList<int> { 0 })
            .record(kSelect, { 0 });
        if (drawFirst)
            w.record(kRectangle, { 90, 90, 10, 10 });
        QByteArray lie;
        putLE32(lie, words);
        putLE16(lie, kRectangle);
        return w.raw(lie + QByteArray(8, '\0')).placeable(corners(0, 0, 100, 100), 96);
    };
    QTest::newRow("size-past-end-after-drawing") << withLie(0x7FFFFFFF, true) << true;
    QTest::newRow("size-zero-after-drawing") << withLie(0, true) << true;
    QTest::newRow("size-two-after-drawing") << withLie(2, true) << true;

    QByteArray first;
    putLE32(first, 0xFFFFFFFF);
    putLE16(first, kRectangle);
    QTest::newRow("first-record-lies")
        << WmfWriter().raw(first).placeable(corners(0, 0, 100, 100), 96) << false;
    // A polygon whose point count runs past its record.
    WmfWriter poly;
    poly.record(0x0324, { 30000, 0, 0, 50, 50, 0, 90 });
    QTest::newRow("point-count-past-record") << poly.placeable(corners(0, 0, 100, 100), 96) << true;
}

void TestWmf::lyingRecordEndsPlay()
{
    QFETCH(QByteArray, data);
    QFETCH(bool, loads);
    if (!loads) {
        QCOMPARE(errorOf(data), Err::DamagedPicture);
        return;
    }
    const QImage image = openWmf(data)->render(QSize(100, 100));
    QCOMPARE(image.size(), QSize(100, 100));
    if (QByteArray(QTest::currentDataTag()).endsWith("after-drawing"))
        QCOMPARE(image.pixel(50, 50), qRgb(0, 0, 0)); // what came before the lie is drawn
}

void TestWmf::floodOfRecordsEndsPromptly_data()
{
    QTest::addColumn<QByteArray>("data");

    // 5 million three-word records: more than the walk takes.
    QByteArray bkMode;
    putLE32(bkMode, 4);
    putLE16(bkMode, kSetBkMode);
    putLE16(bkMode, 1);
    QTest::newRow("five-million-records") << WmfWriter().raw(bkMode.repeated(5'000'000)).standard();

    // A million zigzag lines across the picture: a 10 MB file of modest
    // records, within its work budget.
    QByteArray lines;
    for (int i = 0; i < 1'000'000; ++i) {
        putLE32(lines, 5);
        putLE16(lines, kLineTo);
        putLE16(lines, quint16(i % 2 ? 0 : 100));
        putLE16(lines, quint16(i % 100));
    }
    QTest::newRow("million-lines") << WmfWriter().raw(lines).placeable(corners(0, 0, 100, 100), 96);

    // Save states and objects far beyond any bound.
    QByteArray saves;
    putLE32(saves, 3);
    putLE16(saves, 0x001E);
    QByteArray pens;
    putLE32(pens, 8);
    putLE16(pens, kCreatePen);
    pens += QByteArray(10, '\0');
    QTest::newRow("deep-saves-many-objects") << WmfWriter()
                                                    .raw(saves.repeated(200'000) + pens.repeated(100'000))
                                                    .placeable(corners(0, 0, 100, 100), 96);
}

void TestWmf::floodOfRecordsEndsPromptly()
{
    QFETCH(QByteArray, data);
    const std::shared_ptr<const Metafile> wmf = openWmf(data);
    // Drawn, or (only past the wall-clock safety net, on a starved or
    // instrumented machine) refused as too complex; never a crash or hang.
    try {
        QCOMPARE(wmf->render(QSize(64, 64)).size(), QSize(64, 64));
    } catch (const RuntimeError &e) {
        QCOMPARE(e.number(), Err::PictureTooComplex);
    }
}

QTEST_MAIN(TestWmf)
#include "tst_wmf.moc"

// The DIB decoder on bitmaps built here byte by byte: each pixel format and
// compression, both row orders, colour-table rules, and the refusals that
// keep a hostile header from costing memory or reading past its bytes. The
// same bitmap in a file, an icon entry and a metafile record must come out
// alike and meet the same size bounds.
#include <QBuffer>
#include <QImage>
#include <QPolygon>
#include <QTest>
#include <QtEndian>

#include "platform/codecs/codecs.h"
#include "platform/codecs/dib.h"
#include "platform/codecs/extent.h"
#include "platform/runtimeerror.h"
#include "support/filebytes.h"

using namespace vm;
using vmtest::putBmpHeaderStart;
using vmtest::putBmpInfoHeader;
using vmtest::putLE16;
using vmtest::putLE32;

namespace {

QByteArray infoHeader(
    qint32 w, qint32 h, int bpp, quint32 compression = 0, quint32 used = 0, quint32 size = 40)
{
    QByteArray a;
    putBmpInfoHeader(a, w, h, quint16(bpp), compression, 0, 2835, 2835, used);
    qToLittleEndian<quint32>(size, a.data()); // a larger header: zeros follow
    a.append(QByteArray(int(size) - 40, '\0'));
    return a;
}

QByteArray quads(std::initializer_list<QRgb> colors)
{
    QByteArray a;
    for (QRgb c : colors) {
        a.append(char(qBlue(c)));
        a.append(char(qGreen(c)));
        a.append(char(qRed(c)));
        a.append('\0');
    }
    return a;
}

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray a;
    for (int v : values)
        a.append(char(v));
    return a;
}

// A bitmap file around `info` and `bits`.
QByteArray bmpFile(const QByteArray &info, const QByteArray &bits)
{
    return vmtest::bmpFileHeader(quint32(14 + info.size() + bits.size()), quint32(14 + info.size())) + info
        + bits;
}

// An icon of one entry: the same bitmap at twice the height (colour rows
// then mask rows), with an all-opaque mask.
QByteArray icoFile(const QByteArray &info, const QByteArray &bits, int width, int height)
{
    QByteArray entry = info;
    qToLittleEndian<qint32>(2 * height, entry.data() + 8);
    entry += bits + QByteArray(qsizetype((width + 31) / 32 * 4) * height, '\0');
    QByteArray a;
    putLE16(a, 0);
    putLE16(a, 1);
    putLE16(a, 1);
    a += bytes({ width & 0xff, height & 0xff, 0, 0 });
    putLE16(a, 1);
    putLE16(a, 0);
    putLE32(a, quint32(entry.size()));
    putLE32(a, 22);
    return a + entry;
}

QRgb pixelOf(const QImage &image, int x, int y)
{
    return image.convertToFormat(QImage::Format_ARGB32).pixel(x, y);
}

constexpr QRgb red = 0xffff0000, green = 0xff00ff00, blue = 0xff0000ff, white = 0xffffffff,
               black = 0xff000000, clear = 0;

} // namespace

class TestDib : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void decodesPixelFormats_data();
    void decodesPixelFormats();
    void refusesHostileHeaders_data();
    void refusesHostileHeaders();
    void packedDibFindsBitsAfterMasksAndTable();
    void paletteIndicesUseLogicalPalette();
    void packedBitmapWithoutColourTableTakesIndexColours();
    void embeddedPngIsDecoded();
    void samePixelsOnEveryPath_data();
    void samePixelsOnEveryPath();
    void oneBoundOnEveryPath_data();
    void oneBoundOnEveryPath();
};

void TestDib::decodesPixelFormats_data()
{
    QTest::addColumn<QByteArray>("info");
    QTest::addColumn<QByteArray>("bits");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QPolygon>("points");
    QTest::addColumn<QList<uint>>("colors");

    // 1 bpp, 2x2, bottom-up: the first stored row is the bottom one.
    QTest::newRow("1bpp-bottom-up") << infoHeader(2, 2, 1) + quads({ red, blue })
                                    << bytes({ 0x80, 0, 0, 0, 0x40, 0, 0, 0 }) << QSize(2, 2)
                                    << QPolygon({ QPoint(0, 1), QPoint(1, 1), QPoint(0, 0), QPoint(1, 0) })
                                    << QList<uint> { blue, red, red, blue };
    QTest::newRow("4bpp-top-down") << infoHeader(3, -1, 4, 0, 3) + quads({ red, green, blue })
                                   << bytes({ 0x01, 0x20, 0, 0 }) << QSize(3, 1)
                                   << QPolygon({ QPoint(0, 0), QPoint(1, 0), QPoint(2, 0) })
                                   << QList<uint> { red, green, blue };
    // biClrUsed of 2 leaves index 2 outside the table: black, not garbage.
    QTest::newRow("8bpp-short-table")
        << infoHeader(3, 1, 8, 0, 2) + quads({ white, green }) << bytes({ 1, 0, 2, 0 }) << QSize(3, 1)
        << QPolygon({ QPoint(0, 0), QPoint(1, 0), QPoint(2, 0) }) << QList<uint> { green, white, black };
    QTest::newRow("16bpp-555") << infoHeader(2, 1, 16) << bytes({ 0x00, 0x7c, 0x1f, 0x00 }) << QSize(2, 1)
                               << QPolygon({ QPoint(0, 0), QPoint(1, 0) }) << QList<uint> { red, blue };
    {
        QByteArray info = infoHeader(2, 1, 16, DibBitfields);
        putLE32(info, 0xf800);
        putLE32(info, 0x07e0);
        putLE32(info, 0x001f);
        QTest::newRow("16bpp-565-masks-after-header")
            << info << bytes({ 0xe0, 0x07, 0x1f, 0x00 }) << QSize(2, 1)
            << QPolygon({ QPoint(0, 0), QPoint(1, 0) }) << QList<uint> { green, blue };
    }
    QTest::newRow("24bpp-padded-rows")
        << infoHeader(1, 2, 24) << bytes({ 0, 0, 255, 0, 255, 0, 0, 0 }) << QSize(1, 2)
        << QPolygon({ QPoint(0, 1), QPoint(0, 0) }) << QList<uint> { red, blue };
    QTest::newRow("32bpp-rgb-ignores-fourth-byte")
        << infoHeader(1, 1, 32) << bytes({ 0, 255, 0, 0 }) << QSize(1, 1) << QPolygon({ QPoint(0, 0) })
        << QList<uint> { green };
    {
        QByteArray v5 = infoHeader(2, 1, 32, DibBitfields, 0, 124);
        qToLittleEndian<quint32>(0x00ff0000, v5.data() + 40);
        qToLittleEndian<quint32>(0x0000ff00, v5.data() + 44);
        qToLittleEndian<quint32>(0x000000ff, v5.data() + 48);
        qToLittleEndian<quint32>(0xff000000, v5.data() + 52);
        QTest::newRow("32bpp-v5-alpha-mask")
            << v5 << bytes({ 255, 0, 0, 128, 0, 0, 255, 255 }) << QSize(2, 1)
            << QPolygon({ QPoint(0, 0), QPoint(1, 0) }) << QList<uint> { 0x800000ffu, red };
    }
    {
        QByteArray core;
        putBmpHeaderStart(core, 12, 2, 1, 8);
        core += bytes({ 0, 0, 255, 255, 0, 0 }); // RGBTRIPLEs: red, blue
        core += QByteArray(254 * 3, '\0');
        QTest::newRow("core-header-triples")
            << core << bytes({ 1, 0, 0, 0 }) << QSize(2, 1) << QPolygon({ QPoint(0, 0), QPoint(1, 0) })
            << QList<uint> { blue, red };
    }
    // RLE8: a run, a delta that skips a pixel and a row, an absolute run.
    QTest::newRow("rle8-delta-skips-are-transparent")
        << infoHeader(4, 3, 8, DibRle8, 2) + quads({ red, blue })
        << bytes({ 2, 1, 0, 2, 1, 1, 0, 3, 0, 1, 0, 0, 0, 1 }) << QSize(4, 3)
        << QPolygon({ QPoint(0, 2), QPoint(1, 2), QPoint(2, 2), QPoint(3, 1), QPoint(0, 0), QPoint(3, 0) })
        << QList<uint> { blue, blue, clear, red, clear, clear };
    QTest::newRow("rle4-run-and-absolute")
        << infoHeader(5, 1, 4, DibRle4, 2) + quads({ red, blue })
        << bytes({ 2, 0x10, 0, 3, 0x01, 0x10, 0, 1 }) << QSize(5, 1)
        << QPolygon({ QPoint(0, 0), QPoint(1, 0), QPoint(2, 0), QPoint(3, 0), QPoint(4, 0) })
        << QList<uint> { blue, red, red, blue, blue };
    // An absolute run that claims more bytes than remain stops at the end.
    QTest::newRow("rle8-absolute-past-end")
        << infoHeader(4, 1, 8, DibRle8, 2) + quads({ red, blue }) << bytes({ 0, 200, 1 }) << QSize(4, 1)
        << QPolygon({ QPoint(0, 0), QPoint(1, 0) }) << QList<uint> { blue, clear };
    // Only the bottom row is present; the missing top row reads as index 0.
    QTest::newRow("truncated-rows-read-as-zero")
        << infoHeader(1, 2, 8, 0, 2) + quads({ green, red }) << bytes({ 1, 0, 0, 0 }) << QSize(1, 2)
        << QPolygon({ QPoint(0, 1), QPoint(0, 0) }) << QList<uint> { red, green };
}

void TestDib::decodesPixelFormats()
{
    QFETCH(QByteArray, info);
    QFETCH(QByteArray, bits);
    QFETCH(QSize, size);
    QFETCH(QPolygon, points);
    QFETCH(QList<uint>, colors);
    const QImage image = decodeDib(info, bits);
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), size);
    QVERIFY(image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32);
    for (int i = 0; i < points.size(); ++i) {
        const QRgb got = image.pixel(points[i]);
        const QRgb want = colors[i];
        if (qAlpha(want) == 0)
            QCOMPARE(qAlpha(got), 0);
        else
            QCOMPARE(QString::number(got, 16), QString::number(want, 16));
    }
}

void TestDib::refusesHostileHeaders_data()
{
    QTest::addColumn<QByteArray>("info");
    QTest::addColumn<QByteArray>("bits");
    const QByteArray row(64, '\0');
    QTest::newRow("zero-width") << infoHeader(0, 1, 24) << row;
    QTest::newRow("zero-height") << infoHeader(1, 0, 24) << row;
    QTest::newRow("negative-width") << infoHeader(-5, 1, 24) << row;
    QTest::newRow("height-int-min") << infoHeader(1, qint32(0x80000000), 24) << row;
    QTest::newRow("side-over-limit") << infoHeader(kMaxPictureSide + 1, 1, 24) << row;
    QTest::newRow("area-over-limit") << infoHeader(16000, 16000, 1) << row;
    QTest::newRow("bit-count-7") << infoHeader(1, 1, 7) << row;
    QTest::newRow("unknown-compression") << infoHeader(1, 1, 8, 9) << row;
    QTest::newRow("rle8-with-24bpp") << infoHeader(1, 1, 24, DibRle8) << row;
    QTest::newRow("rle-top-down") << infoHeader(1, -1, 8, DibRle8) << row;
    QTest::newRow("bitfields-masks-missing") << infoHeader(1, 1, 16, DibBitfields) << row;
    QTest::newRow("header-size-past-info") << infoHeader(1, 1, 24).left(40).replace(0, 1, "\x7c") << row;
    QTest::newRow("header-size-tiny") << infoHeader(1, 1, 24).replace(0, 1, "\x08") << row;
    QTest::newRow("less-than-one-row") << infoHeader(40, 1, 24) << QByteArray(100, '\0');
    QTest::newRow("no-bits") << infoHeader(1, 1, 24) << QByteArray();
    QTest::newRow("os2-huffman") << infoHeader(8, 1, 1, 3, 0, 64) << row;
}

void TestDib::refusesHostileHeaders()
{
    QFETCH(QByteArray, info);
    QFETCH(QByteArray, bits);
    QVERIFY(decodeDib(info, bits).isNull());
}

void TestDib::packedDibFindsBitsAfterMasksAndTable()
{
    // 8 bpp with a 2-entry table: bits start at 40 + 8.
    QByteArray packed = infoHeader(2, 1, 8, 0, 2) + quads({ red, green }) + bytes({ 1, 0, 0, 0 });
    QImage image = decodePackedDib(packed);
    QCOMPARE(image.pixel(0, 0), green);
    QCOMPARE(image.pixel(1, 0), red);

    // 32 bpp bit fields with the masks after a 40-byte header.
    packed = infoHeader(1, 1, 32, DibBitfields);
    putLE32(packed, 0x000000ff);
    putLE32(packed, 0x0000ff00);
    putLE32(packed, 0x00ff0000);
    packed += bytes({ 0, 0, 255, 0 });
    image = decodePackedDib(packed);
    QCOMPARE(image.pixel(0, 0), blue);

    // A table that runs past the end leaves no room for bits.
    QVERIFY(decodePackedDib(infoHeader(2, 1, 8) + quads({ red })).isNull());
}

void TestDib::paletteIndicesUseLogicalPalette()
{
    const QList<QRgb> logical { white, red, blue };
    DibOptions options;
    options.paletteIndices = &logical;
    QByteArray info = infoHeader(3, 1, 8, 0, 3);
    putLE16(info, 2);
    putLE16(info, 1);
    putLE16(info, 99); // past the logical palette: black
    const QImage image = decodeDib(info, bytes({ 0, 1, 2, 0 }), options);
    QCOMPARE(image.pixel(0, 0), blue);
    QCOMPARE(image.pixel(1, 0), red);
    QCOMPARE(image.pixel(2, 0), black);
}

// DIB_PAL_INDICES: no colour table follows the header, so the bits come
// straight after it and each pixel value picks an entry itself.
void TestDib::packedBitmapWithoutColourTableTakesIndexColours()
{
    const QList<QRgb> logical { white, red, blue };
    DibOptions options;
    options.indexColours = &logical;
    const QImage image = decodePackedDib(infoHeader(3, 1, 8) + bytes({ 2, 1, 7, 0 }), options);
    QCOMPARE(image.size(), QSize(3, 1));
    QCOMPARE(image.pixel(0, 0), blue);
    QCOMPARE(image.pixel(1, 0), red);
    QCOMPARE(image.pixel(2, 0), black); // past the palette
}

void TestDib::embeddedPngIsDecoded()
{
    QImage source(3, 2, QImage::Format_RGB32);
    source.fill(green);
    source.setPixel(2, 1, red);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QVERIFY(source.save(&buffer, "PNG"));
    const QImage image = decodeDib(infoHeader(3, 2, 0, DibPng), png);
    QCOMPARE(image.size(), QSize(3, 2));
    QCOMPARE(image.pixel(2, 1), red);
    QCOMPARE(image.pixel(0, 0), green);
    // Garbage behind a PNG header is refused, not half-decoded.
    QVERIFY(decodeDib(infoHeader(3, 2, 0, DibPng), QByteArray("\x89PNG\r\n\x1a\nxxxx", 12)).isNull());
}

void TestDib::samePixelsOnEveryPath_data()
{
    QTest::addColumn<QByteArray>("info");
    QTest::addColumn<QByteArray>("bits");
    QTest::addColumn<QSize>("size");
    QTest::newRow("1bpp") << infoHeader(3, 2, 1) + quads({ red, blue })
                          << bytes({ 0xa0, 0, 0, 0, 0x40, 0, 0, 0 }) << QSize(3, 2);
    QTest::newRow("4bpp-short-table") << infoHeader(2, 2, 4, 0, 2) + quads({ green, white })
                                      << bytes({ 0x10, 0, 0, 0, 0x05, 0, 0, 0 }) << QSize(2, 2);
    QTest::newRow("8bpp") << infoHeader(2, 1, 8, 0, 3) + quads({ red, green, blue }) << bytes({ 2, 1, 0, 0 })
                          << QSize(2, 1);
    QTest::newRow("16bpp-555") << infoHeader(2, 1, 16) << bytes({ 0x10, 0x42, 0xff, 0x7f }) << QSize(2, 1);
    QTest::newRow("24bpp") << infoHeader(2, 2, 24)
                           << bytes({ 1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0 }) << QSize(2, 2);
    QTest::newRow("32bpp-alpha") << infoHeader(2, 1, 32) << bytes({ 0, 0, 255, 128, 255, 0, 0, 255 })
                                 << QSize(2, 1);
}

void TestDib::samePixelsOnEveryPath()
{
    QFETCH(QByteArray, info);
    QFETCH(QByteArray, bits);
    QFETCH(QSize, size);
    const QImage file = decodeBmp(bmpFile(info, bits)).image();
    const QImage icon = decodeIco(icoFile(info, bits, size.width(), size.height())).image();
    DibOptions options;
    options.alpha32 = qFromLittleEndian<quint16>(info.constData() + 14) == 32;
    const QImage record = decodeDib(info, bits, options);
    QCOMPARE(file.size(), size);
    QCOMPARE(icon.size(), size);
    QCOMPARE(record.size(), size);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const QRgb fromRecord = pixelOf(record, x, y);
            // A bitmap file has no alpha channel in a plain 32-bit bitmap.
            const QRgb fromFile = options.alpha32 ? fromRecord | 0xff000000u : fromRecord;
            QCOMPARE(QString::number(pixelOf(file, x, y), 16), QString::number(fromFile, 16));
            QCOMPARE(QString::number(pixelOf(icon, x, y), 16), QString::number(fromRecord, 16));
        }
    }
}

void TestDib::oneBoundOnEveryPath_data()
{
    QTest::addColumn<qint32>("width");
    QTest::addColumn<qint32>("height");
    QTest::newRow("side") << qint32(kMaxPictureSide + 1) << 1;
    // 64-bit arithmetic: 16 bits a side would wrap.
    QTest::newRow("pixels") << qint32(kMaxPicturePixels / 10000 + 1) << 10000;
}

void TestDib::oneBoundOnEveryPath()
{
    QFETCH(qint32, width);
    QFETCH(qint32, height);
    const QByteArray info = infoHeader(width, height, 1) + quads({ red, blue });
    const QByteArray bits(64 * 1024, '\0'); // enough bytes not to be refused for too few
    DibError error = DibError::None;
    QVERIFY(decodeDib(info.constData(), info.size(), bits.constData(), bits.size(), {}, &error).isNull());
    QCOMPARE(int(error), int(DibError::TooLarge));
    const auto refusal = [](auto decode) {
        try {
            decode();
        } catch (const RuntimeError &e) {
            return int(e.number());
        }
        return 0;
    };
    QCOMPARE(refusal([&] { decodeBmp(bmpFile(info, bits)); }), int(Err::PictureTooLarge));
    // An icon whose only entry is refused is a damaged icon.
    QCOMPARE(refusal([&] { decodeIco(icoFile(info, bits, width, height)); }), int(Err::DamagedPicture));
}

QTEST_GUILESS_MAIN(TestDib)
#include "tst_dib.moc"

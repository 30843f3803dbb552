// The EMF+ image and text families: bitmaps in every raw pixel format,
// compressed and metafile images, source rectangles and units,
// parallelograms, texture brushes, fonts and string formats, DrawString and
// DrawDriverString, hostile images; and the EMF carried inside a WMF.
#include <QBuffer>
#include <QFile>
#include <QTest>

#include "platform/metafile/emfplustext.h"
#include "platform/metafile/metafile.h"
#include "platform/metafile/wmfembedded.h"
#include "platform/metafile/wmfformat.h"
#include "platform/runtimeerror.h"
#include "support/testsupport.h"
#include "support/emfplusbuilder.h"

using namespace vmtest;
using vm::EmfPlusObjectType;

namespace {

const QColor kRed(255, 0, 0), kBlue(0, 0, 255), kGreen(0, 160, 0), kWhite(255, 255, 255), kBlack(0, 0, 0);

QImage render(const QByteArray &bytes)
{
    return vm::openEmf(bytes)->render(QSize(100, 100));
}

bool near(const QImage &image, QPoint p, QColor want, int tolerance = 60)
{
    const QColor c = image.pixelColor(p);
    return std::abs(c.red() - want.red()) <= tolerance && std::abs(c.green() - want.green()) <= tolerance
        && std::abs(c.blue() - want.blue()) <= tolerance;
}

QString describe(const QImage &image, QPoint p)
{
    return QStringLiteral("(%1,%2) is %3").arg(p.x()).arg(p.y()).arg(image.pixelColor(p).name());
}

// A picture left half red, right half blue, `width` x `height`.
QImage halves(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(kBlue);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width / 2; ++x)
            image.setPixelColor(x, y, kRed);
    }
    return image;
}

// DrawImage of image 1 from `src` (in `unit`) into `dest`.
QByteArray drawImage(QRectF src, QRectF dest, quint32 unit = vm::UnitPixel, quint32 attributes = 63)
{
    return PlusData().u32(attributes).u32(unit).rect(src).rect(dest);
}

QByteArray imageFile(const QByteArray &image, QRectF src, QRectF dest = QRectF(10, 10, 80, 80))
{
    EmfPlusBuilder b;
    b.object(1, EmfPlusObjectType::Image, image);
    b.plus(vm::EmfPlusDrawImage, 1, drawImage(src, dest));
    return b.finish();
}

QByteArray font(float em, const QString &family, quint32 style = 0, quint32 unit = vm::UnitPixel)
{
    PlusData d;
    d.u32(kPlusVersion).f(em).u32(unit).u32(style).u32(0).u32(quint32(family.size()));
    for (QChar c : family)
        d.u16(c.unicode());
    return d.pad();
}

QByteArray stringFormat(
    quint32 flags, quint32 align, quint32 lineAlign = 0, quint32 hotkey = 0, quint32 trimming = 0)
{
    PlusData d;
    d.u32(kPlusVersion).u32(flags).u32(0).u32(align).u32(lineAlign).u32(0).u32(0).f(0).u32(hotkey);
    return d.f(0).f(0).f(1).u32(trimming).u32(0).u32(0);
}

QByteArray drawString(const QString &text, QRectF layout, QColor colour, quint32 format = 63)
{
    PlusData d;
    d.u32(colour.rgba()).u32(format).u32(quint32(text.size())).rect(layout);
    for (QChar c : text)
        d.u16(c.unicode());
    return d.pad();
}

// The box holding every pixel darker than `threshold`; empty when none.
QRect ink(const QImage &image, int threshold = 160)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qGray(image.pixel(x, y)) < threshold)
                box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

QByteArray textFile(const QString &text, QRectF layout, const QByteArray &format, float em = 12,
    const QString &family = QStringLiteral("Arial"))
{
    EmfPlusBuilder b;
    b.object(2, EmfPlusObjectType::Font, font(em, family));
    if (!format.isEmpty())
        b.object(3, EmfPlusObjectType::StringFormat, format);
    b.plus(vm::EmfPlusDrawString, vm::FlagColor | 2,
        drawString(text, layout, kBlack, format.isEmpty() ? 63 : 3));
    return b.finish();
}

// An EMF+ file `levels` deep: the innermost fills the page green, each
// other one draws the one inside it as a metafile image.
QByteArray nested(int levels)
{
    EmfPlusBuilder b;
    if (levels == 0) {
        b.plus(vm::EmfPlusFillRects, vm::FlagColor,
            PlusData().u32(kGreen.rgba()).u32(1).rect(QRectF(0, 0, 100, 100)));
    } else {
        b.object(1, EmfPlusObjectType::Image, metafileImage(3, nested(levels - 1)));
        b.plus(vm::EmfPlusDrawImage, 1, drawImage(QRectF(0, 0, 100, 100), QRectF(0, 0, 100, 100)));
    }
    return b.finish();
}

// A placeable WMF, 200 x 100 logical units, its left half filled blue;
// `padded` puts GDI+'s two zero bytes after the placeable header, and
// `words` is the size its header gives (true when 30).
QByteArray placeableWmf(bool padded, quint32 words = 30)
{
    PlusData d;
    d.u32(0x9AC6CDD7).u16(0).u16(0).u16(0).u16(200).u16(100).u16(96).u32(0);
    quint16 sum = 0;
    const QByteArray head = d.data();
    for (int i = 0; i < 20; i += 2)
        sum ^= qFromLittleEndian<quint16>(head.constData() + i);
    d.u16(sum);
    if (padded)
        d.u16(0);
    d.u16(1).u16(9).u16(0x300).u32(words).u16(1).u32(7).u16(0);
    d.u32(7).u16(0x02FC).u16(0).u32(0x00FF0000).u16(0); // CreateBrushIndirect, blue
    d.u32(4).u16(0x012D).u16(0); // SelectObject
    d.u32(7).u16(0x041B).u16(100).u16(100).u16(0).u16(0); // Rectangle (bottom, right, top, left)
    d.u32(3).u16(0); // EOF
    return d;
}

} // namespace

class TestEmfPlusMedia : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void rawPixelFormats_data()
    {
        // A 4 x 2 bitmap, left half `left`, right half `right`, drawn over
        // the page: pixel data built per format.
        QTest::addColumn<QByteArray>("image");
        QTest::addColumn<QColor>("left");
        QTest::addColumn<QColor>("right");
        const QList<QRgb> palette = { qRgb(255, 0, 0), qRgb(0, 0, 255) };
        const auto rows
            = [](int stride, const QByteArray &row) { return row.leftJustified(stride, '\0').repeated(2); };
        QTest::newRow("1 bpp indexed")
            << rawBitmap(4, 2, 0x30101, 4, rows(4, QByteArray(1, char(0x30))), palette) << kRed << kBlue;
        QTest::newRow("4 bpp indexed")
            << rawBitmap(4, 2, 0x30402, 4, rows(4, QByteArray("\x00\x11", 2)), palette) << kRed << kBlue;
        QTest::newRow("8 bpp indexed")
            << rawBitmap(4, 2, 0x30803, 4, rows(4, QByteArray("\x00\x00\x01\x01", 4)), palette) << kRed
            << kBlue;
        QTest::newRow("8 bpp past palette: black")
            << rawBitmap(4, 2, 0x30803, 4, rows(4, QByteArray("\x00\x00\x09\x09", 4)), palette) << kRed
            << kBlack;
        QTest::newRow("16 bpp grey") << rawBitmap(
            4, 2, 0x101004, 8, rows(8, QByteArray("\0\0\0\0\xff\xff\xff\xff", 8)))
                                     << kBlack << kWhite;
        QTest::newRow("16 bpp 555") << rawBitmap(
            4, 2, 0x21005, 8, rows(8, QByteArray("\x00\x7c\x00\x7c\x1f\x00\x1f\x00", 8)))
                                    << kRed << kBlue;
        QTest::newRow("16 bpp 565") << rawBitmap(
            4, 2, 0x21006, 8, rows(8, QByteArray("\x00\xf8\x00\xf8\x1f\x00\x1f\x00", 8)))
                                    << kRed << kBlue;
        QTest::newRow("16 bpp 1555, clear right")
            << rawBitmap(4, 2, 0x61007, 8, rows(8, QByteArray("\x00\xfc\x00\xfc\x1f\x00\x1f\x00", 8))) << kRed
            << kWhite;
        QTest::newRow("24 bpp, padded rows")
            << rawBitmap(4, 2, 0x21808, 12, rows(12, QByteArray("\0\0\xff\0\0\xff\xff\0\0\xff\0\0", 12)))
            << kRed << kBlue;
        QTest::newRow("32 bpp RGB") << rawBitmap(
            4, 2, 0x22009, 16, rows(16, QByteArray("\0\0\xff\0\0\0\xff\0\xff\0\0\0\xff\0\0\0", 16)))
                                    << kRed << kBlue;
        QTest::newRow("32 bpp ARGB, half clear") << rawBitmap(
            4, 2, 0x26200A, 16, rows(16, QByteArray("\0\0\xff\xff\0\0\xff\xff\xff\0\0\x80\xff\0\0\x80", 16)))
                                                 << kRed << QColor(127, 127, 255);
        QTest::newRow("32 bpp PARGB, half clear") << rawBitmap(
            4, 2, 0xE200B, 16, rows(16, QByteArray("\0\0\xff\xff\0\0\xff\xff\x80\0\0\x80\x80\0\0\x80", 16)))
                                                  << kRed << QColor(127, 127, 255);
        const QByteArray red48("\0\0\0\0\0\x20", 6), blue48("\0\x20\0\0\0\0", 6);
        QTest::newRow("48 bpp") << rawBitmap(4, 2, 0x10300C, 24, rows(24, red48 + red48 + blue48 + blue48))
                                << kRed << kBlue;
        const QByteArray red64("\0\0\0\0\0\x20\0\x20", 8), blue64("\0\x20\0\0\0\0\0\x20", 8);
        QTest::newRow("64 bpp ARGB") << rawBitmap(
            4, 2, 0x34400D, 32, rows(32, red64 + red64 + blue64 + blue64))
                                     << kRed << kBlue;
        QTest::newRow("PNG") << compressedBitmap(encoded(halves(40, 20), "png"), 40, 20) << kRed << kBlue;
        QTest::newRow("JPEG") << compressedBitmap(encoded(halves(40, 20), "jpeg"), 40, 20) << kRed << kBlue;
        QTest::newRow("BMP") << compressedBitmap(encoded(halves(40, 20), "bmp"), 40, 20) << kRed << kBlue;
    }
    void rawPixelFormats()
    {
        QFETCH(QByteArray, image);
        QFETCH(QColor, left);
        QFETCH(QColor, right);
        // The source rectangle is the whole bitmap, whatever its size.
        const QByteArray sizes = image.mid(8, 8);
        const int w = qFromLittleEndian<qint32>(sizes.constData()),
                  h = qFromLittleEndian<qint32>(sizes.constData() + 4);
        const QImage out = render(imageFile(image, QRectF(0, 0, w, h)));
        QVERIFY2(near(out, { 25, 50 }, left), qPrintable(describe(out, { 25, 50 })));
        QVERIFY2(near(out, { 75, 50 }, right), qPrintable(describe(out, { 75, 50 })));
        QVERIFY2(near(out, { 5, 5 }, kWhite, 10), qPrintable(describe(out, { 5, 5 })));
    }

    void sourceRectanglesAndParallelograms_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QColor>("atLeft"); // (25,30)
        QTest::addColumn<QColor>("atRight"); // (75,30)
        QTest::addColumn<QColor>("below"); // (50,75)
        const QByteArray png = compressedBitmap(encoded(halves(40, 20), "png"), 40, 20);
        QTest::newRow("right half in pixels")
            << imageFile(png, QRectF(20, 0, 20, 20)) << kBlue << kBlue << kBlue;
        // 20 pixels at 96 dpi are 15 points.
        EmfPlusBuilder points;
        points.object(1, EmfPlusObjectType::Image, png);
        points.plus(
            vm::EmfPlusDrawImage, 1, drawImage(QRectF(0, 0, 15, 15), QRectF(10, 10, 80, 80), vm::UnitPoint));
        QTest::newRow("left half in points") << points.finish() << kRed << kRed << kRed;
        const auto parallelogram = [&](QPointF p0, QPointF p1, QPointF p2) {
            EmfPlusBuilder b;
            b.object(1, EmfPlusObjectType::Image, png);
            b.plus(vm::EmfPlusDrawImagePoints, 1,
                PlusData()
                    .u32(63)
                    .u32(vm::UnitPixel)
                    .rect(QRectF(0, 0, 40, 20))
                    .u32(3)
                    .points({ p0, p1, p2 }));
            return b.finish();
        };
        QTest::newRow("top half of the page")
            << parallelogram({ 10, 10 }, { 90, 10 }, { 10, 50 }) << kRed << kBlue << kWhite;
        QTest::newRow("mirrored") << parallelogram({ 90, 10 }, { 10, 10 }, { 90, 50 }) << kBlue << kRed
                                  << kWhite;
        QTest::newRow("turned a quarter")
            << parallelogram({ 90, 10 }, { 90, 90 }, { 10, 10 }) << kRed << kRed << kBlue;
        EmfPlusBuilder three;
        three.object(1, EmfPlusObjectType::Image, png);
        three.plus(vm::EmfPlusDrawImagePoints, 1,
            PlusData()
                .u32(63)
                .u32(2)
                .rect(QRectF(0, 0, 40, 20))
                .u32(4)
                .points({ { 0, 0 }, { 1, 0 }, { 0, 1 }, { 1, 1 } }));
        QTest::newRow("four points: play ends") << three.finish() << kWhite << kWhite << kWhite;
    }
    void sourceRectanglesAndParallelograms()
    {
        QFETCH(QByteArray, file);
        QFETCH(QColor, atLeft);
        QFETCH(QColor, atRight);
        QFETCH(QColor, below);
        const QImage out = render(file);
        QVERIFY2(near(out, { 25, 30 }, atLeft), qPrintable(describe(out, { 25, 30 })));
        QVERIFY2(near(out, { 75, 30 }, atRight), qPrintable(describe(out, { 75, 30 })));
        QVERIFY2(near(out, { 50, 75 }, below), qPrintable(describe(out, { 50, 75 })));
    }

    void metafileImagesPlayTransparentlyWithinTheNestingBound_data()
    {
        QTest::addColumn<int>("levels");
        QTest::addColumn<QColor>("centre");
        QTest::newRow("one image deep") << 1 << kGreen;
        QTest::newRow("four deep: the bound") << 4 << kGreen;
        QTest::newRow("five deep: cut off") << 5 << kWhite;
        QTest::newRow("twelve deep: cut off") << 12 << kWhite;
    }
    void metafileImagesPlayTransparentlyWithinTheNestingBound()
    {
        QFETCH(int, levels);
        QFETCH(QColor, centre);
        const QImage out = render(nested(levels));
        QVERIFY2(near(out, { 50, 50 }, centre, 40), qPrintable(describe(out, { 50, 50 })));
    }

    void nestedEmfLeavesWhatIsUnderItVisible()
    {
        // A red page, then an EMF image that fills only its own left half blue.
        EmfPlusBuilder inner;
        inner.plus(vm::EmfPlusFillRects, vm::FlagColor,
            PlusData().u32(kBlue.rgba()).u32(1).rect(QRectF(0, 0, 50, 100)));
        EmfPlusBuilder outer;
        outer.plus(vm::EmfPlusFillRects, vm::FlagColor,
            PlusData().u32(kRed.rgba()).u32(1).rect(QRectF(0, 0, 100, 100)));
        outer.object(1, EmfPlusObjectType::Image, metafileImage(3, inner.finish()));
        outer.plus(vm::EmfPlusDrawImage, 1, drawImage(QRectF(0, 0, 100, 100), QRectF(0, 0, 100, 100)));
        const QImage out = render(outer.finish());
        QVERIFY2(near(out, { 25, 50 }, kBlue), qPrintable(describe(out, { 25, 50 })));
        QVERIFY2(near(out, { 75, 50 }, kRed), qPrintable(describe(out, { 75, 50 })));
    }

    void placeableWmfImagesInTheirOwnUnits_data()
    {
        QTest::addColumn<bool>("padded");
        QTest::addColumn<quint32>("words");
        QTest::addColumn<bool>("uncounted");
        QTest::addColumn<QColor>("left");
        QTest::newRow("22-byte placeable header") << false << 30u << false << kBlue;
        QTest::newRow("GDI+'s 24-byte placeable header") << true << 30u << false << kBlue;
        // GDI+ gives the size without its placeable header: the WMF's own
        // size brings back the last records (here the rectangle).
        QTest::newRow("size without the placeable header") << true << 30u << true << kBlue;
        QTest::newRow("no placeable header in the size, unpadded") << false << 30u << true << kBlue;
        // A WMF size beyond the object is not followed: the cut-off
        // rectangle stays unplayed.
        QTest::newRow("WMF size past the object") << true << 1000u << true << kRed;
    }
    void placeableWmfImagesInTheirOwnUnits()
    {
        // The source rectangle is the WMF's bounding box in its logical
        // units; what the WMF leaves unpainted shows the red page.
        QFETCH(bool, padded);
        QFETCH(quint32, words);
        QFETCH(bool, uncounted);
        QFETCH(QColor, left);
        const QByteArray wmf = placeableWmf(padded, words);
        EmfPlusBuilder b;
        b.plus(vm::EmfPlusFillRects, vm::FlagColor,
            PlusData().u32(kRed.rgba()).u32(1).rect(QRectF(0, 0, 100, 100)));
        b.object(1, EmfPlusObjectType::Image,
            metafileImage(2, wmf, uncounted ? wmf.size() - (padded ? 24 : 22) : -1));
        b.plus(vm::EmfPlusDrawImage, 1, drawImage(QRectF(0, 0, 200, 100), QRectF(0, 0, 100, 100)));
        const QImage out = render(b.finish());
        QVERIFY2(near(out, { 25, 50 }, left), qPrintable(describe(out, { 25, 50 })));
        QVERIFY2(near(out, { 75, 50 }, kRed), qPrintable(describe(out, { 75, 50 })));
    }

    void textureBrushFillsFromItsImage()
    {
        const QByteArray png = encoded(halves(40, 20), "png");
        PlusData brush;
        brush.u32(kPlusVersion).u32(2).u32(0).u32(0).bytes(compressedBitmap(png, 40, 20));
        EmfPlusBuilder b;
        b.object(4, EmfPlusObjectType::Brush, brush);
        b.plus(vm::EmfPlusFillRects, 0, PlusData().u32(4).u32(1).rect(QRectF(0, 0, 80, 20)));
        const QImage out = render(b.finish());
        // Tiled from the origin: red, blue, red, blue every 20 pixels.
        for (int x : { 10, 50 })
            QVERIFY2(near(out, { x, 10 }, kRed), qPrintable(describe(out, { x, 10 })));
        for (int x : { 30, 70 })
            QVERIFY2(near(out, { x, 10 }, kBlue), qPrintable(describe(out, { x, 10 })));
        QVERIFY2(near(out, { 50, 50 }, kWhite, 10), qPrintable(describe(out, { 50, 50 })));
    }

    void hostileImagesEndCleanly_data()
    {
        // Green is filled after the image: a bad image object is skipped
        // (green appears), a lying record ends play (green never comes).
        QTest::addColumn<QByteArray>("image");
        QTest::addColumn<QColor>("after");
        QTest::newRow("rows shorter than the stride claims")
            << rawBitmap(4, 2, 0x22009, 16, QByteArray(20, '\x7f')) << kGreen;
        QTest::newRow("stride under a row") << rawBitmap(4, 2, 0x22009, 8, QByteArray(32, '\x7f')) << kGreen;
        QTest::newRow("100000 x 100000 claimed")
            << rawBitmap(100000, 100000, 0x22009, 400000, QByteArray(64, '\x7f')) << kGreen;
        QTest::newRow("negative size") << rawBitmap(-4, 2, 0x22009, 16, QByteArray(32, '\x7f')) << kGreen;
        QTest::newRow("unknown pixel format")
            << rawBitmap(4, 2, 0x12345, 16, QByteArray(32, '\x7f')) << kGreen;
        QTest::newRow("palette longer than the data") << PlusData()
                                                             .u32(kPlusVersion)
                                                             .u32(1)
                                                             .u32(4)
                                                             .u32(2)
                                                             .u32(4)
                                                             .u32(0x30803)
                                                             .u32(0)
                                                             .u32(0)
                                                             .u32(200)
                                                             .data()
                                                      << kGreen;
        QByteArray png = encoded(halves(40, 20), "png");
        qToBigEndian<quint32>(60000, png.data() + 16); // IHDR claims 60000 x 20
        QTest::newRow("PNG lying about its width") << compressedBitmap(png, 40, 20) << kGreen;
        QTest::newRow("JPEG cut short")
            << compressedBitmap(encoded(halves(40, 20), "jpeg").left(200), 40, 20) << kGreen;
        QTest::newRow("metafile size past the object")
            << PlusData().u32(kPlusVersion).u32(2).u32(3).u32(100000).u32(0).data() << kGreen;
        QTest::newRow("metafile that is no EMF") << metafileImage(3, QByteArray(200, 'x')) << kGreen;
    }
    void hostileImagesEndCleanly()
    {
        QFETCH(QByteArray, image);
        QFETCH(QColor, after);
        EmfPlusBuilder b;
        b.object(1, EmfPlusObjectType::Image, image);
        b.plus(vm::EmfPlusDrawImage, 1, drawImage(QRectF(0, 0, 4, 2), QRectF(0, 0, 50, 50)));
        b.plus(vm::EmfPlusFillRects, vm::FlagColor,
            PlusData().u32(kGreen.rgba()).u32(1).rect(QRectF(60, 60, 30, 30)));
        const QImage out = render(b.finish());
        QVERIFY2(near(out, { 25, 25 }, kWhite, 10), qPrintable(describe(out, { 25, 25 })));
        QVERIFY2(near(out, { 75, 75 }, after, 30), qPrintable(describe(out, { 75, 75 })));
    }

    void drawStringAlignsInItsRectangle_data()
    {
        QTest::addColumn<quint32>("align");
        QTest::addColumn<quint32>("lineAlign");
        QTest::addColumn<QRect>("inside"); // where the ink must lie
        QTest::newRow("near, near") << 0u << 0u << QRect(0, 0, 50, 40);
        QTest::newRow("centre, centre") << 1u << 1u << QRect(25, 25, 50, 50);
        QTest::newRow("far, far") << 2u << 2u << QRect(50, 60, 50, 40);
    }
    void drawStringAlignsInItsRectangle()
    {
        QFETCH(quint32, align);
        QFETCH(quint32, lineAlign);
        QFETCH(QRect, inside);
        const QImage out
            = render(textFile(QStringLiteral("Ab"), QRectF(5, 5, 90, 90), stringFormat(0, align, lineAlign)));
        const QRect box = ink(out);
        QVERIFY2(!box.isEmpty(), "no text drawn");
        QVERIFY2(inside.contains(box),
            qPrintable(QStringLiteral("ink at %1,%2 %3x%4")
                           .arg(box.x())
                           .arg(box.y())
                           .arg(box.width())
                           .arg(box.height())));
    }

    void drawStringWrapsUnlessTold_data()
    {
        QTest::addColumn<quint32>("flags");
        QTest::addColumn<bool>("wraps");
        QTest::newRow("wrapping") << 0u << true;
        QTest::newRow("no wrap (and no clip)") << 0x1000u + 0x4000u << false;
    }
    void drawStringWrapsUnlessTold()
    {
        QFETCH(quint32, flags);
        QFETCH(bool, wraps);
        const QImage out = render(
            textFile(QStringLiteral("one two three four"), QRectF(5, 5, 40, 90), stringFormat(flags, 0)));
        const QRect box = ink(out);
        QVERIFY(!box.isEmpty());
        QCOMPARE(box.height() > 20, wraps);
        QCOMPARE(box.right() > 50, !wraps);
    }

    void textIsClippedToItsRectangle()
    {
        const QImage out = render(
            textFile(QStringLiteral("WWWWWWWW"), QRectF(10, 10, 30, 30), stringFormat(0x1000, 0), 16));
        const QRect box = ink(out);
        QVERIFY(!box.isEmpty());
        QVERIFY2(box.right() <= 40, qPrintable(QString::number(box.right())));
    }

    void verticalUnwrappedTextRunsDown()
    {
        const QImage out = render(
            textFile(QStringLiteral("WWWWW"), QRectF(40, 5, 30, 90), stringFormat(0x1002, 2, 2, 1), 12));
        const QRect box = ink(out);
        QVERIFY2(!box.isEmpty() && box.height() > 2 * box.width() && QRect(40, 5, 30, 90).contains(box),
            qPrintable(QStringLiteral("ink at %1,%2 %3x%4")
                           .arg(box.x())
                           .arg(box.y())
                           .arg(box.width())
                           .arg(box.height())));
    }

    void textStretchedFarIsDrawn_data()
    {
        // Small glyphs stretched to hundreds of pixels wide: drawn as
        // outlines (a glyph cache bitmap that wide cannot be rendered).
        QTest::addColumn<float>("sx");
        QTest::addColumn<float>("sy");
        QTest::addColumn<float>("x"); // the glyph's side bearing is stretched too
        QTest::newRow("8 x wider") << 4.0f << 0.5f << 0.5f;
        QTest::newRow("500 x wider") << 100.0f << 0.2f << -1.0f;
    }
    void textStretchedFarIsDrawn()
    {
        QFETCH(float, sx);
        QFETCH(float, sy);
        QFETCH(float, x);
        EmfPlusBuilder b;
        b.object(2, EmfPlusObjectType::Font, font(12, QStringLiteral("Arial")));
        b.object(3, EmfPlusObjectType::StringFormat, stringFormat(0, 0)); // no margins
        b.plus(vm::EmfPlusScaleWorldTransform, 0, PlusData().f(sx).f(sy));
        b.plus(vm::EmfPlusDrawString, vm::FlagColor | 2,
            drawString(QStringLiteral("I"), QRectF(x, 40 / sy, 0, 0), kBlack, 3));
        const QImage out = render(b.finish());
        const QRect box = ink(out);
        QVERIFY2(!box.isEmpty() && box.top() >= 38 && box.bottom() <= 60,
            qPrintable(QStringLiteral("ink at %1,%2 %3x%4")
                           .arg(box.x())
                           .arg(box.y())
                           .arg(box.width())
                           .arg(box.height())));
    }

    void japaneseTextRendersDistinctGlyphs()
    {
        // Tofu boxes would look alike; real glyphs differ from each other.
        const QString gothic = QString::fromUtf8("ＭＳ ゴシック");
        const QImage a = render(textFile(QString::fromUtf8("日"), QRectF(10, 10, 80, 80), {}, 40, gothic));
        const QImage b = render(textFile(QString::fromUtf8("本"), QRectF(10, 10, 80, 80), {}, 40, gothic));
        QVERIFY2(ink(a).width() > 15 && ink(b).width() > 15, "no Japanese glyph drawn");
        int differing = 0;
        for (int y = 0; y < 100; ++y) {
            for (int x = 0; x < 100; ++x)
                differing += (qGray(a.pixel(x, y)) < 128) != (qGray(b.pixel(x, y)) < 128);
        }
        QVERIFY2(differing > 100, qPrintable(QString::number(differing)));
    }

    void driverStringPlacesGlyphs_data()
    {
        QTest::addColumn<quint32>("options");
        QTest::addColumn<bool>("secondFar"); // the second glyph at x = 70
        QTest::newRow("a position per glyph") << 1u << true;
        QTest::newRow("realized advance: first position only") << 5u << false;
    }
    void driverStringPlacesGlyphs()
    {
        QFETCH(quint32, options);
        QFETCH(bool, secondFar);
        EmfPlusBuilder b;
        b.object(2, EmfPlusObjectType::Font, font(20, QStringLiteral("Arial")));
        PlusData d;
        d.u32(kBlack.rgba()).u32(options).u32(0).u32(2).u16('H').u16('H').points({ { 10, 50 }, { 70, 50 } });
        b.plus(vm::EmfPlusDrawDriverString, vm::FlagColor | 2, d);
        const QImage out = render(b.finish());
        QVERIFY(!ink(out.copy(0, 0, 40, 100)).isEmpty());
        QCOMPARE(!ink(out.copy(60, 0, 40, 100)).isEmpty(), secondFar);
    }

    // Vertical glyphs placed by their own advances run down the page.
    void verticalDriverStringsStack()
    {
        EmfPlusBuilder b;
        b.object(2, EmfPlusObjectType::Font, font(16, QStringLiteral("Arial")));
        PlusData d;
        d.u32(kBlack.rgba()).u32(7).u32(0).u32(3).u16('H').u16('H').u16('H');
        d.points({ { 40, 10 }, { 0, 0 }, { 0, 0 } });
        b.plus(vm::EmfPlusDrawDriverString, vm::FlagColor | 2, d);
        const QRect box = ink(render(b.finish()));
        QVERIFY2(box.height() > 2 * box.width(),
            qPrintable(QStringLiteral("%1 x %2").arg(box.width()).arg(box.height())));
    }

    void hotkeyPrefixes_data()
    {
        QTest::addColumn<int>("prefix");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QList<int>>("underlined");
        QTest::newRow("none: drawn as is") << 0 << "&File"
                                           << "&File" << QList<int> {};
        QTest::newRow("hide") << 2 << "&File && E&xit"
                              << "File & Exit" << QList<int> { 0, 8 };
        QTest::newRow("show, trailing &") << 1 << "Save &"
                                          << "Save &" << QList<int> {};
    }
    void hotkeyPrefixes()
    {
        QFETCH(int, prefix);
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QFETCH(QList<int>, underlined);
        QList<int> positions;
        QCOMPARE(vm::stripHotkeyPrefixes(text, prefix, &positions), shown);
        QCOMPARE(positions, underlined);
    }

    // Each way of ending text past its rectangle: what is kept fits, is a
    // start of the text cut where the mode says, and never splits a
    // character; text that fits is left alone.
    void trimmingEndsTextWhereTheFormatSays_data()
    {
        using F = vm::EmfPlusStringFormat;
        QTest::addColumn<int>("trimming");
        QTest::addColumn<QString>("text");
        const QString words = QStringLiteral("one two three four five six seven eight nine ten");
        QTest::newRow("character") << int(F::Character) << words;
        QTest::newRow("word") << int(F::Word) << words;
        QTest::newRow("ellipsis, character") << int(F::EllipsisCharacter) << words;
        QTest::newRow("ellipsis, word") << int(F::EllipsisWord) << words;
        QTest::newRow("ellipsis, path") << int(F::EllipsisPath) << "C:\\Users\\owner\\Documents\\report.docx";
        QTest::newRow("japanese words") << int(F::EllipsisWord) << "日本語の文章を途中で切ります";
        QTest::newRow("pairs are not split") << int(
            F::Character) << QString(40, QChar(0xD83D)).replace(QChar(0xD83D), QStringLiteral("\U0001F600"));
        QTest::newRow("one long word, by word") << int(F::Word) << QString(60, QLatin1Char('x'));
        QTest::newRow("ten thousand characters")
            << int(F::EllipsisCharacter) << QString(10000, QLatin1Char('m'));
    }
    void trimmingEndsTextWhereTheFormatSays()
    {
        using F = vm::EmfPlusStringFormat;
        QFETCH(int, trimming);
        QFETCH(QString, text);
        QFont font(QStringLiteral("IPAPGothic"));
        font.setPixelSize(12);
        const QFontMetricsF metrics(font);
        const double width = 90;
        QCOMPARE(vm::trimToWidth(QStringLiteral("ok"), metrics, width, trimming), QStringLiteral("ok"));

        const QString shown = vm::trimToWidth(text, metrics, width, trimming);
        QVERIFY2(metrics.horizontalAdvance(shown) <= width + 0.01, qPrintable(shown));
        QVERIFY2(shown.size() > 3, qPrintable(shown)); // most of the width is used
        const QString ellipsis(QChar(0x2026));
        const bool withEllipsis = trimming >= F::EllipsisCharacter;
        QCOMPARE(shown.endsWith(ellipsis) || trimming == F::EllipsisPath, withEllipsis);
        if (trimming == F::EllipsisPath) {
            QVERIFY2(
                shown.endsWith(ellipsis + "\\report.docx") && text.startsWith(shown.section(ellipsis, 0, 0)),
                qPrintable(shown));
            return;
        }
        const QString kept = withEllipsis ? shown.chopped(1) : shown;
        QVERIFY2(text.startsWith(kept), qPrintable(shown));
        QVERIFY(!kept.back().isHighSurrogate());
        // A whole character more would not have fitted.
        const QString more = text.left(kept.size() + (text[kept.size()].isHighSurrogate() ? 2 : 1));
        QVERIFY(metrics.horizontalAdvance(withEllipsis ? more + ellipsis : more) > width
            || trimming == F::Word || trimming == F::EllipsisWord);
        if ((trimming == F::Word || trimming == F::EllipsisWord) && text.contains(QLatin1Char(' ')))
            QCOMPARE(text.at(kept.size()), QLatin1Char(' '));
    }

    // Words end at spaces: a first word too long, such as a path, is cut by
    // character rather than after its drive letter.
    void aFirstWordTooLongIsCutByCharacter()
    {
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(12);
        const QFontMetricsF metrics(font);
        const QString shown = QStringLiteral("C:\\dir\\on\u2026");
        QCOMPARE(vm::trimToWidth(QStringLiteral("C:\\dir\\one two"), metrics,
                     metrics.horizontalAdvance(shown) + 0.1, vm::EmfPlusStringFormat::EllipsisWord),
            shown);
    }

    // In a rectangle not quite one line high, the line that shows takes the rest of
    // the text when the format trims: the long second word is cut there,
    // where without trimming it wraps to a line that is clipped away.
    void theLastLineShownTakesTheRest_data()
    {
        QTest::addColumn<quint32>("trimming");
        QTest::addColumn<bool>("reachesTheRight");
        QTest::newRow("no trimming") << 0u << false;
        QTest::newRow("character") << 1u << true;
        QTest::newRow("ellipsis") << 3u << true;
    }
    void theLastLineShownTakesTheRest()
    {
        QFETCH(quint32, trimming);
        QFETCH(bool, reachesTheRight);
        const QImage out = render(textFile(QStringLiteral("ab mmmmmmmmmmmmmmmmmmmmmmmmmmmmmm"),
            QRectF(5, 5, 80, 12), stringFormat(0, 0, 0, 0, trimming), 12));
        const QRect box = ink(out);
        QVERIFY(!box.isEmpty());
        QCOMPARE(box.right() > 60, reachesTheRight);
        QVERIFY(box.right() <= 85);
    }

    void carriedEmfOfCorpusFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("whole");
        QTest::newRow("checksum over the WMF's words") << "wmf/good/poi-60677.wmf" << true;
        QTest::newRow("checksum over the EMF's words") << "wmf/good/gen-lo-bitmap.wmf" << true;
        QTest::newRow("cut in half") << "wmf/bad/mut-wmf_truncated_half.wmf" << false;
        QTest::newRow("checksum wrong") << "wmf/bad/poi-61338.wmf" << false;
    }
    void carriedEmfOfCorpusFiles()
    {
        QFETCH(QString, file);
        QFETCH(bool, whole);
        QFile f(QStringLiteral(VELMORA_CORPUS_DIR "/") + file);
        if (!f.open(QIODevice::ReadOnly))
            QSKIP("corpus not found");
        QByteArray carried;
        try {
            carried = vm::embeddedEmf(vm::parseWmf(f.readAll()));
        } catch (const vm::RuntimeError &) {
        }
        QCOMPARE(!carried.isEmpty(), whole);
    }
};

QTEST_MAIN(TestEmfPlusMedia)
#include "tst_emfplus_media.moc"

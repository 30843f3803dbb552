// EMF+ image effects: serializable object records and DrawImagePoints with
// the E flag: each effect changes the pixels it should, only flagged
// DrawImagePoints records use it, and bad parameter blocks leave the image
// as it is.
#include <QTest>
#include <QUuid>

#include <cmath>
#include <functional>
#include <limits>

#include "platform/metafile/metafile.h"
#include "support/emfplusbuilder.h"
#include "support/testsupport.h"

using namespace vmtest;
using vm::EmfPlusObjectType;

namespace {

const char *const kBlur = "{633C80A4-1843-482B-9EF2-BE2834C5FDD4}";
const char *const kSharpen = "{63CBF3EE-C526-402C-8F71-62C540BF5142}";
const char *const kMatrix = "{718F2615-7933-40E3-A511-5F68FE14DD74}";
const char *const kTable = "{A7CE72A9-0F7F-40D7-B3CC-D0C02D5C3212}";
const char *const kBrightness = "{D3A1DBE1-8EC4-4C17-9F4C-EA97AD1C343D}";
const char *const kHsl = "{8B2DD6C3-EB07-4D87-A5F0-7108E26A9C5F}";
const char *const kLevels = "{99C354EC-2A31-4F3A-8C34-17A803B33A25}";
const char *const kTint = "{1077AF00-2848-4441-9489-44AD4C2D7A2C}";
const char *const kBalance = "{537E597D-251E-48DA-9664-29CA496B70F8}";
const char *const kCurve = "{DD6A0022-58E4-4A67-9D9B-D48EB881A53D}";
const char *const kRedEye = "{74D29D05-69A4-4266-9549-3CC52836B632}";

// A serializable object record's data: GUID, BufferSize (`declared`, or the
// block's length), block.
QByteArray effect(const char *guid, const QByteArray &block, qint64 declared = -1)
{
    const QUuid id = QUuid::fromString(QLatin1StringView(guid));
    PlusData d;
    d.u32(id.data1).u16(id.data2).u16(id.data3);
    d.bytes(QByteArray(reinterpret_cast<const char *>(id.data4), 8));
    return d.u32(quint32(declared < 0 ? block.size() : declared)).bytes(block);
}

QByteArray ints(std::initializer_list<qint32> values)
{
    PlusData d;
    for (qint32 v : values)
        d.u32(quint32(v));
    return d;
}

QByteArray floats(std::initializer_list<float> values)
{
    PlusData d;
    for (float v : values)
        d.f(v);
    return d;
}

// A 32 bpp ARGB bitmap object of `image`.
QByteArray bitmap(const QImage &image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    QByteArray rows;
    for (int y = 0; y < argb.height(); ++y)
        rows.append(reinterpret_cast<const char *>(argb.constScanLine(y)), qsizetype(argb.width()) * 4);
    return rawBitmap(argb.width(), argb.height(), 0x26200A, argb.width() * 4, rows);
}

QImage filled(QColor c, int size = 8)
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(c);
    return image;
}

// `left` on the left half, `right` on the right.
QImage halves(QColor left, QColor right, int size = 20)
{
    QImage image = filled(right, size);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size / 2; ++x)
            image.setPixelColor(x, y, left);
    }
    return image;
}

// DrawImagePoints of image 1 (its whole `source`) onto (10, 10)-(90, 90).
QByteArray points(QSize source)
{
    return PlusData()
        .u32(63)
        .u32(vm::UnitPixel)
        .rect(QRectF(QPointF(0, 0), source))
        .u32(3)
        .points({ QPointF(10, 10), QPointF(90, 10), QPointF(10, 90) });
}

constexpr quint16 kE = vm::FlagEffect;

QByteArray file(const QImage &image, const QByteArray &effectData, quint16 drawFlags = kE)
{
    EmfPlusBuilder b;
    b.object(1, EmfPlusObjectType::Image, bitmap(image));
    if (!effectData.isNull())
        b.plus(vm::EmfPlusSerializableObject, 0, effectData);
    b.plus(vm::EmfPlusDrawImagePoints, drawFlags | 1, points(image.size()));
    return b.finish();
}

QImage render(const QByteArray &bytes)
{
    return vm::openEmf(bytes)->render(QSize(100, 100));
}

bool near(QColor got, QColor want, int tolerance)
{
    return std::abs(got.red() - want.red()) <= tolerance && std::abs(got.green() - want.green()) <= tolerance
        && std::abs(got.blue() - want.blue()) <= tolerance;
}

QByteArray swapRedBlue()
{
    // Rows are what red, green, blue, alpha and 1 add to each output; the
    // last row also lifts green by a quarter.
    return effect(kMatrix,
        floats({ 0, 0, 1, 0, 0, /**/ 0, 1, 0, 0, 0, /**/ 1, 0, 0, 0, 0, /**/ 0, 0, 0, 1, 0, /**/ 0, 0.25f, 0,
            0, 1 }));
}

QByteArray redInverted()
{
    QByteArray block;
    for (int table = 0; table < 4; ++table) { // blue, green, red, alpha
        for (int v = 0; v < 256; ++v)
            block.append(char(table == 2 ? 255 - v : v));
    }
    return effect(kTable, block);
}

const QColor kOrange(200, 50, 10);
const QColor kSwapped(10, 114, 200);

} // namespace

class TestEmfPlusEffects : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Effects whose arithmetic the parameter block fixes.
    void exactColours_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QColor>("input");
        QTest::addColumn<QColor>("want");
        QTest::newRow("matrix: red and blue swap, green lifted") << swapRedBlue() << kOrange << kSwapped;
        QTest::newRow("lookup tables: only red inverted") << redInverted() << kOrange << QColor(55, 50, 10);
        QTest::newRow("brightness raises a grey")
            << effect(kBrightness, ints({ 50, 0 })) << QColor(100, 100, 100) << QColor(150, 150, 150);
        QTest::newRow("contrast -100 flattens to mid-grey")
            << effect(kBrightness, ints({ 0, -100 })) << kOrange << QColor(128, 128, 128);
        QTest::newRow("levels: shadow and highlight stretch the range")
            << effect(kLevels, ints({ 80, 0, 20 })) << QColor(51, 128, 204) << QColor(0, 128, 255);
    }
    void exactColours()
    {
        QFETCH(QByteArray, data);
        QFETCH(QColor, input);
        QFETCH(QColor, want);
        const QColor got = render(file(filled(input), data)).pixelColor(50, 50);
        QVERIFY2(near(got, want, 3), qPrintable(got.name() + " for " + want.name()));
    }

    // Effects whose exact curve is ours to choose: each channel must move
    // the way the effect says (+1 up, -1 down, 0 unchanged).
    void directions_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QColor>("input");
        QTest::addColumn<QList<int>>("moves");
        const QColor grey(128, 128, 128), dull(180, 90, 90);
        QTest::newRow("lightness") << effect(kHsl, ints({ 0, 0, 50 })) << grey << QList<int> { 1, 1, 1 };
        QTest::newRow("saturation -100")
            << effect(kHsl, ints({ 0, -100, 0 })) << dull << QList<int> { -1, 1, 1 };
        QTest::newRow("hue +120: red towards green")
            << effect(kHsl, ints({ 120, 0, 0 })) << dull << QList<int> { -1, 1, 0 };
        QTest::newRow("levels: midtone lightens")
            << effect(kLevels, ints({ 100, 60, 0 })) << grey << QList<int> { 1, 1, 1 };
        QTest::newRow("tint blue") << effect(kTint, ints({ -120, 80 })) << grey << QList<int> { -1, -1, 1 };
        QTest::newRow("tint -blue is yellow")
            << effect(kTint, ints({ -120, -80 })) << grey << QList<int> { 1, 1, -1 };
        QTest::newRow("balance towards red")
            << effect(kBalance, ints({ 50, 0, 0 })) << grey << QList<int> { 1, 0, 0 };
        QTest::newRow("balance towards yellow")
            << effect(kBalance, ints({ 0, 0, -50 })) << grey << QList<int> { 0, 0, -1 };
        QTest::newRow("curve: exposure, all")
            << effect(kCurve, ints({ 0, 0, 100 })) << QColor(100, 100, 100) << QList<int> { 1, 1, 1 };
        QTest::newRow("curve: density down darkens")
            << effect(kCurve, ints({ 1, 0, -200 })) << grey << QList<int> { -1, -1, -1 };
        QTest::newRow("curve: highlight, red only")
            << effect(kCurve, ints({ 3, 1, 100 })) << QColor(200, 200, 200) << QList<int> { 1, 0, 0 };
        QTest::newRow("curve: shadow, green only")
            << effect(kCurve, ints({ 4, 2, 100 })) << QColor(40, 40, 40) << QList<int> { 0, 1, 0 };
        QTest::newRow("curve: black saturation, blue only")
            << effect(kCurve, ints({ 7, 3, 60 })) << grey << QList<int> { 0, 0, -1 };
        QTest::newRow("curve: white saturation")
            << effect(kCurve, ints({ 6, 0, 200 })) << grey << QList<int> { 1, 1, 1 };
        QTest::newRow("red eye inside the area")
            << effect(kRedEye, ints({ 1, 0, 0, 8, 8 })) << QColor(200, 40, 40) << QList<int> { -1, 0, 0 };
        QTest::newRow("red eye outside the area") << effect(kRedEye, ints({ 1, 100, 100, 120, 120 }))
                                                  << QColor(200, 40, 40) << QList<int> { 0, 0, 0 };
    }
    void directions()
    {
        QFETCH(QByteArray, data);
        QFETCH(QColor, input);
        QFETCH(QList<int>, moves);
        const QColor got = render(file(filled(input), data)).pixelColor(50, 50);
        const int delta[3]
            = { got.red() - input.red(), got.green() - input.green(), got.blue() - input.blue() };
        for (int c = 0; c < 3; ++c) {
            const int move = delta[c] > 4 ? 1 : delta[c] < -4 ? -1 : 0;
            QVERIFY2(move == moves[c],
                qPrintable(QStringLiteral("channel %1: %2 became %3").arg(c).arg(input.name(), got.name())));
        }
    }

    void blurSpreadsTheEdge()
    {
        // 20 px red | blue drawn 4x: image x 46 is the last red bitmap pixel.
        const QImage image = halves(QColor(255, 0, 0), QColor(0, 0, 255));
        const QImage sharp = render(file(image, effect(kBlur, floats({ 6, 0 })), 0));
        const QImage soft = render(file(image, effect(kBlur, floats({ 6, 0 }))));
        QVERIFY(near(sharp.pixelColor(46, 50), QColor(255, 0, 0), 10));
        const QColor mixed = soft.pixelColor(46, 50);
        QVERIFY2(mixed.red() > 60 && mixed.blue() > 60, qPrintable(mixed.name()));
        // Far from the edge the colour stays; the picture's border stays
        // hard without ExpandEdge, and nothing spills outside it.
        QVERIFY(near(soft.pixelColor(14, 50), QColor(255, 0, 0), 40));
        QVERIFY(near(soft.pixelColor(7, 50), QColor(255, 255, 255), 2));
        // ExpandEdge grows the image by the radius (24 px here) with a soft rim.
        const QImage grown = render(file(image, effect(kBlur, ints({ 0x40C00000 /* 6.0f */, 1 }))));
        const QColor rim = grown.pixelColor(5, 50);
        QVERIFY2(rim.green() < 250 && rim.green() > 20, qPrintable(rim.name()));
        QVERIFY(near(grown.pixelColor(11, 50), QColor(255, 0, 0), 140));
    }

    // A grown image grows far enough for its rim to fade out: no step where
    // the rim meets what lies around it.
    void grownBlurFadesOutToNothing()
    {
        const QImage image = filled(QColor(0, 0, 255), 4);
        EmfPlusBuilder b;
        b.object(1, EmfPlusObjectType::Image, bitmap(image));
        b.plus(vm::EmfPlusSerializableObject, 0, effect(kBlur, ints({ 0x40000000 /* 2.0f */, 1 })));
        b.plus(vm::EmfPlusDrawImagePoints, kE | 1,
            PlusData()
                .u32(63)
                .u32(vm::UnitPixel)
                .rect(QRectF(0, 0, 4, 4))
                .u32(3)
                .points({ QPointF(40, 40), QPointF(60, 40), QPointF(40, 60) }));
        // Drawn 10x: a rim cut off early would show as a step of many levels.
        const QImage out = vm::openEmf(b.finish())->render(QSize(400, 400));
        int steepest = 0;
        for (int x = 40; x < 200; ++x)
            steepest = std::max(
                steepest, std::abs(out.pixelColor(x, 200).red() - out.pixelColor(x + 1, 200).red()));
        QVERIFY2(steepest <= 8, qPrintable(QString::number(steepest)));
        QVERIFY(out.pixelColor(100, 200).red() < 255); // and it did grow
    }

    void sharpenOvershootsAnEdge()
    {
        const QImage image = halves(QColor(100, 100, 100), QColor(160, 160, 160));
        const QImage out = render(file(image, effect(kSharpen, floats({ 3, 100 }))));
        QVERIFY2(out.pixelColor(46, 50).red() < 92, qPrintable(out.pixelColor(46, 50).name()));
        QVERIFY2(out.pixelColor(54, 50).red() > 168, qPrintable(out.pixelColor(54, 50).name()));
        QVERIFY(near(out.pixelColor(20, 50), QColor(100, 100, 100), 3));
    }

    // Which drawing uses the effect: only DrawImagePoints with E, and only
    // the latest serializable object.
    void onlyFlaggedPointsApply_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QColor>("want");
        const QImage image = filled(kOrange);
        const QByteArray object = bitmap(image);
        const auto build = [&](const std::function<void(EmfPlusBuilder &)> &f) {
            EmfPlusBuilder b;
            b.object(1, EmfPlusObjectType::Image, object);
            f(b);
            return b.finish();
        };
        QTest::newRow("with E") << build([&](EmfPlusBuilder &b) {
            b.plus(vm::EmfPlusSerializableObject, 0, swapRedBlue());
            b.plus(vm::EmfPlusDrawImagePoints, kE | 1, points(image.size()));
        }) << kSwapped;
        QTest::newRow("without E") << build([&](EmfPlusBuilder &b) {
            b.plus(vm::EmfPlusSerializableObject, 0, swapRedBlue());
            b.plus(vm::EmfPlusDrawImagePoints, 1, points(image.size()));
        }) << kOrange;
        QTest::newRow("DrawImage with the same bit") << build([&](EmfPlusBuilder &b) {
            b.plus(vm::EmfPlusSerializableObject, 0, swapRedBlue());
            b.plus(vm::EmfPlusDrawImage, kE | 1,
                PlusData().u32(63).u32(vm::UnitPixel).rect(QRectF(0, 0, 8, 8)).rect(QRectF(10, 10, 80, 80)));
        }) << kOrange;
        QTest::newRow("E before any effect") << build([&](EmfPlusBuilder &b) {
            b.plus(vm::EmfPlusDrawImagePoints, kE | 1, points(image.size()));
            b.plus(vm::EmfPlusSerializableObject, 0, swapRedBlue());
        }) << kOrange;
        QTest::newRow("the latest effect wins") << build([&](EmfPlusBuilder &b) {
            b.plus(vm::EmfPlusSerializableObject, 0, effect(kBrightness, ints({ 100, 0 })));
            b.plus(vm::EmfPlusSerializableObject, 0, swapRedBlue());
            b.plus(vm::EmfPlusDrawImagePoints, kE | 1, points(image.size()));
        }) << kSwapped;
        QTest::newRow("a bad effect cancels the one before") << build([&](EmfPlusBuilder &b) {
            b.plus(vm::EmfPlusSerializableObject, 0, swapRedBlue());
            b.plus(vm::EmfPlusSerializableObject, 0, effect(kBrightness, ints({ 999, 0 })));
            b.plus(vm::EmfPlusDrawImagePoints, kE | 1, points(image.size()));
        }) << kOrange;
        QTest::newRow("a restored state keeps the effect") << build([&](EmfPlusBuilder &b) {
            b.plus(vm::EmfPlusSave, 0, PlusData().u32(1));
            b.plus(vm::EmfPlusSerializableObject, 0, swapRedBlue());
            b.plus(vm::EmfPlusRestore, 0, PlusData().u32(1));
            b.plus(vm::EmfPlusDrawImagePoints, kE | 1, points(image.size()));
        }) << kSwapped;
    }
    void onlyFlaggedPointsApply()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QColor, want);
        const QColor got = render(bytes).pixelColor(50, 50);
        QVERIFY2(near(got, want, 3), qPrintable(got.name()));
    }

    // Blocks that are short, out of range or not numbers: the image is drawn
    // as it is.
    void badBlocksDrawTheImageUnchanged_data()
    {
        QTest::addColumn<QByteArray>("data");
        const float nan = std::numeric_limits<float>::quiet_NaN();
        const float inf = std::numeric_limits<float>::infinity();
        const std::pair<const char *, QByteArray> valid[] = {
            { kBlur, floats({ 4, 0 }) },
            { kSharpen, floats({ 4, 50 }) },
            { kMatrix,
                floats({ 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1 }) },
            { kTable, QByteArray(1024, '\x20') },
            { kBrightness, ints({ 90, 50 }) },
            { kHsl, ints({ 90, 50, 50 }) },
            { kLevels, ints({ 50, 50, 50 }) },
            { kTint, ints({ 90, 90 }) },
            { kBalance, ints({ 90, 90, 90 }) },
            { kCurve, ints({ 0, 0, 200 }) },
            { kRedEye, ints({ 1, 0, 0, 8, 8 }) },
        };
        for (const auto &[guid, block] : valid) {
            const QString name = QString::fromLatin1(guid).mid(1, 8);
            QTest::addRow("%s cut short", qPrintable(name)) << effect(guid, block.left(block.size() - 4));
            QTest::addRow("%s larger than its record", qPrintable(name))
                << effect(guid, block, block.size() + 4);
        }
        QTest::newRow("blur radius NaN") << effect(kBlur, floats({ nan, 0 }));
        QTest::newRow("blur radius 256") << effect(kBlur, floats({ 256, 0 }));
        QTest::newRow("blur radius negative") << effect(kBlur, floats({ -1, 0 }));
        QTest::newRow("blur ExpandEdge 2") << effect(kBlur, ints({ 0x40800000, 2 }));
        QTest::newRow("sharpen amount 101") << effect(kSharpen, floats({ 2, 101 }));
        QTest::newRow("matrix with a NaN")
            << effect(kMatrix, floats({ 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, nan }));
        QTest::newRow("matrix with infinity") << effect(
            kMatrix, floats({ inf, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1 }));
        QTest::newRow("brightness 256") << effect(kBrightness, ints({ 256, 0 }));
        QTest::newRow("contrast -101") << effect(kBrightness, ints({ 0, -101 }));
        QTest::newRow("hue 181") << effect(kHsl, ints({ 181, 0, 0 }));
        QTest::newRow("highlight 101") << effect(kLevels, ints({ 101, 0, 0 }));
        QTest::newRow("tint amount -101") << effect(kTint, ints({ 0, -101 }));
        QTest::newRow("balance 200") << effect(kBalance, ints({ 0, 200, 0 }));
        QTest::newRow("curve adjustment 8") << effect(kCurve, ints({ 8, 0, 10 }));
        QTest::newRow("curve channel 4") << effect(kCurve, ints({ 0, 4, 10 }));
        QTest::newRow("curve contrast 101") << effect(kCurve, ints({ 2, 0, 101 }));
        QTest::newRow("curve white saturation -1") << effect(kCurve, ints({ 6, 0, -1 }));
        QTest::newRow("red eye count -1") << effect(kRedEye, ints({ -1, 0, 0, 8, 8 }));
        QTest::newRow("red eye count past the block") << effect(kRedEye, ints({ 1000000, 0, 0, 8, 8 }));
        QTest::newRow("red eye area wider than any picture") << effect(kRedEye,
            ints({ 1, std::numeric_limits<qint32>::min(), 0, std::numeric_limits<qint32>::max(), 8 }));
        QTest::newRow("unknown GUID") << effect("{00000000-1111-2222-3333-444444444444}", ints({ 50, 0 }));
        QTest::newRow("BufferSize 0xFFFFFFFF") << effect(kBrightness, ints({ 50, 0 }), 0xFFFFFFFF);
    }
    void badBlocksDrawTheImageUnchanged()
    {
        QFETCH(QByteArray, data);
        const QColor input(200, 40, 40);
        const QColor got = render(file(filled(input), data)).pixelColor(50, 50);
        QVERIFY2(near(got, input, 2), qPrintable(got.name()));
    }

    // A record too short for its own GUID and BufferSize lies: play ends
    // there, what came before stays.
    void recordWithoutItsFieldsEndsPlay()
    {
        EmfPlusBuilder b;
        b.object(1, EmfPlusObjectType::Image, bitmap(filled(kOrange)));
        b.plus(vm::EmfPlusDrawImage, 1,
            PlusData().u32(63).u32(vm::UnitPixel).rect(QRectF(0, 0, 8, 8)).rect(QRectF(0, 0, 50, 100)));
        b.plus(vm::EmfPlusSerializableObject, 0, effect(kBrightness, ints({ 50, 0 })).left(12));
        b.plus(vm::EmfPlusDrawImagePoints, kE | 1, points(QSize(8, 8)));
        const QImage out = render(b.finish());
        QVERIFY(near(out.pixelColor(20, 50), kOrange, 3));
        QVERIFY(near(out.pixelColor(75, 50), QColor(255, 255, 255), 3));
    }

    // A metafile image, and an effect on it, are priced as all drawing is,
    // in pixels of the picture at its natural size, so that the preview and
    // the viewer agree on whether a picture is too complex to draw. (Both
    // were priced in the pixels they were played at.)
    void effectWorkIsPricedAtTheNaturalSize()
    {
        EmfPlusBuilder inner;
        inner.plus(vm::EmfPlusFillRects, vm::FlagColor,
            PlusData().u32(QColor(Qt::blue).rgba()).u32(1).rect(QRectF(0, 0, 50, 100)));
        EmfPlusBuilder outer;
        outer.object(1, EmfPlusObjectType::Image, metafileImage(3, inner.finish()));
        outer.plus(vm::EmfPlusSerializableObject, 0, effect(kBlur, floats({ 4, 0 })));
        outer.plus(vm::EmfPlusDrawImagePoints, kE | 1, points(QSize(100, 100)));
        const auto picture = vm::openEmf(outer.finish());
        vm::PlayWork preview, viewer;
        picture->render(QSize(100, 100), &preview);
        picture->render(QSize(3000, 3000), &viewer);
        QVERIFY2(preview.used > 0 && std::abs(viewer.used - preview.used) < 0.01 * preview.used,
            qPrintable(QStringLiteral("%1 against %2").arg(viewer.used).arg(preview.used)));
    }

    // The largest radius on a big image: bounded work, and still a blur.
    void hugeBlurIsBounded()
    {
        const QImage big = halves(QColor(255, 0, 0), QColor(0, 0, 255), 3000);
        EmfPlusBuilder b;
        b.object(1, EmfPlusObjectType::Image, compressedBitmap(encoded(big, "png"), 3000, 3000));
        b.plus(vm::EmfPlusSerializableObject, 0, effect(kBlur, ints({ 0x437F0000 /* 255.0f */, 1 })));
        b.plus(vm::EmfPlusDrawImagePoints, kE | 1, points(QSize(3000, 3000)));
        const QImage out = render(b.finish());
        // Image x 48 is bitmap x 1425 to 1462, 40 to 75 pixels left of the edge.
        const QColor nearEdge = out.pixelColor(48, 50);
        QVERIFY2(nearEdge.red() > 100 && nearEdge.blue() > 30, qPrintable(nearEdge.name()));
    }
};

QTEST_MAIN(TestEmfPlusEffects)
#include "tst_emfplus_effects.moc"

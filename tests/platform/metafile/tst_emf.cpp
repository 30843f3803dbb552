// The EMF player: the shared corpus as its manifest says, then generated
// streams for header rules, lying records, map modes, paths, clipping and text.
#include <QFile>
#include <QTest>

#include "platform/metafile/metafile.h"
#include "platform/runtimeerror.h"
#include "support/testsupport.h"
#include "support/emfbuilder.h"

using vmtest::EmfBuilder;
using namespace vmtest;

namespace {

constexpr qint64 kStock = 0x80000000LL;
constexpr qint64 kNullPen = kStock | 8;
constexpr quint32 kRed = 0x0000FF, kBlue = 0xFF0000;

// A solid brush of `color` at handle `index`, selected, with the null pen.
void solidFill(EmfBuilder &b, int index, quint32 color)
{
    b.rec(EmrCreateBrushIndirect, { index, 0, color, 0 });
    b.rec(EmrSelectObject, { index });
    b.rec(EmrSelectObject, { kNullPen });
}

QImage renderBytes(const QByteArray &bytes, QSize size = QSize(200, 200))
{
    return vm::openEmf(bytes)->render(size);
}

bool isColor(const QImage &image, int x, int y, QColor want, int tolerance = 40)
{
    const QColor c = image.pixelColor(x, y);
    return std::abs(c.red() - want.red()) <= tolerance && std::abs(c.green() - want.green()) <= tolerance
        && std::abs(c.blue() - want.blue()) <= tolerance;
}

int inkInColumns(const QImage &image, int x0, int x1)
{
    int ink = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = x0; x <= x1; ++x)
            ink += qGray(image.pixel(x, y)) < 160;
    }
    return ink;
}

} // namespace

class TestEmf : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void corpusFilesBehaveAsTheManifestSays_data();
    void corpusFilesBehaveAsTheManifestSays();
    void malformedHeadersAreRefused_data();
    void malformedHeadersAreRefused();
    void emptyFrameFallsBackToBounds();
    void descriptionRightAfterTheFixedHeaderIsNotReadAsFields();
    void vastFrameGivesABoundedNaturalSize();
    void lyingRecordEndsPlayKeepingWhatWasDrawn_data();
    void lyingRecordEndsPlayKeepingWhatWasDrawn();
    void mapModesPlaceShapes_data();
    void mapModesPlaceShapes();
    void openPathIsStrokedOpen_data();
    void openPathIsStrokedOpen();
    void figuresOfAPathStayApart();
    void clippingLimitsDrawing_data();
    void clippingLimitsDrawing();
    void shiftJisTextIsDecodedAndSpacedByDx();
    void stretchDibitsPlacesRowsAndAppliesTheRasterOperation_data();
    void stretchDibitsPlacesRowsAndAppliesTheRasterOperation();
    void embeddedWmfStandsInForRecordsThatDrawNothing_data();
    void embeddedWmfStandsInForRecordsThatDrawNothing();
    void bitmapWithoutColourTableIndexesTheSelectedPalette();
    void monochromeBrushBitsChooseTextOrBackgroundColour_data();
    void monochromeBrushBitsChooseTextOrBackgroundColour();
};

void TestEmf::corpusFilesBehaveAsTheManifestSays_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expectation");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    const QString dir = vmtest::corpusDir();
    if (dir.isEmpty())
        QSKIP("corpus not present");
    const QList<vmtest::CorpusEntry> entries = vmtest::corpusManifest(dir);
    QVERIFY(!entries.isEmpty());
    for (const vmtest::CorpusEntry &e : entries) {
        if (e.path.startsWith(QLatin1String("emf/")))
            QTest::newRow(e.path.toUtf8().constData())
                << dir + QLatin1Char('/') + e.path << e.expectation << e.extent.width() << e.extent.height();
    }
}

void TestEmf::corpusFilesBehaveAsTheManifestSays()
{
    QFETCH(QString, path);
    QFETCH(QString, expectation);
    QFETCH(int, width);
    QFETCH(int, height);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    std::shared_ptr<const vm::Metafile> picture;
    try {
        picture = vm::openEmf(bytes);
    } catch (const vm::RuntimeError &e) {
        QVERIFY2(expectation != QLatin1String("loads"), e.what());
        QVERIFY(e.number() == vm::Err::InvalidPicture || e.number() == vm::Err::DamagedPicture);
        return;
    }
    QVERIFY2(expectation != QLatin1String("must-fail"), "opened a file that must be refused");
    if (expectation == QLatin1String("loads") && width > 0) {
        QVERIFY(std::abs(picture->extentHimetric().width() - width) <= 1);
        QVERIFY(std::abs(picture->extentHimetric().height() - height) <= 1);
    }
    const QSize natural = picture->naturalSize();
    QVERIFY(natural.width() >= 1 && natural.height() >= 1);
    QVERIFY(natural.width() <= 16384 && natural.height() <= 16384);
    QCOMPARE(picture->render(natural).size(), natural);
    QCOMPARE(picture->render(QSize(161, 153)).size(), QSize(161, 153));
}

void TestEmf::malformedHeadersAreRefused_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("error");
    const QByteArray good = EmfBuilder().finish();
    QByteArray badSignature = good;
    badSignature[40] = 'X';
    QByteArray hugeHeader = good;
    qToLittleEndian<quint32>(4096, hugeHeader.data() + 4);
    QByteArray smallHeader = good;
    qToLittleEndian<quint32>(40, smallHeader.data() + 4);
    QByteArray unaligned = good;
    qToLittleEndian<quint32>(90, unaligned.data() + 4);
    QByteArray noFrameNoBounds = EmfBuilder(QRect(QPoint(0, 0), QPoint(0, 0))).finish();
    qToLittleEndian<quint32>(0, noFrameNoBounds.data() + 16);
    QTest::newRow("empty") << QByteArray() << int(vm::Err::InvalidPicture);
    QTest::newRow("truncated header") << good.left(60) << int(vm::Err::InvalidPicture);
    QTest::newRow("bad signature") << badSignature << int(vm::Err::InvalidPicture);
    QTest::newRow("header larger than file") << hugeHeader << int(vm::Err::DamagedPicture);
    QTest::newRow("header smaller than fixed part") << smallHeader << int(vm::Err::DamagedPicture);
    QTest::newRow("header size not a multiple of 4") << unaligned << int(vm::Err::DamagedPicture);
    QTest::newRow("no frame and no bounds") << noFrameNoBounds << int(vm::Err::DamagedPicture);
}

void TestEmf::malformedHeadersAreRefused()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, error);
    try {
        vm::openEmf(bytes);
        QFAIL("opened");
    } catch (const vm::RuntimeError &e) {
        QCOMPARE(int(e.number()), error);
    }
}

void TestEmf::emptyFrameFallsBackToBounds()
{
    // Bounds are (0,0)-(1000,1000) device pixels at 10 pixels per millimetre.
    const auto picture = vm::openEmf(EmfBuilder(QRect(QPoint(0, 0), QPoint(0, 0))).finish());
    QCOMPARE(picture->extentHimetric(), QSize(10000, 10000));
    QCOMPARE(picture->naturalSize(), QSize(378, 378));
}

void TestEmf::descriptionRightAfterTheFixedHeaderIsNotReadAsFields()
{
    // The description's UTF-16 text sits where the pixel format and
    // micrometre fields would be; read as micrometres it would say 2 mm for
    // a 1 mm, 10 pixel device and halve the density, moving device-pixel
    // drawing within the frame.
    QByteArray description = QByteArray("V\0e\0l\0m\0o\0r\0", 12);
    description += EmfBuilder::words({ 1999, 1999, 0 });
    EmfBuilder withText(QRect(QPoint(0, 0), QPoint(10000, 10000)), 10, description);
    solidFill(withText, 1, kRed);
    withText.rec(EmrRectangle, { 200, 200, 400, 400 }); // device pixels
    QByteArray bytes = withText.finish();
    for (int offset : { 72, 76 })
        qToLittleEndian<quint32>(10, bytes.data() + offset); // szlDevice
    for (int offset : { 80, 84 })
        qToLittleEndian<quint32>(1, bytes.data() + offset); // szlMillimeters
    const auto picture = vm::openEmf(bytes);
    QCOMPARE(picture->extentHimetric(), QSize(10000, 10000));
    const QImage image = picture->render(QSize(200, 200));
    QVERIFY(isColor(image, 60, 60, Qt::red));
    QVERIFY(isColor(image, 30, 30, Qt::white));
}

void TestEmf::vastFrameGivesABoundedNaturalSize()
{
    const auto picture
        = vm::openEmf(EmfBuilder(QRect(QPoint(0, 0), QPoint(2000000000, 1000000000))).finish());
    const QSize natural = picture->naturalSize();
    QVERIFY(natural.width() <= 16384 && natural.height() <= 16384);
    QVERIFY(qint64(natural.width()) * natural.height() <= vm::kMetafileMaxPixels);
    QVERIFY(std::abs(double(natural.width()) / natural.height() - 2.0) < 0.01);
    QCOMPARE(picture->render(QSize(64, 32)).size(), QSize(64, 32));
    QVERIFY_THROWS_EXCEPTION(vm::RuntimeError, picture->render(QSize(20000, 20000)));
}

void TestEmf::lyingRecordEndsPlayKeepingWhatWasDrawn_data()
{
    QTest::addColumn<QByteArray>("bytes");
    auto build = [](auto lie) {
        EmfBuilder b;
        solidFill(b, 1, kRed);
        b.rec(EmrRectangle, { 0, 0, 500, 1000 });
        lie(b);
        solidFill(b, 2, kBlue);
        b.rec(EmrRectangle, { 500, 0, 1000, 1000 });
        return b.finish();
    };
    QTest::newRow("point count past the record") << build([](EmfBuilder &b) {
        b.raw(EmrPolyline, EmfBuilder::words({ 0, 0, 10, 10, 1000, 1, 1, 5, 5 }));
    });
    QTest::newRow("record size zero") << build([](EmfBuilder &b) { b.raw(EmrLineTo, {}, 0); });
    QTest::newRow("record size not a multiple of 4") << build([](EmfBuilder &b) {
        b.raw(EmrLineTo, EmfBuilder::words({ 5, 5 }), 14);
    });
    QTest::newRow("record size past the file") << build([](EmfBuilder &b) {
        b.raw(EmrLineTo, EmfBuilder::words({ 5, 5 }), 0x7FFFFFF0);
    });
    QTest::newRow("region count past the record") << build([](EmfBuilder &b) {
        b.raw(EmrExtSelectClipRgn, EmfBuilder::words({ 48, 5, 32, 1, 9999, 0, 0, 0, 10, 10, 0, 0, 10, 10 }));
    });
}

void TestEmf::lyingRecordEndsPlayKeepingWhatWasDrawn()
{
    QFETCH(QByteArray, bytes);
    const QImage image = renderBytes(bytes);
    QVERIFY(isColor(image, 50, 100, Qt::red));
    QVERIFY(isColor(image, 150, 100, Qt::white));
}

void TestEmf::mapModesPlaceShapes_data()
{
    // Every row fills the square from 20 mm to 40 mm on both axes; rendered
    // at 200 x 200 for a 100 mm frame, that is pixels 40 to 80.
    QTest::addColumn<QList<qint64>>("setup"); // map mode, window org x/y, window ext, viewport ext
    QTest::addColumn<QRect>("rect");
    using L = QList<qint64>;
    QTest::newRow("MM_TEXT") << L { 1 } << QRect(QPoint(200, 200), QPoint(400, 400));
    QTest::newRow("MM_LOMETRIC") << L { 2 } << QRect(QPoint(200, -200), QPoint(400, -400));
    QTest::newRow("MM_HIMETRIC") << L { 3 } << QRect(QPoint(2000, -2000), QPoint(4000, -4000));
    QTest::newRow("MM_LOENGLISH") << L { 4 } << QRect(QPoint(79, -79), QPoint(157, -157));
    QTest::newRow("MM_HIENGLISH") << L { 5 } << QRect(QPoint(787, -787), QPoint(1575, -1575));
    QTest::newRow("MM_TWIPS") << L { 6 } << QRect(QPoint(1134, -1134), QPoint(2268, -2268));
    QTest::newRow("MM_ISOTROPIC keeps the smaller scale")
        << L { 7, 0, 0, 1000, 1000, 1000, 500 } << QRect(QPoint(400, 400), QPoint(800, 800));
    QTest::newRow("MM_ANISOTROPIC") << L { 8, 0, 0, 100, 50, 1000, 1000 }
                                    << QRect(QPoint(20, 10), QPoint(40, 20));
    QTest::newRow("MM_ANISOTROPIC with window origin")
        << L { 8, 10, -5, 100, 100, 1000, 1000 } << QRect(QPoint(30, 15), QPoint(50, 35));
    QTest::newRow("MM_ANISOTROPIC flipped")
        << L { 8, 0, 0, 100, -100, 1000, 1000 } << QRect(QPoint(20, -20), QPoint(40, -40));
}

void TestEmf::mapModesPlaceShapes()
{
    QFETCH(QList<qint64>, setup);
    QFETCH(QRect, rect);
    EmfBuilder b;
    solidFill(b, 1, kRed);
    b.rec(EmrSetMapMode, { setup[0] });
    if (setup.size() > 1) {
        b.rec(EmrSetWindowOrgEx, { setup[1], setup[2] });
        b.rec(EmrSetWindowExtEx, { setup[3], setup[4] });
        b.rec(EmrSetViewportExtEx, { setup[5], setup[6] });
    }
    b.rec(EmrRectangle, { rect.left(), rect.top(), rect.right(), rect.bottom() });
    const QImage image = renderBytes(b.finish());
    QVERIFY(isColor(image, 60, 60, Qt::red));
    QVERIFY(isColor(image, 42, 42, Qt::red));
    QVERIFY(isColor(image, 78, 78, Qt::red));
    QVERIFY(isColor(image, 36, 60, Qt::white));
    QVERIFY(isColor(image, 84, 60, Qt::white));
    QVERIFY(isColor(image, 60, 36, Qt::white));
    QVERIFY(isColor(image, 60, 84, Qt::white));
}

void TestEmf::openPathIsStrokedOpen_data()
{
    QTest::addColumn<bool>("closeFigure");
    QTest::newRow("open figure") << false;
    QTest::newRow("closed figure") << true;
}

void TestEmf::openPathIsStrokedOpen()
{
    QFETCH(bool, closeFigure);
    EmfBuilder b;
    b.rec(EmrCreatePen, { 1, 0, 20, 0, 0 }); // solid black, 20 device pixels wide
    b.rec(EmrSelectObject, { 1 });
    b.rec(EmrBeginPath, {});
    b.rec(EmrMoveToEx, { 100, 100 }).rec(EmrLineTo, { 900, 100 }).rec(EmrLineTo, { 900, 900 });
    if (closeFigure)
        b.rec(EmrCloseFigure, {});
    b.rec(EmrEndPath, {});
    b.rec(EmrStrokePath, { 0, 0, 1000, 1000 });
    const QImage image = renderBytes(b.finish());
    QVERIFY(isColor(image, 100, 20, Qt::black)); // top edge
    QVERIFY(isColor(image, 180, 100, Qt::black)); // right edge
    // The diagonal back to the start exists only when the figure is closed.
    QCOMPARE(isColor(image, 100, 100, Qt::black), closeFigure);
    QVERIFY(isColor(image, 40, 150, Qt::white));
}

void TestEmf::figuresOfAPathStayApart()
{
    // Two straight Bézier figures, each begun by MoveToEx: nothing may join
    // the end of the first to the start of the second.
    EmfBuilder b;
    b.rec(EmrCreatePen, { 1, 0, 20, 0, 0 });
    b.rec(EmrSelectObject, { 1 });
    b.rec(EmrBeginPath, {});
    b.rec(EmrMoveToEx, { 100, 100 });
    b.raw(EmrPolyBezierTo, EmfBuilder::words({ 0, 0, 1000, 1000, 3, 300, 100, 600, 100, 900, 100 }));
    b.rec(EmrMoveToEx, { 100, 900 });
    b.raw(EmrPolyBezierTo, EmfBuilder::words({ 0, 0, 1000, 1000, 3, 300, 900, 600, 900, 900, 900 }));
    b.rec(EmrEndPath, {});
    b.rec(EmrStrokePath, { 0, 0, 1000, 1000 });
    const QImage image = renderBytes(b.finish());
    QVERIFY(isColor(image, 100, 20, Qt::black));
    QVERIFY(isColor(image, 100, 180, Qt::black));
    QVERIFY(isColor(image, 100, 100, Qt::white)); // where a joining line would cross
}

void TestEmf::clippingLimitsDrawing_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("leftInked");
    QTest::addColumn<bool>("rightInked");
    auto build = [](auto clip) {
        EmfBuilder b;
        solidFill(b, 1, kRed);
        clip(b);
        b.rec(EmrRectangle, { 0, 0, 1000, 1000 });
        return b.finish();
    };
    QTest::newRow("intersect") << build([](EmfBuilder &b) {
        b.rec(EmrIntersectClipRect, { 0, 0, 500, 1000 });
    }) << true << false;
    QTest::newRow("exclude") << build([](EmfBuilder &b) {
        b.rec(EmrExcludeClipRect, { 0, 0, 500, 1000 });
    }) << false << true;
    QTest::newRow("region copy") << build([](EmfBuilder &b) {
        b.raw(EmrExtSelectClipRgn,
            EmfBuilder::words({ 48, 5, 32, 1, 1, 16, 500, 0, 1000, 1000, 500, 0, 1000, 1000 }));
    }) << false << true;
    QTest::newRow("restored by RestoreDC") << build([](EmfBuilder &b) {
        b.rec(EmrSaveDc, {});
        b.rec(EmrIntersectClipRect, { 0, 0, 500, 1000 });
        b.rec(EmrRestoreDc, { -1 });
    }) << true << true;
    QTest::newRow("clip follows the transform at the time it was set") << build([](EmfBuilder &b) {
        b.rec(EmrIntersectClipRect, { 0, 0, 500, 1000 });
        b.rec(EmrSetMapMode, { 8 });
        b.rec(EmrSetWindowExtEx, { 1, 1 });
        b.rec(EmrSetViewportExtEx, { 4, 4 });
    }) << true << false;
}

void TestEmf::clippingLimitsDrawing()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, leftInked);
    QFETCH(bool, rightInked);
    const QImage image = renderBytes(bytes);
    QCOMPARE(isColor(image, 50, 100, Qt::red), leftInked);
    QCOMPARE(isColor(image, 150, 100, Qt::red), rightInked);
    QVERIFY(isColor(image, 50, 100, leftInked ? Qt::red : Qt::white));
    QVERIFY(isColor(image, 150, 100, rightInked ? Qt::red : Qt::white));
}

void TestEmf::shiftJisTextIsDecodedAndSpacedByDx()
{
    EmfBuilder b;
    // LOGFONTW: height -200, SHIFTJIS_CHARSET, a face this system lacks.
    QByteArray font = EmfBuilder::words({ 2, -200, 0, 0, 0, 400 });
    font.append(char(0)).append(char(0)).append(char(0)).append(char(128));
    font.append(QByteArray(4, '\0'));
    const QString face = QStringLiteral("MS Gothic");
    font.append(reinterpret_cast<const char *>(face.utf16()), face.size() * 2);
    font.append(QByteArray(96 - font.size(), '\0'));
    b.raw(EmrExtCreateFontIndirectW, font);
    b.rec(EmrSelectObject, { 2 });
    b.rec(EmrSetBkMode, { 1 });
    // 日本 in Shift_JIS; each lead byte carries most of the advance.
    QByteArray text = EmfBuilder::words({ 0, 0, 1000, 1000, 1, 0, 0 });
    text += EmfBuilder::words({ 100, 100, 4, 76, 0, 0, 0, 0, 0, 80 });
    text += QByteArray("\x93\xFA\x96\x7B", 4);
    text += EmfBuilder::words({ 250, 50, 250, 50 });
    b.raw(EmrExtTextOutA, text);
    const QImage image = renderBytes(b.finish());
    // Glyphs are 40 pixels high at (20, 20) and 60 pixels apart.
    QVERIFY(inkInColumns(image, 20, 60) > 50);
    QVERIFY(inkInColumns(image, 80, 120) > 50);
    QCOMPARE(inkInColumns(image, 63, 77), 0);
    QCOMPARE(inkInColumns(image, 125, 199), 0);
}

void TestEmf::stretchDibitsPlacesRowsAndAppliesTheRasterOperation_data()
{
    // A 2 x 2 bottom-up DIB: red and white on top, blue and green below.
    QTest::addColumn<qint64>("yDest");
    QTest::addColumn<qint64>("cyDest");
    QTest::addColumn<qint64>("rop");
    QTest::addColumn<bool>("yellowFirst");
    QTest::addColumn<QList<QColor>>("quadrants"); // top-left, top-right, bottom-left, bottom-right
    using C = QList<QColor>;
    QTest::newRow("SRCCOPY") << qint64(0) << qint64(1000) << qint64(0x00CC0020) << false
                             << C { Qt::red, Qt::white, Qt::blue, Qt::green };
    QTest::newRow("negative height mirrors") << qint64(1000) << qint64(-1000) << qint64(0x00CC0020) << false
                                             << C { Qt::blue, Qt::green, Qt::red, Qt::white };
    QTest::newRow("SRCAND over yellow") << qint64(0) << qint64(1000) << qint64(0x008800C6) << true
                                        << C { Qt::red, Qt::yellow, Qt::black, Qt::green };
    QTest::newRow("SRCINVERT over yellow") << qint64(0) << qint64(1000) << qint64(0x00660046) << true
                                           << C { Qt::green, Qt::blue, Qt::white, Qt::red };
}

void TestEmf::stretchDibitsPlacesRowsAndAppliesTheRasterOperation()
{
    QFETCH(qint64, yDest);
    QFETCH(qint64, cyDest);
    QFETCH(qint64, rop);
    QFETCH(bool, yellowFirst);
    QFETCH(QList<QColor>, quadrants);
    EmfBuilder b;
    if (yellowFirst) {
        solidFill(b, 1, 0x00FFFF);
        b.rec(EmrRectangle, { 0, 0, 1000, 1000 });
    }
    QByteArray record = EmfBuilder::words(
        { 0, 0, 1000, 1000, 0, yDest, 0, 0, 2, 2, 80, 40, 120, 16, 0, rop, 1000, cyDest });
    record += EmfBuilder::words({ 40, 2, 2, 1 | (24 << 16), 0, 16, 0, 0, 0, 0 });
    record += QByteArray("\xFF\x00\x00\x00\xFF\x00\x00\x00"
                         "\x00\x00\xFF\xFF\xFF\xFF\x00\x00",
        16);
    b.raw(81, record);
    const QImage image = renderBytes(b.finish());
    QVERIFY(isColor(image, 50, 50, quadrants[0], 8));
    QVERIFY(isColor(image, 150, 50, quadrants[1], 8));
    QVERIFY(isColor(image, 50, 150, quadrants[2], 8));
    QVERIFY(isColor(image, 150, 150, quadrants[3], 8));
}

namespace {

// A placeable WMF whose one rectangle fills its 100 x 100 box with red.
QByteArray redSquareWmf()
{
    auto w16 = [](QByteArray &out, std::initializer_list<int> values) {
        for (int v : values)
            out.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF));
    };
    QByteArray records;
    w16(records, { 7, 0, 0x02FC, 0, 0x00FF, 0, 0 }); // CreateBrushIndirect: solid red
    w16(records, { 4, 0, 0x012D, 0 }); // SelectObject 0
    w16(records, { 7, 0, 0x041B, 100, 100, 0, 0 }); // Rectangle
    w16(records, { 3, 0, 0 }); // end
    QByteArray wmf;
    w16(wmf, { 0xCDD7, 0x9AC6, 0, 0, 0, 100, 100, 1440, 0, 0 });
    quint16 checksum = 0;
    for (int i = 0; i < 20; i += 2)
        checksum ^= quint16(quint8(wmf[i]) | (quint8(wmf[i + 1]) << 8));
    w16(wmf, { checksum });
    const int words = 9 + int(records.size()) / 2;
    w16(wmf, { 1, 9, 0x0300, words & 0xFFFF, words >> 16, 1, 7, 0, 0 });
    return wmf + records;
}

} // namespace

void TestEmf::embeddedWmfStandsInForRecordsThatDrawNothing_data()
{
    QTest::addColumn<bool>("recordsDraw");
    QTest::newRow("records draw nothing") << false;
    QTest::newRow("records draw") << true;
}

void TestEmf::embeddedWmfStandsInForRecordsThatDrawNothing()
{
    QFETCH(bool, recordsDraw);
    const QByteArray wmf = redSquareWmf();
    QByteArray comment
        = EmfBuilder::words({ 24 + wmf.size(), 0x43494447, 0x80000001, 0x0300, 0, 0, wmf.size() });
    EmfBuilder b;
    b.raw(70, comment + wmf);
    if (recordsDraw) {
        solidFill(b, 1, kBlue);
        b.rec(EmrRectangle, { 0, 0, 100, 100 });
    }
    const QImage image = renderBytes(b.finish());
    QCOMPARE(isColor(image, 100, 100, Qt::red), !recordsDraw);
    QVERIFY(isColor(image, 100, 100, recordsDraw ? Qt::white : Qt::red));
}

// StretchDIBits with DIB_PAL_INDICES: an 8-bit bitmap with no colour table
// whose pixels (2 and 1) are entries of the palette selected before it.
void TestEmf::bitmapWithoutColourTableIndexesTheSelectedPalette()
{
    EmfBuilder b;
    // Palette 1: black, red, blue (entries are red, green, blue, flags).
    b.raw(EmrCreatePalette, EmfBuilder::words({ 1, 0x0300 | (3 << 16), 0x00000000, 0x000000FF, 0x00FF0000 }));
    b.rec(EmrSelectPalette, { 1 });
    QByteArray record = EmfBuilder::words(
        { 0, 0, 1000, 1000, 0, 0, 0, 0, 2, 1, 80, 40, 120, 4, 2, 0x00CC0020, 1000, 1000 });
    record += EmfBuilder::words({ 40, 2, 1, 1 | (8 << 16), 0, 4, 0, 0, 0, 0 });
    record += QByteArray("\x02\x01\0\0", 4);
    b.raw(EmrStretchDiBits, record);
    const QImage image = renderBytes(b.finish());
    QVERIFY(isColor(image, 50, 100, Qt::blue, 8));
    QVERIFY(isColor(image, 150, 100, Qt::red, 8));
}

void TestEmf::monochromeBrushBitsChooseTextOrBackgroundColour_data()
{
    QTest::addColumn<qint64>("usage");
    QTest::addColumn<QByteArray>("colourTable");
    QTest::newRow("palette indices, no colour table") << qint64(2) << QByteArray();
    QTest::newRow("black and white colour table") << qint64(0) << QByteArray("\0\0\0\0\xFF\xFF\xFF\0", 8);
}

// An 8 x 8 monochrome brush, its left four columns 0 bits and its right
// four 1 bits, fills with stripes of the text colour (red) and the
// background colour (blue), whether or not it carries a colour table.
void TestEmf::monochromeBrushBitsChooseTextOrBackgroundColour()
{
    QFETCH(qint64, usage);
    QFETCH(QByteArray, colourTable);
    const qint64 bmiSize = 40 + colourTable.size();
    QByteArray brush = EmfBuilder::words({ 1, usage, 32, bmiSize, 32 + bmiSize, 32 });
    brush += EmfBuilder::words({ 40, 8, 8, 1 | (1 << 16), 0, 32, 0, 0, colourTable.size() / 4, 0 });
    brush += colourTable;
    for (int row = 0; row < 8; ++row)
        brush += QByteArray("\x0F\0\0\0", 4);
    EmfBuilder b;
    b.raw(EmrCreateMonoBrush, brush);
    b.rec(EmrSelectObject, { 1 });
    b.rec(EmrSetTextColor, { 0x0000FF });
    b.rec(EmrSetBkColor, { 0xFF0000 });
    b.rec(EmrRectangle, { 0, 0, 1000, 1000 });
    const QImage image = renderBytes(b.finish());
    int red = 0, blue = 0, other = 0;
    for (int y = 20; y < 180; y += 3) {
        for (int x = 20; x < 180; x += 3) {
            (isColor(image, x, y, Qt::red, 8) ? red : isColor(image, x, y, Qt::blue, 8) ? blue : other)++;
        }
    }
    QVERIFY2(red > 500 && blue > 500,
        qPrintable(QStringLiteral("red %1, blue %2, other %3").arg(red).arg(blue).arg(other)));
}

QTEST_MAIN(TestEmf)
#include "tst_emf.moc"

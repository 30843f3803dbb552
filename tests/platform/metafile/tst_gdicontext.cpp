// The shared GDI device context: save/restore levels, the handle table,
// raster operations, text decoding and font choice.
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>
#include <QTest>

#include <algorithm>
#include <cmath>

#include "platform/metafile/gdicontext.h"

using vm::GdiContext;

namespace {

QImage blankImage(QColor fill = Qt::white)
{
    QImage image(8, 8, QImage::Format_ARGB32_Premultiplied);
    image.fill(fill);
    return image;
}

QByteArray words16(std::initializer_list<int> bytes)
{
    QByteArray out;
    for (int b : bytes)
        out.append(char(b));
    return out;
}

} // namespace

class TestGdiContext : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void restoreDcFollowsRelativeAndAbsoluteLevels_data();
    void restoreDcFollowsRelativeAndAbsoluteLevels();
    void saveStackIsBounded();
    void handleTableTakesLowestFreeSlotAndIgnoresStrayIndices();
    void ternaryRasterOperationsCombinePixels_data();
    void ternaryRasterOperationsCombinePixels();
    void eightBitTextIsDecodedByCharacterSet_data();
    void eightBitTextIsDecodedByCharacterSet();
    void missingFacesFallBackByCharacterSet_data();
    void missingFacesFallBackByCharacterSet();
    void substitutesKeepTheAdvanceWidthsOfWindowsFaces_data();
    void substitutesKeepTheAdvanceWidthsOfWindowsFaces();
    void absurdCoordinatesAreDropped();
    void frameRegionDrawsOnlyTheBorder();
    void gradientTriangleBlendsItsCorners();
    void rasterOperationsCoverTallAreas();
    void strokeReachingFarPastThePictureIsCutNotLeftOut();
    void symbolBracketPiecesFillTheirCell();
    void costlyShapeIsFilledWithHardEdges();
};

void TestGdiContext::restoreDcFollowsRelativeAndAbsoluteLevels_data()
{
    // Three saves of text colours 1, 2 and 3, then the current colour 4.
    QTest::addColumn<int>("level");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<quint32>("color");
    QTest::addColumn<int>("nextRelative"); // colour a further RestoreDC(-1) gives, 0 for none
    QTest::newRow("-1 is the last save") << -1 << true << 3u << 2;
    QTest::newRow("-3 is the first save") << -3 << true << 1u << 0;
    QTest::newRow("1 is the first save") << 1 << true << 1u << 0;
    QTest::newRow("2 is the second save") << 2 << true << 2u << 1;
    QTest::newRow("-4 is past the stack") << -4 << false << 4u << 3;
    QTest::newRow("4 is past the stack") << 4 << false << 4u << 3;
    QTest::newRow("0 is no level") << 0 << false << 4u << 3;
}

void TestGdiContext::restoreDcFollowsRelativeAndAbsoluteLevels()
{
    QFETCH(int, level);
    QFETCH(bool, ok);
    QFETCH(quint32, color);
    QFETCH(int, nextRelative);
    QImage image = blankImage();
    GdiContext dc(&image, QTransform(), QSizeF(4, 4));
    for (quint32 c = 1; c <= 3; ++c) {
        dc.state().textColor = c;
        QVERIFY(dc.saveDc());
    }
    dc.state().textColor = 4;
    QCOMPARE(dc.restoreDc(level), ok);
    QCOMPARE(dc.state().textColor, color);
    QCOMPARE(dc.restoreDc(-1), nextRelative != 0);
    if (nextRelative)
        QCOMPARE(dc.state().textColor, quint32(nextRelative));
}

void TestGdiContext::saveStackIsBounded()
{
    QImage image = blankImage();
    GdiContext dc(&image, QTransform(), QSizeF(4, 4));
    int saved = 0;
    while (dc.saveDc() && saved < 100000)
        ++saved;
    QCOMPARE(saved, GdiContext::kMaxSaveDepth);
}

void TestGdiContext::handleTableTakesLowestFreeSlotAndIgnoresStrayIndices()
{
    vm::GdiObjectTable table(3);
    QCOMPARE(table.lowestFree(), 0);
    QVERIFY(table.store(0, vm::GdiPen()));
    QVERIFY(table.store(1, vm::GdiBrush()));
    QCOMPARE(table.lowestFree(), 2);
    QVERIFY(table.remove(0));
    QCOMPARE(table.lowestFree(), 0);
    QVERIFY(!table.remove(0));
    QVERIFY(!table.store(3, vm::GdiPen()));
    QVERIFY(!table.store(-1, vm::GdiPen()));
    QVERIFY(table.find(7) == nullptr);
    QVERIFY(table.find(-7) == nullptr);
    QVERIFY(table.store(2, vm::GdiFont()));
    QVERIFY(table.store(0, vm::GdiFont()));
    QCOMPARE(table.lowestFree(), -1);
    table.resize(1 << 30);
    QCOMPARE(table.size(), vm::GdiObjectTable::kMaxSize);
}

void TestGdiContext::ternaryRasterOperationsCombinePixels_data()
{
    QTest::addColumn<quint32>("rop");
    QTest::addColumn<bool>("withSource");
    QTest::addColumn<QRgb>("expected");
    // Destination 0x33CC55, source 0x0F0F0F, brush 0xAA0000.
    const QRgb d = 0x33CC55, s = 0x0F0F0F, p = 0xAA0000;
    QTest::newRow("SRCCOPY") << 0x00CC0020u << true << s;
    QTest::newRow("SRCAND") << 0x008800C6u << true << (s & d);
    QTest::newRow("SRCPAINT") << 0x00EE0086u << true << (s | d);
    QTest::newRow("SRCINVERT") << 0x00660046u << true << (s ^ d);
    QTest::newRow("SRCERASE") << 0x00440328u << true << (s & ~d & 0xFFFFFF);
    QTest::newRow("NOTSRCCOPY") << 0x00330008u << true << (~s & 0xFFFFFF);
    QTest::newRow("MERGEPAINT") << 0x00BB0226u << true << ((~s | d) & 0xFFFFFF);
    QTest::newRow("MERGECOPY") << 0x00C000CAu << true << (s & p);
    QTest::newRow("DSTINVERT") << 0x00550009u << false << (~d & 0xFFFFFF);
    QTest::newRow("PATINVERT") << 0x005A0049u << false << (p ^ d);
    QTest::newRow("PATCOPY") << 0x00F00021u << false << p;
    QTest::newRow("BLACKNESS") << 0x00000042u << false << QRgb(0);
    QTest::newRow("WHITENESS") << 0x00FF0062u << false << QRgb(0xFFFFFF);
    QTest::newRow("DPSoo (generic table)") << 0x00FE02A9u << true << (d | p | s);
}

void TestGdiContext::ternaryRasterOperationsCombinePixels()
{
    QFETCH(quint32, rop);
    QFETCH(bool, withSource);
    QFETCH(QRgb, expected);
    QImage image = blankImage(QColor(0x33, 0xCC, 0x55));
    {
        GdiContext dc(&image, QTransform(), QSizeF(4, 4));
        dc.state().brush.color = 0x0000AA; // COLORREF of 0xAA0000 RGB
        QImage source(4, 4, QImage::Format_RGB32);
        source.fill(QColor(0x0F, 0x0F, 0x0F));
        if (withSource)
            dc.drawBitmap(QRectF(2, 2, 4, 4), source, QRectF(0, 0, 4, 4), rop);
        else
            dc.patBlt(QRectF(2, 2, 4, 4), rop);
    }
    QCOMPARE(image.pixel(3, 3) & 0xFFFFFF, expected);
    QCOMPARE(image.pixel(0, 0) & 0xFFFFFF, QRgb(0x33CC55)); // outside the blit
}

void TestGdiContext::eightBitTextIsDecodedByCharacterSet_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("charSet");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<double>>("dx");
    QTest::addColumn<QList<double>>("folded");
    using D = QList<double>;
    QTest::newRow("Shift_JIS pairs fold their advances")
        << words16({ 0x93, 0xFA, 0x96, 0x7B, 0x41 }) << 128 << QStringLiteral("日本A")
        << D { 10, 2, 10, 2, 7 } << D { 12, 12, 7 };
    QTest::newRow("half-width katakana is one byte")
        << words16({ 0xB1, 0x82, 0xA0 }) << 128 << QStringLiteral("ｱあ") << D { 5, 9, 1 } << D { 5, 10 };
    QTest::newRow("ANSI") << words16({ 0x43, 0x61, 0x66, 0xE9, 0x80 }) << 0 << QStringLiteral("Café€")
                          << D { 1, 2, 3, 4, 5 } << D { 1, 2, 3, 4, 5 };
    QTest::newRow("Russian") << words16({ 0xCF, 0xF0, 0xE8 }) << 204 << QStringLiteral("При") << D {} << D {};
    QTest::newRow("GB2312") << words16({ 0xD6, 0xD0, 0xCE, 0xC4 }) << 134 << QStringLiteral("中文")
                            << D { 4, 4, 4, 4 } << D { 8, 8 };
    QTest::newRow("Big5") << words16({ 0xA4, 0xA4 }) << 136 << QStringLiteral("中") << D {} << D {};
    QTest::newRow("short dx array is left alone")
        << words16({ 0x93, 0xFA }) << 128 << QStringLiteral("日") << D { 3 } << D { 3 };
}

void TestGdiContext::eightBitTextIsDecodedByCharacterSet()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, charSet);
    QFETCH(QString, text);
    QFETCH(QList<double>, dx);
    QFETCH(QList<double>, folded);
    QCOMPARE(GdiContext::decodeText(bytes, charSet, &dx), text);
    QCOMPARE(dx, folded);
}

void TestGdiContext::missingFacesFallBackByCharacterSet_data()
{
    QTest::addColumn<QString>("face");
    QTest::addColumn<int>("charSet");
    QTest::addColumn<QString>("resolved");
    QTest::newRow("unknown Latin face")
        << QStringLiteral("Frutiger Obscura") << 0 << QStringLiteral("DejaVu Sans");
    QTest::newRow("unknown face, Japanese charset")
        << QStringLiteral("Arial") << 128 << QStringLiteral("IPAGothic");
    QTest::newRow("Japanese face, default charset")
        << QStringLiteral("ＭＳ ゴシック") << 1 << QStringLiteral("IPAGothic");
    QTest::newRow("proportional Japanese face")
        << QStringLiteral("ＭＳ Ｐゴシック") << 128 << QStringLiteral("IPAPGothic");
    QTest::newRow("proportional Japanese face, Latin name")
        << QStringLiteral("MS PGothic") << 0 << QStringLiteral("IPAPGothic");
    // Office's own faces, named in Japanese: proportional by design or by their P.
    QTest::newRow("Yu Gothic in Japanese")
        << QStringLiteral("游ゴシック") << 128 << QStringLiteral("IPAPGothic");
    QTest::newRow("Meiryo in Japanese") << QStringLiteral("メイリオ") << 1 << QStringLiteral("IPAPGothic");
    QTest::newRow("BIZ UDPGothic in Japanese")
        << QStringLiteral("BIZ UDPゴシック") << 128 << QStringLiteral("IPAPGothic");
    QTest::newRow("HGP face") << QStringLiteral("HGP創英角ｺﾞｼｯｸUB") << 128 << QStringLiteral("IPAPGothic");
    QTest::newRow("BIZ UDGothic, Latin name, default charset")
        << QStringLiteral("BIZ UDGothic") << 1 << QStringLiteral("IPAGothic");
    // Symbol text arrives as Unicode Greek, signs and bracket pieces.
    QTest::newRow("Symbol") << QStringLiteral("Symbol") << 2 << QStringLiteral("DejaVu Math TeX Gyre");
    QTest::newRow("installed face is kept")
        << QStringLiteral("DejaVu Sans Mono") << 128 << QStringLiteral("DejaVu Sans Mono");
}

void TestGdiContext::missingFacesFallBackByCharacterSet()
{
    QFETCH(QString, face);
    QFETCH(int, charSet);
    QFETCH(QString, resolved);
    if (!QFontDatabase::families().contains(resolved))
        QSKIP("the expected family is not installed");
    QCOMPARE(GdiContext::resolveFace(face, charSet), resolved);
}

void TestGdiContext::substitutesKeepTheAdvanceWidthsOfWindowsFaces_data()
{
    // Advances of the Windows faces, in ems, that text without per-character
    // spacing is laid out by.
    QTest::addColumn<QString>("face");
    QTest::addColumn<QChar>("glyph");
    QTest::addColumn<double>("advanceEm");
    QTest::addColumn<QStringList>("compatible");
    const QStringList serif = { "Liberation Serif", "Nimbus Roman", "Tinos" };
    const QStringList sans = { "Liberation Sans", "Nimbus Sans", "Arimo" };
    const QStringList mono = { "Liberation Mono", "Nimbus Mono PS", "Cousine" };
    QTest::newRow("Times New Roman m") << QStringLiteral("Times New Roman") << QChar(u'm') << 0.778 << serif;
    QTest::newRow("Times New Roman e") << QStringLiteral("Times New Roman") << QChar(u'e') << 0.444 << serif;
    QTest::newRow("Arial m") << QStringLiteral("Arial") << QChar(u'm') << 0.833 << sans;
    QTest::newRow("Arial i") << QStringLiteral("Arial") << QChar(u'i') << 0.222 << sans;
    QTest::newRow("Helvetica o") << QStringLiteral("Helvetica") << QChar(u'o') << 0.556 << sans;
    QTest::newRow("Courier New m") << QStringLiteral("Courier New") << QChar(u'm') << 0.600 << mono;
}

void TestGdiContext::substitutesKeepTheAdvanceWidthsOfWindowsFaces()
{
    QFETCH(QString, face);
    QFETCH(QChar, glyph);
    QFETCH(double, advanceEm);
    QFETCH(QStringList, compatible);
    const QStringList installed = QFontDatabase::families();
    const auto isInstalled = [&](const QString &family) {
        return std::any_of(installed.begin(), installed.end(),
            [&](const QString &f) { return f == family || f.startsWith(family + QLatin1String(" [")); });
    };
    if (std::none_of(compatible.begin(), compatible.end(), isInstalled))
        QSKIP("no metric-compatible family installed");
    const QString family = GdiContext::resolveFace(face, 0);
    QFont font(family);
    font.setPixelSize(1000);
    const double advance = QFontMetricsF(font).horizontalAdvance(QString(10, glyph)) / 10000.0;
    QVERIFY2(std::abs(advance - advanceEm) < 0.02 * advanceEm,
        qPrintable(QStringLiteral("%1: %2 em, want %3").arg(family).arg(advance).arg(advanceEm)));
}

void TestGdiContext::absurdCoordinatesAreDropped()
{
    QImage image = blankImage();
    GdiContext dc(&image, QTransform(), QSizeF(4, 4));
    dc.state().brush.color = 0;
    dc.rectangle(QRectF(QPointF(-1e300, -1e300), QPointF(1e300, 1e300)));
    dc.polygon(QPolygonF({ QPointF(qQNaN(), 0), QPointF(1, 1), QPointF(2, 0) }));
    dc.setWorldTransform(QTransform(qInf(), 0, 0, 1, 0, 0));
    QVERIFY(dc.state().world.isIdentity());
    dc.setMapMode(vm::MmAnisotropic);
    dc.setWindowExt(QSizeF(0, 5));
    QCOMPARE(dc.state().windowExt, QSizeF(1, 1));
    QCOMPARE(image.pixel(4, 4) & 0xFFFFFF, QRgb(0xFFFFFF));
}

void TestGdiContext::frameRegionDrawsOnlyTheBorder()
{
    QImage image(40, 40, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    {
        GdiContext dc(&image, QTransform::fromScale(2, 2), QSizeF(4, 4));
        dc.state().fillMode = 2; // WINDING must not fill the hole
        vm::GdiRegion region;
        region.device = false;
        region.path.addRect(QRectF(2, 2, 16, 16)); // image pixels 4..36
        vm::GdiBrush black;
        black.color = 0;
        dc.frameRegion(region, black, QSizeF(2, 3)); // 4 pixels across, 6 down
    }
    QCOMPARE(image.pixel(5, 20) & 0xFFFFFF, QRgb(0)); // left border
    QCOMPARE(image.pixel(20, 8) & 0xFFFFFF, QRgb(0)); // top border
    QCOMPARE(image.pixel(20, 20) & 0xFFFFFF, QRgb(0xFFFFFF)); // inside
    QCOMPARE(image.pixel(10, 12) & 0xFFFFFF, QRgb(0xFFFFFF));
    QCOMPARE(image.pixel(2, 2) & 0xFFFFFF, QRgb(0xFFFFFF)); // outside
}

void TestGdiContext::gradientTriangleBlendsItsCorners()
{
    QImage image(64, 64, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    {
        GdiContext dc(&image, QTransform(), QSizeF(4, 4));
        dc.gradientFill(
            { { QPointF(0, 0), Qt::red }, { QPointF(60, 0), Qt::green }, { QPointF(0, 60), Qt::blue } },
            { 0, 1, 2 }, 2);
    }
    auto near = [&](int x, int y, QColor want) {
        const QColor c = image.pixelColor(x, y);
        return std::abs(c.red() - want.red()) < 24 && std::abs(c.green() - want.green()) < 24
            && std::abs(c.blue() - want.blue()) < 24;
    };
    QVERIFY(near(1, 1, Qt::red));
    QVERIFY(near(57, 1, Qt::green));
    QVERIFY(near(1, 57, Qt::blue));
    QVERIFY(near(20, 20, QColor(85, 85, 85))); // centroid: equal thirds
    QVERIFY(near(29, 1, QColor(128, 128, 0))); // middle of the red-green edge
    QVERIFY(near(50, 50, Qt::white)); // outside the triangle
}

void TestGdiContext::rasterOperationsCoverTallAreas()
{
    // Taller than one working band of rows.
    QImage image(40, 700, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    {
        GdiContext dc(&image, QTransform(), QSizeF(4, 4));
        dc.patBlt(QRectF(0, 0, 20, 700), 0x00550009); // DSTINVERT
        QImage source(1, 1, QImage::Format_RGB32);
        source.fill(QColor(0x00, 0xFF, 0x00));
        dc.drawBitmap(QRectF(20, 0, 20, 700), source, QRectF(0, 0, 1, 1), 0x00660046); // SRCINVERT
    }
    for (int y : { 0, 255, 256, 511, 512, 699 }) {
        QCOMPARE(image.pixel(10, y) & 0xFFFFFF, QRgb(0xFFFFFF));
        QCOMPARE(image.pixel(30, y) & 0xFFFFFF, QRgb(0x00FF00));
    }
}

void TestGdiContext::strokeReachingFarPastThePictureIsCutNotLeftOut()
{
    QImage image(64, 64, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    {
        GdiContext dc(&image, QTransform(), QSizeF(4, 4));
        dc.state().pen.width = 3;
        dc.state().pen.color = 0;
        dc.state().brush.style = vm::GdiBrush::Null;
        dc.polyline(QPolygonF({ QPointF(10, 20), QPointF(1e6, 20) }));
        // A frame whose far corners lie a million pixels away: the corner
        // that shows keeps its join.
        dc.state().pen.style = vm::GdiPen::Geometric | vm::GdiPen::JoinMiter;
        dc.polygon(QPolygonF({ QPointF(10, 40), QPointF(50, 40), QPointF(50, 1e6), QPointF(10, 1e6) }));
    }
    QCOMPARE(image.pixel(40, 20) & 0xFFFFFF, QRgb(0));
    QCOMPARE(image.pixel(63, 20) & 0xFFFFFF, QRgb(0));
    QVERIFY(qRed(image.pixel(50, 39)) < 80); // the corner
    QCOMPARE(image.pixel(50, 60) & 0xFFFFFF, QRgb(0));
    QCOMPARE(image.pixel(30, 50) & 0xFFFFFF, QRgb(0xFFFFFF));
}

void TestGdiContext::symbolBracketPiecesFillTheirCell()
{
    // Pieces on lines one cell apart must join into one tall bracket: each
    // reaches from 1.005 em above its baseline to 0.216 em below.
    QImage image(100, 400, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    {
        GdiContext dc(&image, QTransform(), QSizeF(4, 4));
        dc.state().font.faceName = QStringLiteral("Symbol");
        dc.state().font.height = -100;
        dc.state().textAlign = vm::TaBaseline;
        dc.state().textColor = 0;
        dc.textOut(QPointF(20, 150), QString(QChar(0x23A2)), {}); // left bracket extension
    }
    int top = -1, bottom = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qRed(image.pixel(x, y)) < 128) {
                if (top < 0)
                    top = y;
                bottom = y;
                break;
            }
        }
    }
    QVERIFY2(top >= 0, "nothing drawn");
    QVERIFY2(std::abs(top - (150 - 100.5)) <= 2, qPrintable(QString::number(top)));
    QVERIFY2(std::abs(bottom - (150 + 21.6)) <= 2, qPrintable(QString::number(bottom)));
}

void TestGdiContext::costlyShapeIsFilledWithHardEdges()
{
    // A 97-point star across the page would keep the antialiasing
    // rasteriser busy for seconds; it is filled all the same, hard-edged.
    QPolygonF star;
    for (int i = 0; i < 97; ++i) {
        const double a = i * 2 * M_PI * 48 / 97, r = i % 2 ? 0.35 : 1.3;
        star << QPointF(300 * (1 + r * std::cos(a)), 400 * (1 + r * std::sin(a)));
    }
    QImage image(600, 800, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    {
        GdiContext dc(&image, QTransform(), QSizeF(4, 4));
        dc.state().pen.style = vm::GdiPen::Null;
        dc.state().brush.color = 0x0000FF; // red
        dc.polygon(star);
    }
    QImage expected(image.size(), image.format());
    expected.fill(Qt::white);
    {
        QPainter painter(&expected);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::red);
        painter.drawPolygon(star, Qt::OddEvenFill);
    }
    QCOMPARE(image, expected);
}

QTEST_MAIN(TestGdiContext)
#include "tst_gdicontext.moc"

// The EMF+ player: which copy of a dual file is drawn, objects (also split
// over continued records), brushes, pens and every shape record.
#include <QDirIterator>
#include <QFile>
#include <QTest>

#include <functional>

#include "platform/metafile/metafile.h"
#include "platform/runtimeerror.h"
#include "support/testsupport.h"
#include "support/emfplustests.h"

using namespace vmtest;
using vm::EmfPlusObjectType;

class TestEmfPlus : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void dualFilesDrawOneCopy_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QColor>("atEmfPlus"); // at (20,20), where EMF+ fills blue
        QTest::addColumn<QColor>("atGdi"); // at (75,75), where GDI fills red

        EmfPlusBuilder dual;
        fill(dual, QRectF(10, 10, 20, 20), kBlue);
        QTest::newRow("dual: the EMF+ copy") << gdiRedSquare(dual).finish() << kBlue << kWhite;

        EmfPlusBuilder plusOnly(true, 0);
        fill(plusOnly, QRectF(10, 10, 20, 20), kBlue);
        QTest::newRow("EMF+ only: GDI records skipped") << gdiRedSquare(plusOnly).finish() << kBlue << kWhite;

        EmfPlusBuilder getDc;
        fill(getDc, QRectF(10, 10, 20, 20), kBlue).plus(vm::EmfPlusGetDc, 0, {});
        QTest::newRow("GDI records after GetDC") << gdiRedSquare(getDc).finish() << kBlue << kRed;

        EmfPlusBuilder ended;
        fill(ended, QRectF(10, 10, 20, 20), kBlue).plus(vm::EmfPlusGetDc, 0, {}).flush();
        ended.plus(vm::EmfPlusSetAntiAliasMode, 1, {});
        QTest::newRow("GetDC ends at the next EMF+ record")
            << gdiRedSquare(ended).finish() << kBlue << kWhite;

        EmfPlusBuilder noHeader(false);
        fill(noHeader, QRectF(10, 10, 20, 20), kBlue);
        QTest::newRow("no valid header: the GDI copy") << gdiRedSquare(noHeader).finish() << kWhite << kRed;

        EmfPlusBuilder shortHeader(false);
        shortHeader.plus(vm::EmfPlusHeader, 1, PlusData().u32(kPlusVersion).u32(0));
        fill(shortHeader, QRectF(10, 10, 20, 20), kBlue);
        QTest::newRow("header too short: the GDI copy")
            << gdiRedSquare(shortHeader).finish() << kWhite << kRed;
    }
    void dualFilesDrawOneCopy()
    {
        QFETCH(QByteArray, file);
        QFETCH(QColor, atEmfPlus);
        QFETCH(QColor, atGdi);
        const QImage image = render(file);
        QVERIFY2(near(image, { 20, 20 }, atEmfPlus), qPrintable(describe(image, { 20, 20 })));
        QVERIFY2(near(image, { 75, 75 }, atGdi), qPrintable(describe(image, { 75, 75 })));
    }

    void objectsAndContinuedObjects_data()
    {
        // Blue is filled first, then green through brush object 5 (if it
        // exists), then red by colour. A lying object record ends play:
        // blue stays and red never comes.
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QColor>("green");
        QTest::addColumn<QColor>("red");
        const QByteArray brush = solidBrush(kGreen);
        const auto make = [](const std::function<void(EmfPlusBuilder &)> &objects) {
            EmfPlusBuilder b;
            fill(b, QRectF(0, 0, 30, 30), kBlue);
            objects(b);
            b.plus(vm::EmfPlusFillRects, 0, fillRect(QRectF(35, 35, 30, 30), 5));
            fill(b, QRectF(70, 70, 30, 30), kRed);
            return b.finish();
        };
        const quint16 brush5 = 5 | (quint16(EmfPlusObjectType::Brush) << 8);
        QTest::newRow("whole") << make([&](EmfPlusBuilder &b) {
            b.object(5, EmfPlusObjectType::Brush, brush);
        }) << kGreen << kRed;
        QTest::newRow("split in two") << make([&](EmfPlusBuilder &b) {
            b.plus(vm::EmfPlusObject, brush5 | 0x8000,
                PlusData().u32(quint32(brush.size())).bytes(brush.left(6)));
            b.flush(); // the second part in another comment
            b.plus(vm::EmfPlusObject, brush5 | 0x8000,
                PlusData().u32(quint32(brush.size())).bytes(brush.mid(6)));
        }) << kGreen << kRed;
        QTest::newRow("last part not flagged") << make([&](EmfPlusBuilder &b) {
            b.plus(vm::EmfPlusObject, brush5 | 0x8000,
                PlusData().u32(quint32(brush.size())).bytes(brush.left(8)));
            b.plus(vm::EmfPlusObject, brush5, brush.mid(8));
        }) << kWhite << kRed; // an unflagged record is an object of its own: a broken brush
        QTest::newRow("parts past their total") << make([&](EmfPlusBuilder &b) {
            b.plus(vm::EmfPlusObject, brush5 | 0x8000, PlusData().u32(6).bytes(brush));
        }) << kWhite << kWhite;
        QTest::newRow("total past the bound") << make([&](EmfPlusBuilder &b) {
            b.plus(vm::EmfPlusObject, brush5 | 0x8000, PlusData().u32(0x7FFFFFFF).bytes(brush));
        }) << kWhite << kWhite;
        QTest::newRow("id past the 64-entry table")
            << make([&](EmfPlusBuilder &b) { b.object(64, EmfPlusObjectType::Brush, brush); }) << kWhite
            << kWhite;
        QTest::newRow("unknown brush type") << make([&](EmfPlusBuilder &b) {
            b.object(5, EmfPlusObjectType::Brush, PlusData().u32(kPlusVersion).u32(9).argb(kGreen));
        }) << kWhite << kRed;
        QTest::newRow("slot reused by a pen") << make([&](EmfPlusBuilder &b) {
            b.object(5, EmfPlusObjectType::Brush, brush);
            b.object(5, EmfPlusObjectType::Pen, pen(1, kGreen));
        }) << kWhite << kRed;
    }
    void objectsAndContinuedObjects()
    {
        QFETCH(QByteArray, file);
        QFETCH(QColor, green);
        QFETCH(QColor, red);
        const QImage image = render(file);
        QVERIFY2(near(image, { 15, 15 }, kBlue), qPrintable(describe(image, { 15, 15 })));
        QVERIFY2(near(image, { 50, 50 }, green), qPrintable(describe(image, { 50, 50 })));
        QVERIFY2(near(image, { 85, 85 }, red), qPrintable(describe(image, { 85, 85 })));
    }

    void brushesFill_data()
    {
        QTest::addColumn<QByteArray>("brush");
        QTest::addColumn<QPoint>("a");
        QTest::addColumn<QColor>("atA");
        QTest::addColumn<QPoint>("b");
        QTest::addColumn<QColor>("atB");
        const QRectF all(0, 0, 100, 100);
        QTest::newRow("solid") << solidBrush(kGreen) << QPoint(5, 5) << kGreen << QPoint(95, 95) << kGreen;
        QTest::newRow("linear") << linearBrush(all, kRed, kBlue) << QPoint(2, 50) << kRed << QPoint(97, 50)
                                << kBlue;
        const QByteArray preset = PlusData().u32(3).f(0).f(0.5f).f(1).argb(kRed).argb(kGreen).argb(kBlue);
        QTest::newRow("linear, preset colours") << linearBrush(all, kRed, kBlue, 0x4, preset)
                                                << QPoint(50, 50) << kGreen << QPoint(2, 50) << kRed;
        const QByteArray factors = PlusData().u32(3).f(0).f(0.6f).f(1).f(0).f(0).f(1);
        QTest::newRow("linear, blend factors") << linearBrush(all, kRed, kBlue, 0x8, factors)
                                               << QPoint(40, 50) << kRed << QPoint(98, 50) << kBlue;
        const QByteArray turned = PlusData().f(0).f(1).f(-1).f(0).f(100).f(0); // x runs down the picture
        QTest::newRow("linear, transformed")
            << linearBrush(all, kRed, kBlue, 0x2, turned) << QPoint(50, 2) << kRed << QPoint(50, 97) << kBlue;
        QTest::newRow("path gradient")
            << pathGradientBrush({ 50, 50 }, kRed, kBlue, { { 0, 0 }, { 100, 0 }, { 100, 100 }, { 0, 100 } })
            << QPoint(50, 50) << kRed << QPoint(50, 2) << kBlue;
    }
    void brushesFill()
    {
        QFETCH(QByteArray, brush);
        QFETCH(QPoint, a);
        QFETCH(QColor, atA);
        QFETCH(QPoint, b);
        QFETCH(QColor, atB);
        EmfPlusBuilder file;
        file.object(3, EmfPlusObjectType::Brush, brush)
            .plus(vm::EmfPlusFillRects, 0, fillRect(QRectF(0, 0, 100, 100), 3));
        const QImage image = render(file.finish());
        QVERIFY2(near(image, a, atA), qPrintable(describe(image, a)));
        QVERIFY2(near(image, b, atB), qPrintable(describe(image, b)));
    }

    void hatchBrushShowsBothColours()
    {
        EmfPlusBuilder file;
        file.object(3, EmfPlusObjectType::Brush, hatchBrush(0, kBlue, QColor(255, 255, 0)))
            .plus(vm::EmfPlusFillRects, 0, fillRect(QRectF(0, 0, 100, 100), 3));
        const QImage image = render(file.finish());
        int blue = 0, yellow = 0;
        for (int y = 40; y < 56; ++y) {
            blue += near(image, { 50, y }, kBlue, 80);
            yellow += near(image, { 50, y }, QColor(255, 255, 0), 80);
        }
        QVERIFY2(
            blue >= 2 && yellow >= 8, qPrintable(QStringLiteral("%1 blue, %2 yellow").arg(blue).arg(yellow)));
    }

    void penWidthsAndAlignment_data()
    {
        QTest::addColumn<QByteArray>("penData");
        QTest::addColumn<quint16>("type");
        QTest::addColumn<QByteArray>("record"); // drawn with pen 2
        QTest::addColumn<QPoint>("inked");
        QTest::addColumn<QPoint>("clear");
        const QByteArray line = PlusData().u32(2).points({ { 10, 50 }, { 90, 50 } });
        const QByteArray square = PlusData().u32(1).rect(QRectF(20, 20, 60, 60));
        const quint16 lines = vm::EmfPlusDrawLines, rects = vm::EmfPlusDrawRects;
        QTest::newRow("world units") << pen(6, kBlue) << lines << line << QPoint(50, 52) << QPoint(50, 56);
        // Two millimetres at 96 dpi: 7.6 pixels, whatever the world transform.
        QTest::newRow("millimetres") << pen(2, kBlue, vm::UnitMillimeter) << lines << line << QPoint(50, 53)
                                     << QPoint(50, 57);
        QTest::newRow("centred on the edge")
            << pen(10, kBlue) << rects << square << QPoint(17, 50) << QPoint(27, 50);
        QTest::newRow("inset") << pen(10, kBlue, vm::UnitWorld, 0x200, PlusData().u32(1)) << rects << square
                               << QPoint(27, 50) << QPoint(17, 50);
        // A double line 12 wide: stripes 4 wide on either side of a gap, the
        // stripes mitred at the square's corners with the gap between them.
        const QByteArray doubleLine = PlusData().u32(4).f(0).f(1 / 3.0f).f(2 / 3.0f).f(1);
        QTest::newRow("compound line") << pen(12, kBlue, vm::UnitWorld, 0x400, doubleLine) << lines << line
                                       << QPoint(50, 45) << QPoint(50, 50);
        QTest::newRow("compound, a stripe at the corner")
            << pen(12, kBlue, vm::UnitWorld, 0x400, doubleLine) << rects << square << QPoint(16, 16)
            << QPoint(20, 20);
        QTest::newRow("compound, the gap at the corner")
            << pen(12, kBlue, vm::UnitWorld, 0x400, doubleLine) << rects << square << QPoint(24, 24)
            << QPoint(19, 19);
        // Dashes of 3 widths with gaps of 1: 36 on, 12 off from x = 10.
        QTest::newRow("compound, dashed")
            << pen(12, kBlue, vm::UnitWorld, 0x400 | 0x20, PlusData().u32(1).bytes(doubleLine)) << lines
            << line << QPoint(30, 45) << QPoint(52, 45);
        QTest::newRow("compound positions falling: one line")
            << pen(12, kBlue, vm::UnitWorld, 0x400, PlusData().u32(2).f(1).f(0)) << lines << line
            << QPoint(50, 50) << QPoint(50, 58);
        // Caps as shapes: a 2-unit line ending in an arrow 4 units wide at its base.
        QTest::newRow("arrow anchor") << pen(2, kBlue, vm::UnitWorld, 0x4, PlusData().u32(0x14)) << lines
                                      << line << QPoint(86, 52) << QPoint(50, 53);
        const QByteArray arrowCap = PlusData()
                                        .u32(kPlusVersion)
                                        .u32(1)
                                        .f(4)
                                        .f(4)
                                        .f(0)
                                        .u32(1)
                                        .u32(0)
                                        .u32(0)
                                        .u32(0)
                                        .f(10)
                                        .f(1)
                                        .f(0)
                                        .f(0)
                                        .f(0)
                                        .f(0);
        QTest::newRow("adjustable arrow")
            << pen(2, kBlue, vm::UnitWorld, 0x800, PlusData().u32(quint32(arrowCap.size())).bytes(arrowCap))
            << lines << line << QPoint(16, 52) << QPoint(50, 53);
    }
    void penWidthsAndAlignment()
    {
        QFETCH(QByteArray, penData);
        QFETCH(quint16, type);
        QFETCH(QByteArray, record);
        QFETCH(QPoint, inked);
        QFETCH(QPoint, clear);
        EmfPlusBuilder file;
        file.object(2, EmfPlusObjectType::Pen, penData);
        file.plus(type, 2, record);
        const QImage image = render(file.finish());
        QVERIFY2(near(image, inked, kBlue), qPrintable(describe(image, inked)));
        QVERIFY2(near(image, clear, kWhite), qPrintable(describe(image, clear)));
    }

    void dashedPensLeaveGaps_data()
    {
        QTest::addColumn<QByteArray>("penData");
        QTest::addColumn<int>("minGaps");
        QTest::addColumn<int>("maxGaps");
        QTest::newRow("solid") << pen(3, kBlue) << 0 << 0;
        QTest::newRow("dash") << pen(3, kBlue, vm::UnitWorld, 0x20, PlusData().u32(1)) << 4 << 8;
        QTest::newRow("dot") << pen(3, kBlue, vm::UnitWorld, 0x20, PlusData().u32(2)) << 10 << 16;
        QTest::newRow("custom") << pen(3, kBlue, vm::UnitWorld, 0x120, PlusData().u32(5).u32(2).f(5).f(5))
                                << 2 << 4;
    }
    void dashedPensLeaveGaps()
    {
        QFETCH(QByteArray, penData);
        QFETCH(int, minGaps);
        QFETCH(int, maxGaps);
        EmfPlusBuilder file;
        file.object(2, EmfPlusObjectType::Pen, penData).plus(vm::EmfPlusDrawLines, 2, horizontalLine());
        const int gaps = gapsAlong(render(file.finish()), 50, 10, 90);
        QVERIFY2(gaps >= minGaps && gaps <= maxGaps, qPrintable(QString::number(gaps)));
    }

    void shapes_data()
    {
        // Every shape record, filled green (brush as a colour) or drawn
        // with a 3-unit blue pen (object 2).
        QTest::addColumn<quint16>("type");
        QTest::addColumn<quint16>("flags");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QPoint>("inked");
        QTest::addColumn<QPoint>("clear");
        const quint32 green = kGreen.rgba();
        const QRectF box(10, 10, 80, 80);
        const quint16 S = vm::FlagColor, C = vm::FlagInt16;
        QTest::newRow("FillRects 16-bit")
            << quint16(vm::EmfPlusFillRects) << quint16(S | C)
            << QByteArray(PlusData().u32(green).u32(1).u16(10).u16(10).u16(30).u16(30)) << QPoint(30, 30)
            << QPoint(50, 50);
        QTest::newRow("FillPolygon") << quint16(vm::EmfPlusFillPolygon) << S
                                     << QByteArray(PlusData().u32(green).u32(3).points(
                                            { { 10, 90 }, { 90, 90 }, { 50, 10 } }))
                                     << QPoint(50, 70) << QPoint(15, 20);
        // Relative points: (10,90), then +80,0 and -40,-80 (15-bit forms for 80 and -80).
        QTest::newRow("FillPolygon relative")
            << quint16(vm::EmfPlusFillPolygon) << quint16(S | vm::FlagRelative)
            << QByteArray(PlusData().u32(green).u32(3).bytes(QByteArray::fromHex("0a805a80500058ffb0")))
            << QPoint(50, 70) << QPoint(15, 20);
        QTest::newRow("FillEllipse") << quint16(vm::EmfPlusFillEllipse) << S
                                     << QByteArray(PlusData().u32(green).rect(box)) << QPoint(50, 50)
                                     << QPoint(14, 14);
        QTest::newRow("FillPie") << quint16(vm::EmfPlusFillPie) << S
                                 << QByteArray(PlusData().u32(green).f(0).f(90).rect(box)) << QPoint(70, 70)
                                 << QPoint(30, 30);
        QTest::newRow("FillClosedCurve") << quint16(vm::EmfPlusFillClosedCurve) << S
                                         << QByteArray(PlusData().u32(green).f(0.5f).u32(4).points(
                                                { { 50, 10 }, { 90, 50 }, { 50, 90 }, { 10, 50 } }))
                                         << QPoint(50, 50) << QPoint(12, 12);
        QTest::newRow("DrawEllipse") << quint16(vm::EmfPlusDrawEllipse) << quint16(2)
                                     << QByteArray(PlusData().rect(box)) << QPoint(50, 10) << QPoint(50, 50);
        QTest::newRow("DrawArc") << quint16(vm::EmfPlusDrawArc) << quint16(2)
                                 << QByteArray(PlusData().f(180).f(90).rect(box)) << QPoint(50, 10)
                                 << QPoint(50, 90);
        QTest::newRow("DrawPie") << quint16(vm::EmfPlusDrawPie) << quint16(2)
                                 << QByteArray(PlusData().f(0).f(90).rect(box)) << QPoint(70, 50)
                                 << QPoint(30, 50);
        QTest::newRow("DrawLines closed")
            << quint16(vm::EmfPlusDrawLines) << quint16(2 | vm::FlagClosed)
            << QByteArray(PlusData().u32(3).points({ { 10, 90 }, { 90, 90 }, { 90, 10 } })) << QPoint(50, 50)
            << QPoint(20, 50);
        QTest::newRow("DrawBeziers") << quint16(vm::EmfPlusDrawBeziers) << quint16(2)
                                     << QByteArray(PlusData().u32(4).points(
                                            { { 10, 90 }, { 10, 10 }, { 90, 10 }, { 90, 90 } }))
                                     << QPoint(50, 30) << QPoint(50, 70);
        QTest::newRow("DrawCurve") << quint16(vm::EmfPlusDrawCurve) << quint16(2)
                                   << QByteArray(PlusData().f(0.5f).u32(0).u32(2).u32(3).points(
                                          { { 10, 80 }, { 50, 20 }, { 90, 80 } }))
                                   << QPoint(50, 20) << QPoint(50, 60);
        QTest::newRow("DrawClosedCurve")
            << quint16(vm::EmfPlusDrawClosedCurve) << quint16(2)
            << QByteArray(PlusData().f(0).u32(3).points({ { 10, 90 }, { 90, 90 }, { 90, 10 } }))
            << QPoint(50, 50) << QPoint(60, 70);
    }
    void shapes()
    {
        QFETCH(quint16, type);
        QFETCH(quint16, flags);
        QFETCH(QByteArray, data);
        QFETCH(QPoint, inked);
        QFETCH(QPoint, clear);
        EmfPlusBuilder file;
        file.object(2, EmfPlusObjectType::Pen, pen(3, kBlue)).plus(type, flags, data);
        const QImage image = render(file.finish());
        QVERIFY2(qGray(image.pixel(inked)) < 200, qPrintable(describe(image, inked)));
        QVERIFY2(near(image, clear, kWhite, 20), qPrintable(describe(image, clear)));
    }
};

QTEST_MAIN(TestEmfPlus)
#include "tst_emfplus.moc"

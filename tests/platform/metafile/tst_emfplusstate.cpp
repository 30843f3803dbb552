// The EMF+ player: paths and regions, transforms and containers, clipping,
// Clear, lying records, and the corpus files that carry EMF+ records.
#include <QDirIterator>
#include <QFile>
#include <QTest>

#include <cmath>
#include <functional>

#include "platform/metafile/metafile.h"
#include "platform/runtimeerror.h"
#include "support/testsupport.h"
#include "support/emfplustests.h"

using namespace vmtest;
using vm::EmfPlusObjectType;

namespace {

// The columns of the cases that ink green: a point that must be inked, and
// one that must stay clear (x < 0: none).
void addInkedAndClearColumns()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QPoint>("inked");
    QTest::addColumn<QPoint>("clear");
}

// A file that fills `area` green once `before` has changed the state.
QByteArray greenAfter(const std::function<void(EmfPlusBuilder &)> &before, const QRectF &area)
{
    EmfPlusBuilder b;
    before(b);
    fill(b, area, kGreen);
    return b.finish();
}

// Renders the row's file and checks its two points.
void verifyInkedAndClear()
{
    QFETCH(QByteArray, file);
    QFETCH(QPoint, inked);
    QFETCH(QPoint, clear);
    const QImage image = render(file);
    QVERIFY2(near(image, inked, kGreen), qPrintable(describe(image, inked)));
    if (clear.x() >= 0)
        QVERIFY2(near(image, clear, kWhite, 20), qPrintable(describe(image, clear)));
}

} // namespace

class TestEmfPlusState : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void pathsAndRegions_data()
    {
        addInkedAndClearColumns();
        const quint32 green = kGreen.rgba();
        const auto withObject = [&](EmfPlusObjectType type, const QByteArray &object, quint16 record) {
            EmfPlusBuilder b;
            b.object(7, type, object).plus(record, vm::FlagColor | 7, PlusData().u32(green));
            return b.finish();
        };
        const QByteArray triangle
            = path({ { 10, 90 }, { 90, 90 }, { 50, 10 } }, QByteArray::fromHex("000181"));
        QTest::newRow("path") << withObject(EmfPlusObjectType::Path, triangle, vm::EmfPlusFillPath)
                              << QPoint(50, 70) << QPoint(15, 20);
        // The same triangle with run-length encoded types: start, then two lines, the last closing.
        const QByteArray rle = PlusData()
                                   .u32(kPlusVersion)
                                   .u32(3)
                                   .u32(0x1000)
                                   .points({ { 10, 90 }, { 90, 90 }, { 50, 10 } })
                                   .bytes(QByteArray::fromHex("010001010181"))
                                   .pad();
        QTest::newRow("path, run-length types")
            << withObject(EmfPlusObjectType::Path, rle, vm::EmfPlusFillPath) << QPoint(50, 70)
            << QPoint(15, 20);
        const QByteArray bezier
            = path({ { 10, 90 }, { 10, 10 }, { 90, 10 }, { 90, 90 } }, QByteArray::fromHex("00030383"));
        QTest::newRow("path with a Bezier")
            << withObject(EmfPlusObjectType::Path, bezier, vm::EmfPlusFillPath) << QPoint(50, 40)
            << QPoint(12, 12);
        const auto rectNode = [](QRectF r) { return PlusData().u32(0x10000000).rect(r).data(); };
        const auto region = [&](quint32 op, QRectF a, QRectF b) {
            return PlusData().u32(kPlusVersion).u32(2).u32(op).bytes(rectNode(a)).bytes(rectNode(b)).data();
        };
        const QRectF left(10, 10, 50, 80), right(40, 10, 50, 80);
        QTest::newRow("region xor") << withObject(
            EmfPlusObjectType::Region, region(3, left, right), vm::EmfPlusFillRegion)
                                    << QPoint(20, 50) << QPoint(50, 50);
        QTest::newRow("region and") << withObject(
            EmfPlusObjectType::Region, region(1, left, right), vm::EmfPlusFillRegion)
                                    << QPoint(50, 50) << QPoint(20, 50);
        QTest::newRow("region exclude")
            << withObject(EmfPlusObjectType::Region, region(4, left, right), vm::EmfPlusFillRegion)
            << QPoint(20, 50) << QPoint(70, 50);
        QTest::newRow("region complement")
            << withObject(EmfPlusObjectType::Region, region(5, left, right), vm::EmfPlusFillRegion)
            << QPoint(80, 50) << QPoint(20, 50);
        const QByteArray pathRegion = PlusData()
                                          .u32(kPlusVersion)
                                          .u32(1)
                                          .u32(0x10000001)
                                          .u32(quint32(triangle.size()))
                                          .bytes(triangle);
        QTest::newRow("region of a path")
            << withObject(EmfPlusObjectType::Region, pathRegion, vm::EmfPlusFillRegion) << QPoint(50, 70)
            << QPoint(15, 20);
    }
    void pathsAndRegions() { verifyInkedAndClear(); }

    void transformsAndContainers_data()
    {
        // Each file fills (0,0)-(20,20) green after changing the transforms.
        addInkedAndClearColumns();
        const auto make = [](const std::function<void(EmfPlusBuilder &)> &before) {
            return greenAfter(before, QRectF(0, 0, 20, 20));
        };
        const quint16 A = vm::FlagAppend;
        QTest::newRow("none") << make([](EmfPlusBuilder &) {}) << QPoint(10, 10) << QPoint(30, 30);
        QTest::newRow("set") << make([](EmfPlusBuilder &b) {
            b.plus(vm::EmfPlusSetWorldTransform, 0, PlusData().f(1).f(0).f(0).f(1).f(50).f(50));
        }) << QPoint(60, 60) << QPoint(10, 10);
        QTest::newRow("translate") << make([](EmfPlusBuilder &b) {
            b.plus(vm::EmfPlusTranslateWorldTransform, 0, PlusData().f(50).f(0));
        }) << QPoint(60, 10) << QPoint(10, 10);
        QTest::newRow("scale") << make([](EmfPlusBuilder &b) {
            b.plus(vm::EmfPlusScaleWorldTransform, 0, PlusData().f(3).f(3));
        }) << QPoint(50, 50) << QPoint(70, 70);
        QTest::newRow("rotate then translate, appended") << make([&](EmfPlusBuilder &b) {
            b.plus(vm::EmfPlusRotateWorldTransform, 0, PlusData().f(90));
            b.plus(vm::EmfPlusTranslateWorldTransform, A, PlusData().f(50).f(0));
        }) << QPoint(40, 10) << QPoint(60, 10);
        QTest::newRow("translate then scale, prepended") << make([](EmfPlusBuilder &b) {
            b.plus(vm::EmfPlusTranslateWorldTransform, 0, PlusData().f(30).f(30));
            b.plus(vm::EmfPlusScaleWorldTransform, 0, PlusData().f(2).f(2));
        }) << QPoint(65, 65) << QPoint(25, 25);
        QTest::newRow("page in millimetres") << make([](EmfPlusBuilder &b) {
            b.plus(vm::EmfPlusSetPageTransform, vm::UnitMillimeter, PlusData().f(1));
        }) << QPoint(70, 70) << QPoint(80, 80); // 20 mm at 96 dpi: 75.6 pixels
        QTest::newRow("page in points, scaled") << make([](EmfPlusBuilder &b) {
            b.plus(vm::EmfPlusSetPageTransform, vm::UnitPoint, PlusData().f(2));
        }) << QPoint(50, 50) << QPoint(56, 56); // 40 points: 53.3 pixels
        QTest::newRow("save, translate, restore") << make([](EmfPlusBuilder &b) {
            b.plus(vm::EmfPlusSave, 0, PlusData().u32(7));
            b.plus(vm::EmfPlusTranslateWorldTransform, 0, PlusData().f(50).f(50));
            b.plus(vm::EmfPlusRestore, 0, PlusData().u32(7));
        }) << QPoint(10, 10) << QPoint(60, 60);
        QTest::newRow("restore of an unknown state") << make([](EmfPlusBuilder &b) {
            b.plus(vm::EmfPlusTranslateWorldTransform, 0, PlusData().f(50).f(50));
            b.plus(vm::EmfPlusRestore, 0, PlusData().u32(9));
        }) << QPoint(60, 60) << QPoint(10, 10);
        QTest::newRow("container mapping a rectangle") << make([](EmfPlusBuilder &b) {
            b.plus(vm::EmfPlusBeginContainer, vm::UnitPixel << 8,
                PlusData().rect(QRectF(50, 50, 50, 50)).rect(QRectF(0, 0, 20, 20)).u32(1));
        }) << QPoint(90, 90) << QPoint(40, 40);
        QTest::newRow("world transform inside a container") << make([](EmfPlusBuilder &b) {
            b.plus(vm::EmfPlusTranslateWorldTransform, 0, PlusData().f(40).f(0));
            b.plus(vm::EmfPlusBeginContainerNoParams, 0, PlusData().u32(1));
            b.plus(vm::EmfPlusSetWorldTransform, 0, PlusData().f(1).f(0).f(0).f(1).f(0).f(40));
        }) << QPoint(50, 50) << QPoint(10, 50);
        QTest::newRow("container ended") << make([](EmfPlusBuilder &b) {
            b.plus(vm::EmfPlusBeginContainerNoParams, 0, PlusData().u32(1));
            b.plus(vm::EmfPlusTranslateWorldTransform, 0, PlusData().f(50).f(50));
            b.plus(vm::EmfPlusEndContainer, 0, PlusData().u32(1));
        }) << QPoint(10, 10) << QPoint(60, 60);
        QTest::newRow("singular transform ignored") << make([](EmfPlusBuilder &b) {
            b.plus(vm::EmfPlusSetWorldTransform, 0, PlusData().f(0).f(0).f(0).f(0).f(50).f(50));
        }) << QPoint(10, 10) << QPoint(60, 60);
    }
    void transformsAndContainers() { verifyInkedAndClear(); }

    void clipping_data()
    {
        // Each file fills the whole picture green after clipping.
        addInkedAndClearColumns();
        const auto make = [](const std::function<void(EmfPlusBuilder &)> &clip) {
            return greenAfter(clip, QRectF(0, 0, 100, 100));
        };
        const QByteArray leftHalf = PlusData().rect(QRectF(0, 0, 50, 100));
        QTest::newRow("rect") << make([&](EmfPlusBuilder &b) { b.plus(vm::EmfPlusSetClipRect, 0, leftHalf); })
                              << QPoint(25, 50) << QPoint(75, 50);
        QTest::newRow("rect excluded")
            << make([&](EmfPlusBuilder &b) { b.plus(vm::EmfPlusSetClipRect, 4 << 8, leftHalf); })
            << QPoint(75, 50) << QPoint(25, 50);
        QTest::newRow("rects intersected") << make([&](EmfPlusBuilder &b) {
            b.plus(vm::EmfPlusSetClipRect, 0, leftHalf);
            b.plus(vm::EmfPlusSetClipRect, 1 << 8, PlusData().rect(QRectF(0, 0, 100, 50)));
        }) << QPoint(25, 25) << QPoint(25, 75);
        QTest::newRow("rects united") << make([&](EmfPlusBuilder &b) {
            b.plus(vm::EmfPlusSetClipRect, 0, PlusData().rect(QRectF(0, 0, 30, 30)));
            b.plus(vm::EmfPlusSetClipRect, 2 << 8, PlusData().rect(QRectF(70, 70, 30, 30)));
        }) << QPoint(85, 85) << QPoint(50, 50);
        QTest::newRow("reset") << make([&](EmfPlusBuilder &b) {
            b.plus(vm::EmfPlusSetClipRect, 0, leftHalf);
            b.plus(vm::EmfPlusResetClip, 0, {});
        }) << QPoint(75, 50) << QPoint(-1, -1);
        QTest::newRow("offset") << make([&](EmfPlusBuilder &b) {
            b.plus(vm::EmfPlusSetClipRect, 0, leftHalf);
            b.plus(vm::EmfPlusOffsetClip, 0, PlusData().f(50).f(0));
        }) << QPoint(75, 50) << QPoint(25, 50);
        QTest::newRow("clip stays put when the transform moves") << make([&](EmfPlusBuilder &b) {
            b.plus(vm::EmfPlusSetClipRect, 0, leftHalf);
            b.plus(vm::EmfPlusTranslateWorldTransform, 0, PlusData().f(-50).f(0));
        }) << QPoint(25, 50) << QPoint(75, 50);
        QTest::newRow("path") << make([&](EmfPlusBuilder &b) {
            b.object(4, EmfPlusObjectType::Path,
                path({ { 0, 0 }, { 50, 0 }, { 50, 100 }, { 0, 100 } }, QByteArray::fromHex("00010181")));
            b.plus(vm::EmfPlusSetClipPath, 4, {});
        }) << QPoint(25, 50) << QPoint(75, 50);
        QTest::newRow("region") << make([&](EmfPlusBuilder &b) {
            b.object(4, EmfPlusObjectType::Region,
                PlusData().u32(kPlusVersion).u32(0).u32(0x10000000).rect(QRectF(50, 0, 50, 100)));
            b.plus(vm::EmfPlusSetClipRegion, 4, {});
        }) << QPoint(75, 50) << QPoint(25, 50);
        QTest::newRow("restored with the saved state") << make([&](EmfPlusBuilder &b) {
            b.plus(vm::EmfPlusSave, 0, PlusData().u32(1));
            b.plus(vm::EmfPlusSetClipRect, 0, leftHalf);
            b.plus(vm::EmfPlusRestore, 0, PlusData().u32(1));
        }) << QPoint(75, 50) << QPoint(-1, -1);
    }
    void clipping() { verifyInkedAndClear(); }

    void clearPaintsEverythingInTheClip()
    {
        EmfPlusBuilder b;
        fill(b, QRectF(0, 0, 100, 100), kRed);
        b.plus(vm::EmfPlusSetClipRect, 0, PlusData().rect(QRectF(0, 0, 50, 100)));
        b.plus(vm::EmfPlusClear, 0, PlusData().argb(kGreen));
        const QImage image = render(b.finish());
        QVERIFY(near(image, { 25, 50 }, kGreen));
        QVERIFY(near(image, { 75, 50 }, kRed));
    }

    void lyingRecordsEndPlayKeepingWhatWasDrawn_data()
    {
        QTest::addColumn<QByteArray>("file");
        const auto make = [](const std::function<void(EmfPlusBuilder &)> &lie) {
            EmfPlusBuilder b;
            fill(b, QRectF(0, 0, 30, 30), kBlue);
            lie(b);
            fill(b, QRectF(70, 70, 30, 30), kRed);
            b.flush();
            fill(b, QRectF(70, 0, 30, 30), kRed);
            return b.finish();
        };
        QTest::newRow("record past its comment")
            << make([](EmfPlusBuilder &b) { b.plus(vm::EmfPlusSetAntiAliasMode, 1, {}, 4000); });
        QTest::newRow("record under 12 bytes")
            << make([](EmfPlusBuilder &b) { b.plus(vm::EmfPlusSetAntiAliasMode, 1, {}, 8); });
        QTest::newRow("data past the record") << make([](EmfPlusBuilder &b) {
            b.plus(vm::EmfPlusFillRects, vm::FlagColor, PlusData().u32(kRed.rgba()).u32(1), 12);
        });
        QTest::newRow("more rectangles than bytes") << make([](EmfPlusBuilder &b) {
            b.plus(vm::EmfPlusFillRects, vm::FlagColor,
                PlusData().u32(kRed.rgba()).u32(1000).rect(QRectF(0, 0, 1, 1)));
        });
        QTest::newRow("point count near 2^32") << make([](EmfPlusBuilder &b) {
            b.plus(vm::EmfPlusDrawLines, 0, PlusData().u32(0xFFFFFFF0).points({ { 0, 0 } }));
        });
        QTest::newRow("transform short of its matrix")
            << make([](EmfPlusBuilder &b) { b.plus(vm::EmfPlusSetWorldTransform, 0, PlusData().f(1).f(0)); });
    }
    void lyingRecordsEndPlayKeepingWhatWasDrawn()
    {
        QFETCH(QByteArray, file);
        const QImage image = render(file);
        QVERIFY2(near(image, { 15, 15 }, kBlue), qPrintable(describe(image, { 15, 15 })));
        QVERIFY2(near(image, { 85, 85 }, kWhite, 20), qPrintable(describe(image, { 85, 85 })));
        QVERIFY2(near(image, { 85, 15 }, kWhite, 20), qPrintable(describe(image, { 85, 15 })));
    }

    void workIsChargedToThePlayBudget_data()
    {
        QTest::addColumn<int>("fills");
        QTest::addColumn<bool>("refused");
        QTest::newRow("a few stars") << 2 << false;
        QTest::newRow("stars without end") << 400 << true;
    }
    void workIsChargedToThePlayBudget()
    {
        // A 97-point star across the page, filled antialiased again and
        // again: the rasteriser's work is priced as for GDI shapes.
        QFETCH(int, fills);
        QFETCH(bool, refused);
        PlusData star;
        star.u32(kGreen.rgba()).u32(97);
        for (int i = 0; i < 97; ++i) {
            const double a = i * 2 * M_PI * 48 / 97;
            star.f(float(50 + 50 * std::cos(a))).f(float(50 + 50 * std::sin(a)));
        }
        EmfPlusBuilder b;
        b.plus(vm::EmfPlusSetAntiAliasMode, 1, {});
        for (int i = 0; i < fills; ++i)
            b.plus(vm::EmfPlusFillPolygon, vm::FlagColor, star);
        const auto picture = vm::openEmf(b.finish());
        bool tooComplex = false;
        try {
            picture->render(picture->naturalSize());
        } catch (const vm::RuntimeError &e) {
            tooComplex = e.number() == vm::Err::PictureTooComplex;
        }
        QCOMPARE(tooComplex, refused);
    }

    void corpusFilesWithEmfPlusRecordsDraw_data()
    {
        QTest::addColumn<QString>("path");
        QDirIterator it(QStringLiteral(VELMORA_CORPUS_DIR "/emf"), { QStringLiteral("*.emf") }, QDir::Files,
            QDirIterator::Subdirectories);
        int rows = 0;
        while (it.hasNext()) {
            const QString path = it.next();
            QFile file(path);
            if (file.open(QIODevice::ReadOnly) && file.readAll().contains("EMF+")) {
                QTest::newRow(qPrintable(path.section(QLatin1Char('/'), -2))) << path;
                ++rows;
            }
        }
        if (rows == 0)
            QSKIP("corpus not found");
    }
    void corpusFilesWithEmfPlusRecordsDraw()
    {
        // Good files play to the size asked; damaged ones play what they can
        // or are refused cleanly.
        QFETCH(QString, path);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        try {
            const auto picture = vm::openEmf(bytes);
            const QSize size = picture->naturalSize().boundedTo(QSize(400, 400));
            QCOMPARE(picture->render(size).size(), size);
        } catch (const vm::RuntimeError &) {
            QVERIFY2(!path.contains(QLatin1String("/good/")), "a good file was refused");
        }
    }

    void emfPlusOnlyFileIsNoLongerBlank()
    {
        // Its GDI records draw nothing; the shapes are all EMF+.
        QFile file(QStringLiteral(VELMORA_CORPUS_DIR "/emf/good/uemf-test_libuemf_p_ref.emf"));
        if (!file.open(QIODevice::ReadOnly))
            QSKIP("corpus not found");
        const QImage image = vm::openEmf(file.readAll())->render(QSize(400, 283));
        int ink = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x)
                ink += qGray(image.pixel(x, y)) < 128;
        }
        QVERIFY2(ink > 2000, qPrintable(QString::number(ink)));
    }

    void panelOnlyInEmfPlusIsDrawn()
    {
        // w2s-emf-fulltest's panel 14 exists only as EMF+ records: a blue
        // ellipse (ARGB FF66AAFF) among the GDI panels.
        QFile file(QStringLiteral(VELMORA_CORPUS_DIR "/emf/good/w2s-emf-fulltest.emf"));
        if (!file.open(QIODevice::ReadOnly))
            QSKIP("corpus not found");
        const auto picture = vm::openEmf(file.readAll());
        const QImage image = picture->render(QSize(400, 300));
        int ellipse = 0;
        for (int y = 200; y < 300; ++y) {
            for (int x = 200; x < 400; ++x)
                ellipse += near(image, { x, y }, QColor(0x66, 0xAA, 0xFF), 12);
        }
        QVERIFY2(ellipse > 200, qPrintable(QString::number(ellipse)));
    }
};

QTEST_MAIN(TestEmfPlusState)
#include "tst_emfplusstate.moc"

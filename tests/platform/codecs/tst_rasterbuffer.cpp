// Large rasters: 2 MB-aligned memory that a decoder writes in place and that
// behaves as any picture; small ones stay ordinary.
#include <QtTest>

#include <cstdint>

#include "platform/codecs/rasterbuffer.h"
#include "platform/picture.h"

class TestRasterBuffer : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void rasterHasTheAskedShapeAndIsWrittenInPlace_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("large");
        QTest::newRow("small") << QSize(100, 50) << false;
        QTest::newRow("just under the threshold") << QSize(1024, 1023) << false;
        QTest::newRow("24 megapixels") << QSize(6000, 4000) << true;
        QTest::newRow("odd width") << QSize(3001, 1999) << true;
    }
    void rasterHasTheAskedShapeAndIsWrittenInPlace()
    {
        QFETCH(QSize, size);
        QFETCH(bool, large);
        QImage image = vm::allocateRaster(size.width(), size.height(), QImage::Format_RGB32);
        QCOMPARE(image.size(), size);
        QCOMPARE(image.format(), QImage::Format_RGB32);
        QCOMPARE(image.bytesPerLine(), qsizetype(size.width()) * 4);
        const uchar *first = image.constBits();
        if (large && qEnvironmentVariableIntValue("VELMORA_HUGEPAGES") == 1)
            QCOMPARE(reinterpret_cast<std::uintptr_t>(first) % (2u * 1024 * 1024), 0u);
        // A decoder writes rows through scanLine: no copy may be made.
        image.scanLine(size.height() - 1)[0] = 0x42;
        QCOMPARE(image.constBits(), first);
        image.fill(Qt::blue);
        QCOMPARE(image.constBits(), first);

        // Held by a picture and copied as the viewer's boxes do: one raster.
        const vm::Picture picture(image, QSize(100, 100));
        image = QImage();
        const vm::Picture copy = picture;
        QCOMPARE(copy.image().constBits(), first);
        QCOMPARE(copy.image().pixelColor(size.width() - 1, size.height() - 1), QColor(Qt::blue));
    }

    void impossibleSizesGiveANullImage()
    {
        QVERIFY(vm::allocateRaster(0, 10, QImage::Format_RGB32).isNull());
        QVERIFY(vm::allocateRaster(10, -1, QImage::Format_RGB32).isNull());
    }
};

QTEST_MAIN(TestRasterBuffer)
#include "tst_rasterbuffer.moc"

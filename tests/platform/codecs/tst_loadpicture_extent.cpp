// The physical extent each format reports: from the file's own resolution
// when it records one we believe (10 to 25 400 dpi), else at 96 dpi.
#include <QTemporaryDir>
#include <QtTest>

#include "support/loaderfixtures.h"
#include "platform/picture.h"

namespace {

QImage grey(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(qRgb(128, 128, 128));
    return image;
}

QByteArray bmpWithDensity(int w, int h, qint32 x, qint32 y)
{
    vmtest::Bmp bmp;
    bmp.width = w;
    bmp.height = h;
    bmp.dotsPerMetreX = x;
    bmp.dotsPerMetreY = y;
    bmp.rows = QByteArray(((w * 3 + 3) / 4 * 4) * h, '\x40');
    return bmp.bytes();
}

QByteArray jpeg(int w, int h, int unit, int x, int y, const QByteArray &exif = QByteArray(), bool jfif = true)
{
    vmtest::Jpeg j;
    j.jfif = jfif;
    j.densityUnit = unit;
    j.xDensity = x;
    j.yDensity = y;
    j.exif = exif;
    return j.encode(grey(w, h));
}

} // namespace

class TestLoadPictureExtent : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private Q_SLOTS:
    void extentFollowsTheFilesResolution_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("pixels");
        QTest::addColumn<QSize>("extent");

        // Bitmaps: pels per metre on each axis on its own.
        QTest::newRow("bmp 300 dpi") << bmpWithDensity(300, 150, 11811, 11811) << QSize(300, 150)
                                     << QSize(2540, 1270);
        QTest::newRow("bmp 72 by 36 dpi")
            << bmpWithDensity(72, 36, 2835, 1417) << QSize(72, 36) << QSize(2540, 2541);
        QTest::newRow("bmp density 0") << bmpWithDensity(96, 48, 0, 0) << QSize(96, 48) << QSize(2540, 1270);
        QTest::newRow("bmp density negative")
            << bmpWithDensity(96, 48, -2835, -1) << QSize(96, 48) << QSize(2540, 1270);
        QTest::newRow("bmp 30 000 000 and 3 px/m")
            << bmpWithDensity(96, 48, 30000000, 3) << QSize(96, 48) << QSize(2540, 1270);
        QTest::newRow("bmp 300 dpi across, none down")
            << bmpWithDensity(300, 96, 11811, 0) << QSize(300, 96) << QSize(2540, 2540);
        QTest::newRow("bmp just over 10 dpi")
            << bmpWithDensity(10, 10, 394, 394) << QSize(10, 10) << QSize(2538, 2538);
        QTest::newRow("bmp just under 10 dpi")
            << bmpWithDensity(10, 10, 393, 393) << QSize(10, 10) << QSize(265, 265);
        QTest::newRow("bmp 1 micrometre a pixel")
            << bmpWithDensity(1000, 1, 1000000, 1000000) << QSize(1000, 1) << QSize(100, 0);
        QTest::newRow("bmp finer than 1 micrometre")
            << bmpWithDensity(96, 1, 1000001, 1000001) << QSize(96, 1) << QSize(2540, 26);

        // JPEG: JFIF density, else EXIF resolution, else 96 dpi.
        QTest::newRow("jpeg JFIF 300 dpi")
            << jpeg(300, 150, 1, 300, 300) << QSize(300, 150) << QSize(2540, 1270);
        QTest::newRow("jpeg JFIF 100 dots/cm")
            << jpeg(100, 50, 2, 100, 100) << QSize(100, 50) << QSize(1000, 500);
        QTest::newRow("jpeg JFIF aspect only") << jpeg(96, 48, 0, 1, 1) << QSize(96, 48) << QSize(2540, 1270);
        QTest::newRow("jpeg JFIF 1 dpi") << jpeg(96, 48, 1, 1, 1) << QSize(96, 48) << QSize(2540, 1270);
        QTest::newRow("jpeg JFIF 300 dpi and 0")
            << jpeg(96, 48, 1, 300, 0) << QSize(96, 48) << QSize(2540, 1270);
        QTest::newRow("jpeg EXIF only, 300 per inch")
            << jpeg(300, 150, 0, 1, 1, vmtest::exifPayload(0, 300, 300, 2), false) << QSize(300, 150)
            << QSize(2540, 1270);
        QTest::newRow("jpeg EXIF 200 per cm, JFIF aspect only")
            << jpeg(200, 100, 0, 1, 1, vmtest::exifPayload(1, 200, 200, 3)) << QSize(200, 100)
            << QSize(1000, 500);
        QTest::newRow("jpeg EXIF unit unknown") << jpeg(96, 48, 0, 1, 1, vmtest::exifPayload(1, 300, 300, 1))
                                                << QSize(96, 48) << QSize(2540, 1270);
        QTest::newRow("jpeg JFIF beats EXIF")
            << jpeg(300, 150, 1, 300, 300, vmtest::exifPayload(1, 72, 72, 2)) << QSize(300, 150)
            << QSize(2540, 1270);
        QTest::newRow("jpeg implausible JFIF, EXIF used")
            << jpeg(300, 150, 1, 1, 1, vmtest::exifPayload(1, 300, 300, 2)) << QSize(300, 150)
            << QSize(2540, 1270);
        QTest::newRow("jpeg turned: extent turns too")
            << jpeg(600, 100, 1, 300, 100, vmtest::exifPayload(6)) << QSize(100, 600) << QSize(2540, 5080);

        // GIF and icons record no resolution.
        const QList<vmtest::GifFrame> frame = { { 0, 0, 96, 48, QByteArray(96 * 48, '\1'), -1 } };
        QTest::newRow("gif") << vmtest::gifBytes(96, 48, { qRgb(0, 0, 0), qRgb(255, 0, 0) }, frame)
                             << QSize(96, 48) << QSize(2540, 1270);
        QImage icon(48, 24, QImage::Format_ARGB32);
        icon.fill(qRgba(0, 0, 255, 255));
        QTest::newRow("icon") << vmtest::iconFile({ vmtest::iconDib(icon) }, { icon.size() }) << QSize(48, 24)
                              << QSize(1270, 635);
    }

    void extentFollowsTheFilesResolution()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, pixels);
        QFETCH(QSize, extent);
        const QString path = vmtest::writeFile(m_dir, QStringLiteral("picture"), bytes);
        const vm::Picture picture = vm::LoadPicture(path);
        QCOMPARE(picture.pixelSize(), pixels);
        QCOMPARE(picture.extent(), extent);
        QCOMPARE(picture.Width().value(), extent.width());
        QCOMPARE(picture.Height().value(), extent.height());
    }
};

QTEST_GUILESS_MAIN(TestLoadPictureExtent)
#include "tst_loadpicture_extent.moc"

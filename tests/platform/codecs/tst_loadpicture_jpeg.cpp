// JPEG: photos stand upright by their EXIF orientation, every colour model
// decodes, reduced-size decoding keeps the full extent, a large photo decoded
// on two threads is the same as one decoded on one, and broken or hostile
// streams are refused.
#include <QTemporaryDir>
#include <QtTest>

#include "support/colourfixtures.h"
#include "support/loaderfixtures.h"
#include "platform/codecs/colorprofile.h"
#include "platform/codecs/rowconverter.h"
#include "platform/picture.h"
#include "platform/runtimeerror.h"

using vm::Err;

namespace {

const QRgb R = qRgb(255, 0, 0);
const QRgb G = qRgb(0, 255, 0);
const QRgb B = qRgb(0, 0, 255);
const QRgb W = qRgb(255, 255, 255);

// Colours at the centres of the four quadrants: top-left, top-right,
// bottom-left, bottom-right.
QList<QRgb> corners(const QImage &image)
{
    const int w = image.width();
    const int h = image.height();
    return { image.pixel(w / 4, h / 4), image.pixel(3 * w / 4, h / 4), image.pixel(w / 4, 3 * h / 4),
        image.pixel(3 * w / 4, 3 * h / 4) };
}

bool sameCorners(const QList<QRgb> &actual, const QList<QRgb> &expected)
{
    for (int i = 0; i < 4; ++i) {
        if (!vmtest::similar(actual[i], expected[i]))
            return false;
    }
    return true;
}

// Sets the SOF0 height and width of an encoded JPEG.
QByteArray withFrameSize(QByteArray jpeg, int width, int height)
{
    const qsizetype sof = jpeg.indexOf(QByteArray("\xff\xc0", 2));
    if (sof < 0)
        return QByteArray();
    qToBigEndian<quint16>(quint16(height), jpeg.data() + sof + 5);
    qToBigEndian<quint16>(quint16(width), jpeg.data() + sof + 7);
    return jpeg;
}

// A picture whose every row differs from its neighbours: a band decoded from
// the wrong place, or twice, shows.
QImage texture(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    quint32 noise = 12345;
    for (int y = 0; y < height; ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            noise = noise * 1664525u + 1013904223u;
            row[x] = qRgb((x * 255 / width) ^ int(noise >> 28), (y * 7) & 0xff, (x + y) & 0xff);
        }
    }
    return image;
}

} // namespace

Q_DECLARE_METATYPE(Err)

class TestLoadPictureJpeg : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString file(const QByteArray &bytes)
    {
        return vmtest::writeFile(m_dir, QStringLiteral("photo.jpg"), bytes);
    }

private Q_SLOTS:
    void exifOrientationStandsThePhotoUpright_data()
    {
        QTest::addColumn<int>("orientation");
        QTest::addColumn<QSize>("shown");
        QTest::addColumn<QList<QRgb>>("quadrants");
        // Stored: red top-left, green top-right, blue bottom-left, white
        // bottom-right, 64 x 32.
        QTest::newRow("1 as stored") << 1 << QSize(64, 32) << QList<QRgb> { R, G, B, W };
        QTest::newRow("2 mirrored") << 2 << QSize(64, 32) << QList<QRgb> { G, R, W, B };
        QTest::newRow("3 half turn") << 3 << QSize(64, 32) << QList<QRgb> { W, B, G, R };
        QTest::newRow("4 flipped") << 4 << QSize(64, 32) << QList<QRgb> { B, W, R, G };
        QTest::newRow("5 transposed") << 5 << QSize(32, 64) << QList<QRgb> { R, B, G, W };
        QTest::newRow("6 quarter turn clockwise") << 6 << QSize(32, 64) << QList<QRgb> { B, R, W, G };
        QTest::newRow("7 transversed") << 7 << QSize(32, 64) << QList<QRgb> { W, G, B, R };
        QTest::newRow("8 quarter turn anticlockwise") << 8 << QSize(32, 64) << QList<QRgb> { G, W, R, B };
        QTest::newRow("9 out of range: as stored") << 9 << QSize(64, 32) << QList<QRgb> { R, G, B, W };
    }

    void exifOrientationStandsThePhotoUpright()
    {
        QFETCH(int, orientation);
        QFETCH(QSize, shown);
        QFETCH(QList<QRgb>, quadrants);
        vmtest::Jpeg jpeg;
        jpeg.exif = vmtest::exifPayload(orientation);
        const vm::Picture picture = vm::LoadPicture(file(jpeg.encode(vmtest::quadrants(64, 32))));
        QCOMPARE(picture.pixelSize(), shown);
        QVERIFY(sameCorners(corners(picture.image()), quadrants));
        // 96 dpi: 64 px is 1693 hundredths of a millimetre, 32 px 847.
        QCOMPARE(picture.extent(), shown.width() == 64 ? QSize(1693, 847) : QSize(847, 1693));
    }

    void everyColourModelDecodes_data()
    {
        QTest::addColumn<int>("model");
        QTest::addColumn<bool>("progressive");
        QTest::newRow("baseline RGB") << int(vmtest::Jpeg::Rgb) << false;
        QTest::newRow("progressive RGB") << int(vmtest::Jpeg::Rgb) << true;
        QTest::newRow("CMYK (Adobe)") << int(vmtest::Jpeg::Cmyk) << false;
        QTest::newRow("progressive CMYK") << int(vmtest::Jpeg::Cmyk) << true;
        QTest::newRow("greyscale") << int(vmtest::Jpeg::Grey) << false;
    }

    void everyColourModelDecodes()
    {
        QFETCH(int, model);
        QFETCH(bool, progressive);
        vmtest::Jpeg jpeg;
        jpeg.model = vmtest::Jpeg::Model(model);
        jpeg.progressive = progressive;
        const vm::Picture picture = vm::LoadPicture(file(jpeg.encode(vmtest::quadrants(64, 32))));
        QCOMPARE(picture.pixelSize(), QSize(64, 32));
        QCOMPARE(picture.image().format(), QImage::Format_RGB32);
        QList<QRgb> expected { R, G, B, W };
        if (model == vmtest::Jpeg::Grey) {
            for (QRgb &c : expected)
                c = qRgb(qGray(c), qGray(c), qGray(c));
        }
        QVERIFY(sameCorners(corners(picture.image()), expected));
    }

    void reducedDecodeKeepsTheFullExtent_data()
    {
        QTest::addColumn<int>("orientation");
        QTest::addColumn<QSize>("maxSize");
        QTest::addColumn<QSize>("decoded");
        QTest::addColumn<QSize>("extent");
        // 800 x 600 at 96 dpi: 21167 x 15875.
        QTest::newRow("no limit") << 1 << QSize() << QSize(800, 600) << QSize(21167, 15875);
        QTest::newRow("an eighth covers") << 1 << QSize(100, 75) << QSize(100, 75) << QSize(21167, 15875);
        QTest::newRow("a quarter needed") << 1 << QSize(150, 100) << QSize(200, 150) << QSize(21167, 15875);
        QTest::newRow("larger than the photo")
            << 1 << QSize(2000, 2000) << QSize(800, 600) << QSize(21167, 15875);
        QTest::newRow("turned photo") << 6 << QSize(75, 100) << QSize(75, 100) << QSize(15875, 21167);
    }

    void reducedDecodeKeepsTheFullExtent()
    {
        QFETCH(int, orientation);
        QFETCH(QSize, maxSize);
        QFETCH(QSize, decoded);
        QFETCH(QSize, extent);
        vmtest::Jpeg jpeg;
        jpeg.exif = vmtest::exifPayload(orientation);
        const QString path = file(jpeg.encode(vmtest::quadrants(800, 600)));
        const vm::Picture picture = vm::LoadPictureForSize(path, maxSize);
        QCOMPARE(picture.pixelSize(), decoded);
        QCOMPARE(picture.extent(), extent);
        QCOMPARE(vm::LoadPicture(path).extent(), extent);
    }

    // Large single-scan photos are decoded by two threads, one skipping the
    // rows the other decodes; what comes out must not show where they met.
    void largePhotoIsTheSameDecodedOnTwoThreads_data()
    {
        QTest::addColumn<QByteArray>("jpeg");
        QTest::addColumn<QByteArray>("profile");
        const QImage big = texture(1901, 1203); // odd sizes: partial blocks at the meeting row
        QTest::newRow("colour, 4:2:0") << vmtest::Jpeg().encode(big) << QByteArray();
        vmtest::Jpeg grey;
        grey.model = vmtest::Jpeg::Grey;
        QTest::newRow("grey") << grey.encode(big) << QByteArray();
        const QByteArray adobe = vmtest::colordProfile("AdobeRGB1998.icc");
        QTest::newRow("Adobe RGB, converted by both threads")
            << vmtest::withApp2(vmtest::Jpeg().encode(big), vmtest::iccSegments(adobe, 1)) << adobe;
    }

    void largePhotoIsTheSameDecodedOnTwoThreads()
    {
        QFETCH(QByteArray, jpeg);
        QFETCH(QByteArray, profile);
        QImage expected = vmtest::libjpegDecode(jpeg, JCS_EXT_BGRA);
        vm::applyColorProfile(expected, profile);
        const QImage decoded = vm::LoadPicture(file(jpeg)).image().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(decoded.size(), expected.size());
        for (int y = 0; y < expected.height(); ++y) {
            if (std::memcmp(
                    decoded.constScanLine(y), expected.constScanLine(y), size_t(expected.width()) * 4))
                QFAIL(qPrintable(QStringLiteral("row %1 differs").arg(y)));
        }
        // Cut off in the first thread's rows, in the second's, and in the
        // last row of blocks.
        for (const double kept : { 0.3, 0.8, 0.995 }) {
            try {
                vm::LoadPicture(file(jpeg.left(qsizetype(jpeg.size() * kept))));
                QFAIL(qPrintable(QStringLiteral("cut at %1 loaded").arg(kept)));
            } catch (const vm::RuntimeError &e) {
                QCOMPARE(e.number(), Err::DamagedPicture);
            }
        }
    }

    void brokenStreamIsRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<Err>("error");
        const QByteArray whole = vmtest::Jpeg().encode(vmtest::quadrants(128, 128));
        QTest::newRow("cut off halfway") << whole.left(whole.size() / 2) << Err::DamagedPicture;
        QTest::newRow("cut off before the last bytes")
            << whole.left(whole.size() - 40) << Err::DamagedPicture;
        vmtest::Jpeg progressive;
        progressive.progressive = true;
        const QByteArray scans = progressive.encode(vmtest::quadrants(128, 128));
        QTest::newRow("progressive, cut off in the last scan")
            << scans.left(scans.size() - 40) << Err::DamagedPicture;
        QTest::newRow("progressive, cut off halfway") << scans.left(scans.size() / 2) << Err::DamagedPicture;
        QTest::newRow("header only") << whole.left(whole.indexOf(QByteArray("\xff\xda", 2)))
                                     << Err::DamagedPicture;
        QTest::newRow("signature only") << QByteArray("\xff\xd8\xff", 3) << Err::DamagedPicture;
        QTest::newRow("start marker and junk only") << QByteArray("\xff\xd8junk") << Err::DamagedPicture;
        QTest::newRow("width zero") << withFrameSize(whole, 0, 128) << Err::DamagedPicture;
        QTest::newRow("claims 65000 x 65000") << withFrameSize(whole, 65000, 65000) << Err::PictureTooLarge;
        QTest::newRow("claims 64 megapixels in a few kilobytes")
            << withFrameSize(whole, 8000, 8000) << Err::DamagedPicture;
        // The last scan repeated: each copy is another pass over the image.
        const qsizetype lastScan = scans.lastIndexOf(QByteArray("\xff\xda", 2));
        const QByteArray scan = scans.mid(lastScan, scans.size() - 2 - lastScan);
        QTest::newRow("600 scans") << scans.chopped(2) + scan.repeated(600) + QByteArray("\xff\xd9", 2)
                                   << Err::DamagedPicture;
        QByteArray lossless = whole;
        lossless[lossless.indexOf(QByteArray("\xff\xc0", 2)) + 1] = char(0xc3);
        QTest::newRow("lossless process") << lossless << Err::InvalidPicture;
    }

    void brokenStreamIsRefused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(Err, error);
        QVERIFY(!bytes.isEmpty());
        try {
            vm::LoadPicture(file(bytes));
            QFAIL("loaded");
        } catch (const vm::RuntimeError &e) {
            QCOMPARE(e.number(), error);
        }
    }

    void harmlessFlawsStillLoad_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray whole = vmtest::Jpeg().encode(vmtest::quadrants(64, 32));
        QTest::newRow("garbage after the end") << whole + QByteArray(100, 'x');
        QTest::newRow("end marker missing") << whole.chopped(2);
        vmtest::Jpeg progressive;
        progressive.progressive = true;
        QTest::newRow("progressive, end marker missing")
            << progressive.encode(vmtest::quadrants(64, 32)).chopped(2);
        // libjpeg skips anything between the start marker and the next one.
        QTest::newRow("junk after the start marker")
            << whole.left(2) + QByteArray("\0\0junk", 6) + whole.mid(2);
        QTest::newRow("zero fill after the start marker")
            << whole.left(2) + QByteArray(16, '\0') + whole.mid(2);
    }

    void harmlessFlawsStillLoad()
    {
        QFETCH(QByteArray, bytes);
        const vm::Picture picture = vm::LoadPicture(file(bytes));
        QCOMPARE(picture.pixelSize(), QSize(64, 32));
        QVERIFY(sameCorners(corners(picture.image()), { R, G, B, W }));
    }
};

QTEST_GUILESS_MAIN(TestLoadPictureJpeg)
#include "tst_loadpicture_jpeg.moc"

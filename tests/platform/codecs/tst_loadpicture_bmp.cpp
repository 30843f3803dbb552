// Bitmaps: every pixel of the result is defined, whatever the file skips or
// leaves out, rows land the right way up, and hostile headers are refused
// before anything is allocated.
#include <QTemporaryDir>
#include <QtTest>

#include "support/loaderfixtures.h"
#include "platform/picture.h"
#include "platform/runtimeerror.h"
#include "support/testsupport.h"

using vm::Err;

namespace {

const QRgb kIndex0 = qRgb(0, 0, 255); // blue: never what zeroed memory looks like
const QRgb kIndex1 = qRgb(255, 0, 0);

vmtest::Bmp paletted(int w, int h, int bits, quint32 compression, const QByteArray &rows)
{
    vmtest::Bmp bmp;
    bmp.width = w;
    bmp.height = h;
    bmp.bitCount = quint16(bits);
    bmp.compression = compression;
    bmp.palette = { kIndex0, kIndex1 };
    bmp.rows = rows;
    return bmp;
}

// Rows as strings of '0' and '1' (palette indices), top row first.
QStringList pixelRows(const QImage &image)
{
    QStringList rows;
    for (int y = 0; y < image.height(); ++y) {
        QString row;
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            row += c == kIndex0 ? QLatin1Char('0') : c == kIndex1 ? QLatin1Char('1') : QLatin1Char('?');
        }
        rows.append(row);
    }
    return rows;
}

QByteArray coreHeaderBmp()
{
    // OS/2 1.x: 12-byte header, 16-bit sizes, a full table of 3-byte
    // palette entries.
    QByteArray b = vmtest::bmpFileHeader(0, 14 + 12 + 256 * 3);
    vmtest::putBmpHeaderStart(b, 12, 3, 1, 8);
    b.append("\xff\x00\x00\x00\x00\xff", 6); // blue, red (BGR)
    b.append(QByteArray(254 * 3, '\0'));
    b.append("\x01\x00\x01\x00", 4);
    return b;
}

QByteArray shortOs2HeaderBmp()
{
    // OS/2 2.x may cut its 64-byte header down to 16: no compression, no
    // density fields.
    QByteArray b = vmtest::bmpFileHeader(0, 14 + 16 + 2 * 4);
    vmtest::putBmpHeaderStart(b, 16, 2, 2, 8);
    b.append("\xff\x00\x00\x00\x00\x00\xff\x00", 8);
    b.append("\x01\x00\x00\x00\x00\x01\x00\x00", 8); // bottom row 1 0, top row 0 1
    return b;
}

} // namespace

Q_DECLARE_METATYPE(Err)

class TestLoadPictureBmp : public vmtest::LoaderTest {
    Q_OBJECT

public:
    TestLoadPictureBmp()
        : LoaderTest(QStringLiteral("test.bmp"))
    {
    }

private Q_SLOTS:
    void everyPixelIsDefined_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("rows");
        // RLE data is stored bottom row first.
        QTest::newRow("rle8 delta skips pixels") << paletted(4, 3, 8, 1,
            QByteArray("\x02\x01"
                       "\x00\x02\x01\x01"
                       "\x01\x01"
                       "\x00\x00"
                       "\x00\x01",
                12))
                                                        .bytes()
                                                 << QStringList { "0000", "0001", "1100" };
        QTest::newRow("rle8 early end of line") << paletted(4, 2, 8, 1,
            QByteArray("\x01\x01\x00\x00"
                       "\x02\x01\x00\x01",
                8))
                                                       .bytes()
                                                << QStringList { "1100", "1000" };
        QTest::newRow("rle8 early end of bitmap")
            << paletted(3, 3, 8, 1, QByteArray("\x03\x01\x00\x01", 4)).bytes()
            << QStringList { "000", "000", "111" };
        QTest::newRow("rle8 cut off without end marker")
            << paletted(3, 2, 8, 1, QByteArray("\x03\x01\x00\x00\x01\x01", 6)).bytes()
            << QStringList { "100", "111" };
        QTest::newRow("rle8 cut off inside a delta")
            << paletted(3, 2, 8, 1, QByteArray("\x01\x01\x00\x02", 4)).bytes()
            << QStringList { "000", "100" };
        QTest::newRow("rle4 delta and early end of line")
            << paletted(4, 2, 4, 2, QByteArray("\x01\x10\x00\x02\x02\x00\x01\x10\x00\x00\x00\x01", 12))
                   .bytes()
            << QStringList { "0000", "1001" };
        QTest::newRow("8-bit rows cut off")
            << paletted(2, 3, 8, 0, QByteArray("\x01\x01\x00\x00", 4)).bytes() // one row of three
            << QStringList { "00", "00", "11" };
        QTest::newRow("1-bit rows cut off") << paletted(8, 2, 1, 0, QByteArray("\xaa\x00\x00\x00", 4)).bytes()
                                            << QStringList { "00000000", "10101010" };
        QTest::newRow("8-bit index past the palette is black, not garbage")
            << paletted(2, 1, 8, 0, QByteArray("\x01\xc8\x00\x00", 4)).bytes() << QStringList { "1?" };
        QTest::newRow("top-down 8-bit")
            << paletted(2, -2, 8, 0, QByteArray("\x01\x00\x00\x00\x00\x01\x00\x00", 8)).bytes()
            << QStringList { "10", "01" };
        QTest::newRow("OS/2 core header") << coreHeaderBmp() << QStringList { "101" };
        QTest::newRow("OS/2 16-byte header") << shortOs2HeaderBmp() << QStringList { "01", "10" };
    }

    void everyPixelIsDefined()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, rows);
        const vm::Picture picture = load(bytes);
        QCOMPARE(picture.image().format(), QImage::Format_RGB32);
        QCOMPARE(pixelRows(picture.image()), rows);
        if (rows.contains(QStringLiteral("1?")))
            QCOMPARE(picture.image().pixel(1, 0), qRgb(0, 0, 0));
    }

    void truncatedTrueColourRowsAreBlack()
    {
        vmtest::Bmp bmp;
        bmp.width = 1;
        bmp.height = 3;
        bmp.rows = QByteArray("\x00\xff\x00\x00", 4); // the bottom row only: green
        const QImage image = load(bmp.bytes()).image();
        QCOMPARE(image.pixel(0, 2), qRgb(0, 255, 0));
        QCOMPARE(image.pixel(0, 1), qRgb(0, 0, 0));
        QCOMPARE(image.pixel(0, 0), qRgb(0, 0, 0));
    }

    void topDownTrueColourStandsUpright()
    {
        vmtest::Bmp bmp;
        bmp.width = 1;
        bmp.height = -2;
        bmp.rows = QByteArray("\x00\x00\xff\x00"
                              "\xff\x00\x00\x00",
            8); // red, then blue
        const vm::Picture picture = load(bmp.bytes());
        QCOMPARE(picture.pixelSize(), QSize(1, 2));
        QCOMPARE(picture.image().pixel(0, 0), qRgb(255, 0, 0));
        QCOMPARE(picture.image().pixel(0, 1), qRgb(0, 0, 255));
    }

    void badHeaderIsRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<Err>("error");
        auto header = [](qint32 w, qint32 h, int bits, quint32 compression) {
            vmtest::Bmp bmp;
            bmp.width = w;
            bmp.height = h;
            bmp.bitCount = quint16(bits);
            bmp.compression = compression;
            bmp.rows = QByteArray(64, '\0');
            return bmp.bytes();
        };
        QTest::newRow("65535 x 65535 in a few bytes") << header(65535, 65535, 24, 0) << Err::PictureTooLarge;
        QTest::newRow("2^31-1 wide") << header(0x7fffffff, 6, 8, 0) << Err::PictureTooLarge;
        QTest::newRow("40 megapixels of RLE in 100 bytes") << header(8000, 5000, 8, 1) << Err::DamagedPicture;
        QTest::newRow("zero height") << header(16, 0, 24, 0) << Err::DamagedPicture;
        QTest::newRow("negative width") << header(-16, 16, 24, 0) << Err::DamagedPicture;
        QTest::newRow("zero bits per pixel") << header(16, 16, 0, 0) << Err::DamagedPicture;
        QTest::newRow("30000 bits per pixel") << header(16, 16, 30000, 0) << Err::DamagedPicture;
        QTest::newRow("RLE8 with 4 bits") << header(16, 16, 4, 1) << Err::DamagedPicture;
        QTest::newRow("top-down RLE") << header(16, -16, 8, 1) << Err::DamagedPicture;
        QTest::newRow("JPEG inside") << header(16, 16, 24, 4) << Err::InvalidPicture;
        QTest::newRow("2 bits per pixel") << header(16, 16, 2, 0) << Err::InvalidPicture;
        QByteArray noPixels = header(4, 4, 24, 0);
        noPixels.truncate(14 + 40);
        QTest::newRow("pixel data past the end") << noPixels << Err::DamagedPicture;
        QByteArray bigPalette = paletted(2, 2, 8, 0, QByteArray(8, '\0')).bytes();
        vmtest::putLE32(bigPalette, 0);
        bigPalette.replace(46, 4, QByteArray("\x00\x10\x00\x00", 4)); // 4096 colours
        QTest::newRow("4096-colour palette") << bigPalette << Err::DamagedPicture;
        QTest::newRow("header cut short")
            << QByteArray("BM\0\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0\x10\0", 20) << Err::DamagedPicture;
    }

    void badHeaderIsRefused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(Err, error);
        verifyRefused(bytes, error);
    }

    void allZeroAlphaIsOpaque()
    {
        // 32-bit BI_RGB: the fourth byte is unused, usually zero.
        vmtest::Bmp bmp;
        bmp.width = 1;
        bmp.height = 1;
        bmp.bitCount = 32;
        bmp.rows = QByteArray("\x10\x20\x30\x00", 4);
        const QImage image = load(bmp.bytes()).image();
        QCOMPARE(image.format(), QImage::Format_RGB32);
        QCOMPARE(image.pixel(0, 0), qRgb(0x30, 0x20, 0x10));
    }

    void embeddedProfileGivesTheIntendedColours_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<double>("worstMean");
        // bmpsuite's picture with red and green stored swapped and a
        // profile that swaps them back; one with an sRGB profile (black
        // scaled); one whose profile is linked, which we never open.
        QTest::newRow("swapped, profile swaps back")
            << QStringLiteral("bmp/questionable/bs-rgb24prof2.bmp") << 3.0;
        QTest::newRow("sRGB profile") << QStringLiteral("bmp/questionable/bs-rgb24prof.bmp") << 0.0;
        QTest::newRow("linked profile") << QStringLiteral("bmp/questionable/bs-rgb24lprof.bmp") << 0.0;
    }

    void embeddedProfileGivesTheIntendedColours()
    {
        QFETCH(QString, file);
        QFETCH(double, worstMean);
        const QString corpus = vmtest::corpusDir();
        if (corpus.isEmpty())
            QSKIP("picture corpus not present");
        const QImage intended = vm::LoadPicture(corpus + QStringLiteral("/bmp/good/bs-rgb24.bmp")).image();
        const QImage shown = vm::LoadPicture(corpus + QLatin1Char('/') + file).image();
        QCOMPARE(shown.size(), intended.size());
        double sum = 0;
        for (int y = 0; y < shown.height(); ++y) {
            for (int x = 0; x < shown.width(); ++x) {
                const QRgb a = shown.pixel(x, y);
                const QRgb b = intended.pixel(x, y);
                sum += qAbs(qRed(a) - qRed(b)) + qAbs(qGreen(a) - qGreen(b)) + qAbs(qBlue(a) - qBlue(b));
            }
        }
        const double mean = sum / (3.0 * shown.width() * shown.height());
        QVERIFY2(mean <= worstMean, qPrintable(QStringLiteral("mean difference %1").arg(mean)));
    }
};

QTEST_GUILESS_MAIN(TestLoadPictureBmp)
#include "tst_loadpicture_bmp.moc"

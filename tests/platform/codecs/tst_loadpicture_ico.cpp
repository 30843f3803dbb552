// Icons and cursors: the largest image of the directory, the deepest colour
// among equals, PNG entries included, with transparency from the alpha
// channel or the mask.
#include <QBuffer>
#include <QTemporaryDir>
#include <QtTest>

#include "support/loaderfixtures.h"
#include "platform/codecs/pngchunks.h"
#include "platform/picture.h"
#include "platform/runtimeerror.h"

using vm::Err;

namespace {

QImage filled(int w, int h, QRgb argb)
{
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(argb);
    return image;
}

QByteArray png(const QImage &image)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return buffer.data();
}

// A PNG with a text chunk after IHDR whose length claims far more than follows.
QByteArray withLyingChunk(QByteArray png, quint32 length = 0x75000000u)
{
    QByteArray chunk(12, '\0');
    qToBigEndian<quint32>(length, chunk.data());
    chunk.replace(4, 4, "tEXt");
    png.insert(8 + 25, chunk);
    return png;
}

const QRgb kRed = qRgba(255, 0, 0, 255);
const QRgb kGreen = qRgba(0, 255, 0, 255);
const QRgb kBlue = qRgba(0, 0, 255, 255);

} // namespace

Q_DECLARE_METATYPE(Err)

class TestLoadPictureIco : public vmtest::LoaderTest {
    Q_OBJECT

public:
    TestLoadPictureIco()
        : LoaderTest(QStringLiteral("icon.ico"))
    {
    }

private Q_SLOTS:
    void bestEntryIsShown_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QRgb>("colour");
        using vmtest::iconDib;
        using vmtest::iconFile;
        QTest::newRow("largest, listed last")
            << iconFile({ iconDib(filled(16, 16, kRed)), iconDib(filled(32, 32, kGreen)),
                            iconDib(filled(48, 48, kBlue)) },
                   { { 16, 16 }, { 32, 32 }, { 48, 48 } })
            << QSize(48, 48) << kBlue;
        QTest::newRow("largest, listed first") << iconFile(
            { iconDib(filled(48, 48, kBlue)), iconDib(filled(16, 16, kRed)) }, { { 48, 48 }, { 16, 16 } })
                                               << QSize(48, 48) << kBlue;
        QTest::newRow("deeper colour wins among equals") << iconFile(
            { vmtest::iconDib8(32, 32, kRed), iconDib(filled(32, 32, kGreen)) }, { { 32, 32 }, { 32, 32 } })
                                                         << QSize(32, 32) << kGreen;
        QTest::newRow("deeper colour wins, listed first") << iconFile(
            { iconDib(filled(32, 32, kGreen)), vmtest::iconDib8(32, 32, kRed) }, { { 32, 32 }, { 32, 32 } })
                                                          << QSize(32, 32) << kGreen;
        QTest::newRow("PNG entry") << iconFile(
            { iconDib(filled(32, 32, kRed)), png(filled(64, 64, kBlue)) }, { { 32, 32 }, { 64, 64 } })
                                   << QSize(64, 64) << kBlue;
        QTest::newRow("256 px PNG entry (directory says 0)") << iconFile(
            { png(filled(256, 256, kGreen)), iconDib(filled(48, 48, kRed)) }, { { 256, 256 }, { 48, 48 } })
                                                             << QSize(256, 256) << kGreen;
        QTest::newRow("the image's own header, not the directory") << iconFile(
            { iconDib(filled(48, 48, kBlue)), iconDib(filled(32, 32, kRed)) }, { { 16, 16 }, { 32, 32 } })
                                                                   << QSize(48, 48) << kBlue;
        QTest::newRow("cursor") << iconFile({ iconDib(filled(32, 32, kGreen)) }, { { 32, 32 } }, 2)
                                << QSize(32, 32) << kGreen;
        QByteArray brokenPng = png(filled(64, 64, kBlue));
        brokenPng.truncate(40);
        QTest::newRow("broken best entry: next one shown")
            << iconFile({ brokenPng, iconDib(filled(32, 32, kRed)) }, { { 64, 64 }, { 32, 32 } })
            << QSize(32, 32) << kRed;
    }

    void bestEntryIsShown()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, size);
        QFETCH(QRgb, colour);
        const vm::Picture picture = load(bytes);
        QCOMPARE(picture.pixelSize(), size);
        QCOMPARE(picture.image().pixel(size.width() / 2, size.height() / 2), colour);
        QCOMPARE(
            picture.extent(), QSize(qRound(size.width() * 2540.0 / 96), qRound(size.height() * 2540.0 / 96)));
    }

    void maskMakesPixelsTransparent()
    {
        // 32-bit colours with an all-zero alpha channel: the mask decides.
        QImage colours = filled(32, 2, qRgba(255, 0, 0, 0));
        QImage mask(32, 2, QImage::Format_Indexed8);
        mask.setColorTable({ qRgb(0, 0, 0), qRgb(255, 255, 255) });
        for (int y = 0; y < 2; ++y) {
            for (int x = 0; x < 32; ++x)
                mask.setPixel(x, y, x < 16 ? 1 : 0);
        }
        const QImage image
            = load(vmtest::iconFile({ vmtest::iconDib(colours, mask) }, { { 32, 2 } })).image();
        QCOMPARE(image.format(), QImage::Format_ARGB32_Premultiplied);
        QCOMPARE(qAlpha(image.pixel(3, 1)), 0);
        QCOMPARE(image.pixel(20, 1), qRgb(255, 0, 0));
    }

    void alphaChannelOverridesMask()
    {
        QImage colours = filled(2, 1, qRgba(0, 0, 255, 255));
        colours.setPixel(0, 0, qRgba(0, 0, 255, 128));
        const QImage image = load(vmtest::iconFile({ vmtest::iconDib(colours) }, { { 2, 1 } })).image();
        QCOMPARE(image.format(), QImage::Format_ARGB32_Premultiplied);
        QCOMPARE(qAlpha(image.pixel(0, 0)), 128);
        QCOMPARE(qAlpha(image.pixel(1, 0)), 255);
    }

    void brokenIconIsRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray good = vmtest::iconFile({ vmtest::iconDib(filled(16, 16, kRed)) }, { { 16, 16 } });
        QByteArray noEntries = good.left(6);
        noEntries[4] = 0;
        QTest::newRow("no entries") << noEntries;
        QTest::newRow("directory cut short") << good.left(12);
        QByteArray farOffset = good;
        qToLittleEndian<quint32>(10000000, farOffset.data() + 6 + 12);
        QTest::newRow("image past the end") << farOffset;
        QTest::newRow("colour rows cut short") << good.left(good.size() - 200);
        QByteArray bomb = good;
        qToLittleEndian<quint32>(65535, bomb.data() + 22 + 4);
        qToLittleEndian<quint32>(2 * 65535, bomb.data() + 22 + 8);
        QTest::newRow("65535 x 65535 image") << bomb;
        QByteArray depth = good;
        qToLittleEndian<quint16>(0, depth.data() + 22 + 14);
        QTest::newRow("zero bits per pixel") << depth;
        QTest::newRow("PNG entry with a chunk claiming 2 GiB")
            << vmtest::iconFile({ withLyingChunk(png(filled(16, 16, kRed))) }, { { 16, 16 } });
    }

    // The PNG library would allocate whatever a chunk claims before reading
    // it, so the chunks are walked first.
    void pngChunksMustLieInsideTheData_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("fits");
        const QByteArray good = png(filled(8, 8, kBlue));
        QTest::newRow("whole PNG") << good << true;
        QTest::newRow("data after IEND") << good + QByteArray(100, 'x') << true;
        QTest::newRow("no IEND, chunks whole") << good.left(good.size() - 12) << true;
        QTest::newRow("last chunk cut short") << good.left(good.size() - 20) << false;
        QTest::newRow("chunk claiming 2 GiB") << withLyingChunk(good) << false;
        QTest::newRow("chunk length over 2^31") << withLyingChunk(good, 0x80000000u) << false;
        QTest::newRow("not a PNG") << QByteArray("GIF89a") + good.mid(6) << false;
        QTest::newRow("signature only") << good.left(8) << true;
        QTest::newRow("empty") << QByteArray() << false;
    }
    void pngChunksMustLieInsideTheData()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, fits);
        QCOMPARE(vm::pngChunksFit(bytes), fits);
    }

    void brokenIconIsRefused()
    {
        QFETCH(QByteArray, bytes);
        verifyRefused(bytes, Err::DamagedPicture);
    }
};

QTEST_GUILESS_MAIN(TestLoadPictureIco)
#include "tst_loadpicture_ico.moc"

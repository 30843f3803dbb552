// GIF: the first frame, composited onto the logical screen, with its
// transparency; a file cut off inside that frame is refused.
#include <QTemporaryDir>
#include <QtTest>

#include "support/loaderfixtures.h"
#include "platform/picture.h"
#include "platform/runtimeerror.h"

using vm::Err;
using vmtest::GifFrame;

namespace {

const QList<QRgb> kPalette = { qRgb(0, 0, 0), qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255) };

GifFrame solid(int left, int top, int w, int h, char index, int transparent = -1)
{
    return { left, top, w, h, QByteArray(w * h, index), transparent };
}

} // namespace

Q_DECLARE_METATYPE(Err)

class TestLoadPictureGif : public vmtest::LoaderTest {
    Q_OBJECT

public:
    TestLoadPictureGif()
        : LoaderTest(QStringLiteral("anim.gif"))
    {
    }

private Q_SLOTS:
    void firstFrameIsShown()
    {
        const QByteArray gif
            = vmtest::gifBytes(8, 4, kPalette, { solid(0, 0, 8, 4, 1), solid(0, 0, 8, 4, 2) });
        const vm::Picture picture = load(gif);
        QCOMPARE(picture.pixelSize(), QSize(8, 4));
        QCOMPARE(picture.image().pixel(3, 2), qRgb(255, 0, 0));
        QCOMPARE(picture.extent(), QSize(212, 106));
    }

    void transparentIndexIsTransparent()
    {
        GifFrame frame = solid(0, 0, 4, 1, 3, 0);
        frame.indices = QByteArray("\x00\x03\x00\x03", 4);
        const QImage image = load(vmtest::gifBytes(4, 1, kPalette, { frame })).image();
        QCOMPARE(image.format(), QImage::Format_ARGB32_Premultiplied);
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
        QCOMPARE(image.pixel(1, 0), qRgb(0, 0, 255));
    }

    void frameIsPlacedOnTheScreen()
    {
        const QImage image = load(vmtest::gifBytes(6, 6, kPalette, { solid(2, 3, 2, 2, 2) })).image();
        QCOMPARE(image.size(), QSize(6, 6));
        QCOMPARE(image.pixel(2, 3), qRgb(0, 255, 0));
        QCOMPARE(image.pixel(3, 4), qRgb(0, 255, 0));
        QVERIFY(image.pixel(0, 0) != qRgb(0, 255, 0));
    }

    void brokenGifIsRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<Err>("error");
        const QByteArray whole = vmtest::gifBytes(16, 16, kPalette, { solid(0, 0, 16, 16, 1) });
        QTest::newRow("cut off inside the first frame")
            << whole.left(whole.size() - 30) << Err::DamagedPicture;
        QTest::newRow("header only") << whole.left(13 + 12) << Err::DamagedPicture;
        QTest::newRow("no image before the trailer")
            << vmtest::gifBytes(16, 16, kPalette, {}) << Err::DamagedPicture;
        QTest::newRow("zero-sized screen")
            << vmtest::gifBytes(0, 0, kPalette, { solid(0, 0, 1, 1, 1) }) << Err::DamagedPicture;
        QTest::newRow("65535 x 65535 screen")
            << vmtest::gifBytes(65535, 65535, kPalette, { solid(0, 0, 1, 1, 1) }) << Err::PictureTooLarge;
        QTest::newRow("signature only") << QByteArray("GIF89a") << Err::DamagedPicture;
    }

    void brokenGifIsRefused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(Err, error);
        verifyRefused(bytes, error);
    }
};

QTEST_GUILESS_MAIN(TestLoadPictureGif)
#include "tst_loadpicture_gif.moc"

// Colour profiles: a tagged picture shows what a Little CMS transform of its
// pixels gives, wherever the profile is kept (JPEG APP2 segments or EXIF,
// BMP version 5, PNG icon entries, GIF); sRGB, untagged and unusable
// profiles leave the pixels exactly as they were; the size and extent never
// change.
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

#include "support/colourfixtures.h"
#include "platform/codecs/colorprofile.h"
#include "platform/picture.h"
#include "platform/runtimeerror.h"

using namespace vmtest;

namespace {

const cmsCIExyYTRIPLE kAdobePrimaries { { 0.64, 0.33, 1 }, { 0.21, 0.71, 1 }, { 0.15, 0.06, 1 } };
const cmsCIExyYTRIPLE kSrgbPrimaries { { 0.64, 0.33, 1 }, { 0.30, 0.60, 1 }, { 0.15, 0.06, 1 } };
const QList<QRgb> kGifPalette { qRgb(0, 200, 0), qRgb(200, 40, 40), qRgb(20, 20, 230), qRgb(250, 240, 30) };
const QByteArray kGifIndices("\0\1\2\3\3\2\1\0", 8);
// bV5CSType values, as the little-endian DWORDs the header holds.
constexpr quint32 kEmbedded = 0x4D424544; // 'MBED'
constexpr quint32 kLinked = 0x4C494E4B; // 'LINK'
constexpr quint32 kSrgb = 0x73524742; // 'sRGB'

// 512 colours, eight levels a channel, one pixel each.
QImage colourGrid()
{
    QImage image(32, 16, QImage::Format_RGB32);
    for (int i = 0; i < 512; ++i)
        image.setPixel(i % 32, i / 32, qRgb((i % 8) * 255 / 7, (i / 8 % 8) * 255 / 7, (i / 64) * 255 / 7));
    return image;
}

// The profile with its declared size, class or tag table spoiled.
QByteArray spoiled(QByteArray profile, int at, quint32 value)
{
    qToBigEndian<quint32>(value, profile.data() + at);
    return profile;
}

// Judges shown sRGB pixels against expected sRGB values, in CIEDE2000.
class DeltaE {
public:
    DeltaE()
        : m_srgb(cmsCreate_sRGBProfile())
        , m_lab(cmsCreateLab4Profile(nullptr))
        , m_toLab(
              cmsCreateTransform(m_srgb, TYPE_RGB_DBL, m_lab, TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC, 0))
    {
    }
    ~DeltaE()
    {
        cmsDeleteTransform(m_toLab);
        cmsCloseProfile(m_lab);
        cmsCloseProfile(m_srgb);
    }
    cmsHPROFILE srgb() const { return m_srgb; }

    // `expected` is clipped to sRGB first, as an 8-bit picture must be.
    double between(double expected[3], QRgb shown) const
    {
        for (int i = 0; i < 3; ++i)
            expected[i] = qBound(0.0, expected[i], 1.0);
        const double got[3] = { qRed(shown) / 255.0, qGreen(shown) / 255.0, qBlue(shown) / 255.0 };
        cmsCIELab a, b;
        cmsDoTransform(m_toLab, expected, &a, 1);
        cmsDoTransform(m_toLab, got, &b, 1);
        return cmsCIE2000DeltaE(&a, &b, 1, 1, 1);
    }

private:
    cmsHPROFILE m_srgb;
    cmsHPROFILE m_lab;
    cmsHTRANSFORM m_toLab;
};

// Little CMS's floating-point transform from `profile` to sRGB, with the
// profile's own intent and black-point compensation; null when it fails.
cmsHTRANSFORM referenceTransform(const QByteArray &profile, cmsUInt32Number format, const DeltaE &judge)
{
    cmsHPROFILE in = cmsOpenProfileFromMem(profile.constData(), cmsUInt32Number(profile.size()));
    if (!in)
        return nullptr;
    cmsHTRANSFORM t = cmsCreateTransform(in, format, judge.srgb(), TYPE_RGB_DBL,
        cmsGetHeaderRenderingIntent(in), cmsFLAGS_BLACKPOINTCOMPENSATION | cmsFLAGS_NOOPTIMIZE);
    cmsCloseProfile(in);
    return t;
}

// The largest difference between our picture and the reference transform
// of the untagged picture's pixels.
double worstDeltaE(
    const QImage &ours, const QImage &untagged, const QByteArray &profile, cmsUInt32Number format)
{
    const DeltaE judge;
    cmsHTRANSFORM reference = referenceTransform(profile, format, judge);
    if (!reference)
        return 1e9;
    double worst = 0;
    for (int y = 0; y < ours.height(); ++y) {
        for (int x = 0; x < ours.width(); ++x) {
            const QRgb stored = untagged.pixel(x, y);
            double expected[3];
            cmsDoTransform(reference, &stored, expected, 1);
            worst = std::max(worst, judge.between(expected, ours.pixel(x, y)));
        }
    }
    cmsDeleteTransform(reference);
    return worst;
}

// A cHRM chunk: white x, y, then red, green and blue.
QByteArray cHRM(std::initializer_list<double> xy)
{
    QByteArray data;
    for (double v : xy)
        data += be32(quint32(qRound(v * 100000)));
    return pngChunk("cHRM", data);
}

} // namespace

class TestColorProfile : public QObject {
    Q_OBJECT

private:
    QByteArray m_swapped;
    QByteArray m_adobe;
    QByteArray m_proPhoto;
    QByteArray m_srgb;

    void untouchedRows()
    {
        QTest::addColumn<QByteArray>("tagged");
        QTest::addColumn<QByteArray>("untagged");
    }

    // Loads the row's tagged and untagged files. A profile may change the
    // colours, never the size, extent or pixel format.
    static void loadTaggedAndPlain(Loaded &ours, Loaded &plain)
    {
        QFETCH(QByteArray, tagged);
        QFETCH(QByteArray, untagged);
        ours = load(tagged);
        plain = load(untagged);
        QCOMPARE(ours.image.size(), plain.image.size());
        QCOMPARE(ours.extent, plain.extent);
        QCOMPARE(ours.image.format(), plain.image.format());
    }

    // Same pixels, same size, same extent, same format.
    static void verifyUntouched()
    {
        Loaded a;
        Loaded b;
        loadTaggedAndPlain(a, b);
        if (!QTest::currentTestFailed())
            QVERIFY(a.image == b.image);
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_swapped = colordProfile("SwappedRedAndGreen.icc");
        m_adobe = colordProfile("AdobeRGB1998.icc");
        m_proPhoto = colordProfile("ProPhotoRGB.icc");
        m_srgb = colordProfile("sRGB.icc");
        QVERIFY2(!m_swapped.isEmpty() && !m_adobe.isEmpty() && !m_proPhoto.isEmpty() && !m_srgb.isEmpty(),
            "colord's profiles are missing (Debian package colord-data; scripts/deps.sh test installs it)");
    }

    void swappedProfileTurnsRedIntoGreen_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QSize>("maxSize");
        const QImage red = redSquare();
        // gAMA of sRGB with the primaries of red and green exchanged.
        const QByteArray swappedChunks
            = pngChunk("gAMA", be32(45455)) + cHRM({ 0.3127, 0.3290, 0.30, 0.60, 0.64, 0.33, 0.15, 0.06 });
        const QList<QRgb> palette { 0, qRgb(230, 20, 20), 0, 0 };
        QTest::newRow("JPEG") << taggedJpeg(red, m_swapped) << QSize();
        QTest::newRow("JPEG preview, reduced first")
            << taggedJpeg(redSquare(256), m_swapped) << QSize(32, 32);
        QTest::newRow("BMP version 5") << bmpV5(red, kEmbedded, m_swapped) << QSize();
        QTest::newRow("icon PNG iCCP") << pngIcon(red, iccpChunk(m_swapped)) << QSize();
        QTest::newRow("icon PNG cHRM") << pngIcon(red, swappedChunks) << QSize();
        QTest::newRow("GIF ICCRGBG1")
            << gifWithProfile(8, 8, palette, QByteArray(64, '\1'), m_swapped) << QSize();
    }

    void swappedProfileTurnsRedIntoGreen()
    {
        QFETCH(QByteArray, file);
        QFETCH(QSize, maxSize);
        const Loaded shown = load(file, maxSize);
        if (!maxSize.isEmpty())
            QVERIFY(shown.image.width() < 256 && shown.image.width() >= maxSize.width());
        const QRgb c = shown.image.pixel(shown.image.width() / 2, shown.image.height() / 2);
        QVERIFY2(isGreen(c), qPrintable(QString::number(c, 16)));
    }

    void taggedPictureMatchesReferenceTransform_data()
    {
        QTest::addColumn<QByteArray>("tagged");
        QTest::addColumn<QByteArray>("untagged");
        QTest::addColumn<QByteArray>("profile");
        QTest::addColumn<uint>("format");
        const auto row = [](const char *name, const QByteArray &tagged, const QByteArray &untagged,
                             const QByteArray &profile, uint format = TYPE_BGRA_8) {
            QTest::newRow(name) << tagged << untagged << profile << format;
        };
        const QImage grid = colourGrid();
        const QByteArray jpeg = jpegOf(grid);
        const QByteArray p3 = displayP3Profile();
        row("JPEG Adobe RGB", withApp2(jpeg, iccSegments(m_adobe, 1)), jpeg, m_adobe);
        row("JPEG ProPhoto", withApp2(jpeg, iccSegments(m_proPhoto, 1)), jpeg, m_proPhoto);
        row("JPEG Display P3", withApp2(jpeg, iccSegments(p3, 1)), jpeg, p3);
        row("JPEG ProPhoto in 4 chunks, out of order",
            withApp2(jpeg, iccSegments(m_proPhoto, 4, { 3, 1, 4, 2 })), jpeg, m_proPhoto);
        // The EXIF way has no profile in the file: colord's Adobe RGB is the
        // independent reference for the one we make.
        row("JPEG EXIF uncalibrated R03 as Adobe RGB", jpegOf(grid, exifColourSpace(0xFFFF, "R03")), jpeg,
            m_adobe);
        const QByteArray grey = jpegOf(grid, {}, Jpeg::Grey);
        cmsToneCurve *linear = cmsBuildGamma(nullptr, 1.0);
        const QByteArray linearGrey = savedProfile(cmsCreateGrayProfile(cmsD50_xyY(), linear));
        cmsFreeToneCurve(linear);
        // The blue byte of each pixel, which holds the grey level.
        const uint greyOfBgra = COLORSPACE_SH(PT_GRAY) | CHANNELS_SH(1) | BYTES_SH(1) | EXTRA_SH(3);
        row("JPEG grey, linear grey profile", withApp2(grey, iccSegments(linearGrey, 1)), grey, linearGrey,
            greyOfBgra);
        row("BMP version 5 Display P3", bmpV5(grid, kEmbedded, p3), bmpV5(grid, kSrgb, {}), p3);
        const QByteArray png = pngIcon(grid, {});
        row("icon PNG iCCP ProPhoto", pngIcon(grid, iccpChunk(m_proPhoto)), png, m_proPhoto);
        row("icon PNG gAMA 1.0, cHRM of Adobe RGB",
            pngIcon(grid,
                pngChunk("gAMA", be32(100000))
                    + cHRM({ 0.3127, 0.3290, 0.64, 0.33, 0.21, 0.71, 0.15, 0.06 })),
            png, rgbProfile(kAdobePrimaries, 1.0));
        row("icon PNG gAMA 1.8 alone", pngIcon(grid, pngChunk("gAMA", be32(55556))), png,
            rgbProfile(kSrgbPrimaries, 1.8));
        row("GIF ICCRGBG1 Adobe RGB", gifWithProfile(4, 2, kGifPalette, kGifIndices, m_adobe),
            gifWithProfile(4, 2, kGifPalette, kGifIndices, {}), m_adobe);
    }

    void taggedPictureMatchesReferenceTransform()
    {
        QFETCH(QByteArray, profile);
        QFETCH(uint, format);
        Loaded ours;
        Loaded plain;
        loadTaggedAndPlain(ours, plain);
        if (QTest::currentTestFailed())
            return;
        const double converted = worstDeltaE(ours.image, plain.image, profile, format);
        QVERIFY2(converted <= 2.0, qPrintable(QStringLiteral("worst ΔE2000 %1").arg(converted)));
        // Showing the stored values as sRGB would be visibly wrong.
        const double unconverted = worstDeltaE(plain.image, plain.image, profile, format);
        QVERIFY2(unconverted > 4.0, qPrintable(QStringLiteral("unconverted ΔE2000 %1").arg(unconverted)));
    }

    // Camera and display profiles are matrix-shaper profiles; their
    // conversion runs on precalculated tables, which must give what Little
    // CMS's floating-point transform gives, colour for colour, to within one
    // level.
    void matrixShaperConversionAgreesWithLittleCms_data()
    {
        QTest::addColumn<QByteArray>("profile");
        QTest::newRow("Adobe RGB") << m_adobe;
        QTest::newRow("Display P3") << displayP3Profile();
        QTest::newRow("ProPhoto (much outside sRGB)") << m_proPhoto;
        QTest::newRow("swapped red and green") << m_swapped;
        // Imaginary primaries (those of ACES): the matrix to sRGB spans more
        // than 16-bit fields hold, so the wide ones serve it.
        QTest::newRow("imaginary primaries")
            << rgbProfile({ { 0.7347, 0.2653, 1 }, { 0.0, 1.0, 1 }, { 0.0001, -0.0770, 1 } }, 2.2);
    }
    void matrixShaperConversionAgreesWithLittleCms()
    {
        QFETCH(QByteArray, profile);
        const auto conversion = vm::ColorConversion::find(profile, vm::PixelModel::Rgb);
        QVERIFY(conversion && conversion->isMatrixShaper());
        QImage ours(256, 256, QImage::Format_ARGB32); // alpha as it comes
        quint32 noise = 7;
        for (int y = 0; y < ours.height(); ++y) {
            auto *row = reinterpret_cast<QRgb *>(ours.scanLine(y));
            for (int x = 0; x < ours.width(); ++x)
                row[x] = noise = noise * 1664525u + 1013904223u;
        }
        const QImage before = ours.copy();
        const int worst = worstAgainstExactTransform(*conversion, profile, {}, ours);
        QVERIFY(worst >= 0);
        for (int y = 0; y < ours.height(); ++y) {
            for (int x = 0; x < ours.width(); ++x)
                QCOMPARE(qAlpha(ours.pixel(x, y)), qAlpha(before.pixel(x, y))); // not a colour
        }
        QVERIFY2(worst <= 1, qPrintable(QStringLiteral("worst difference %1 levels").arg(worst)));
    }

    void cmykJpegMatchesReferenceTransform()
    {
        const QByteArray profile = cmykProfile();
        QVERIFY(!profile.isEmpty());
        const QImage grid = colourGrid();
        const QByteArray plain = jpegOf(grid, {}, Jpeg::Cmyk); // Adobe's inverted CMYK
        const QByteArray tagged = withApp2(plain, iccSegments(profile, 2));
        const QImage ours = load(tagged).image;
        const QImage naive = load(plain).image;
        QCOMPARE(ours.size(), grid.size());
        QCOMPARE(ours.format(), QImage::Format_RGB32);

        const QImage samples = libjpegDecode(plain, JCS_CMYK);
        const uchar *ink = samples.constBits();
        const DeltaE judge;
        cmsHTRANSFORM reference = referenceTransform(profile, TYPE_CMYK_DBL, judge);
        QVERIFY(reference);
        double worstOurs = 0;
        double worstNaive = 0;
        for (int i = 0; i < grid.width() * grid.height(); ++i) {
            // Adobe's inverted bytes as ink percentages.
            double percent[4];
            for (int k = 0; k < 4; ++k)
                percent[k] = (255 - quint8(ink[4 * i + k])) * 100.0 / 255;
            double expected[3];
            cmsDoTransform(reference, percent, expected, 1);
            const int x = i % grid.width();
            const int y = i / grid.width();
            worstOurs = std::max(worstOurs, judge.between(expected, ours.pixel(x, y)));
            worstNaive = std::max(worstNaive, judge.between(expected, naive.pixel(x, y)));
        }
        cmsDeleteTransform(reference);
        QVERIFY2(worstOurs <= 2.0, qPrintable(QStringLiteral("worst ΔE2000 %1").arg(worstOurs)));
        QVERIFY2(worstNaive > 5.0, "the test profile should differ from the naive formula");
    }

    void srgbAndUntaggedPicturesAreUntouched_data()
    {
        untouchedRows();
        const QImage grid = colourGrid();
        const QByteArray jpeg = jpegOf(grid);
        const QByteArray png = pngIcon(grid, {});
        const QByteArray gif = gifWithProfile(4, 2, kGifPalette, kGifIndices, {});
        QTest::newRow("JPEG colord sRGB") << withApp2(jpeg, iccSegments(m_srgb, 1)) << jpeg;
        QTest::newRow("JPEG Little CMS sRGB")
            << withApp2(jpeg, iccSegments(srgbProfileFromLcms(), 1)) << jpeg;
        QTest::newRow("JPEG other APP2 segment") << withApp2(jpeg, { QByteArray("MPF\0II*\0", 8) }) << jpeg;
        QTest::newRow("JPEG EXIF sRGB, R03") << jpegOf(grid, exifColourSpace(1, "R03")) << jpeg;
        QTest::newRow("JPEG EXIF uncalibrated, R98")
            << jpegOf(grid, exifColourSpace(0xFFFF, "R98\0")) << jpeg;
        QTest::newRow("BMP version 5 sRGB embedded")
            << bmpV5(grid, kEmbedded, m_srgb) << bmpV5(grid, kSrgb, {});
        QTest::newRow("BMP version 5 linked profile") << bmpV5(
            grid, kLinked, QByteArray("C:\\Windows\\System32\\spool\\drivers\\color\\wide.icc\0", 49))
                                                      << bmpV5(grid, kSrgb, {});
        QTest::newRow("icon PNG sRGB chunk") << pngIcon(grid, pngChunk("sRGB", QByteArray(1, '\0'))) << png;
        QTest::newRow("icon PNG gAMA 1/2.2") << pngIcon(grid, pngChunk("gAMA", be32(45455))) << png;
        QTest::newRow("icon PNG iCCP sRGB") << pngIcon(grid, iccpChunk(m_srgb)) << png;
        QTest::newRow("GIF ICCRGBG1 sRGB") << gifWithProfile(4, 2, kGifPalette, kGifIndices, m_srgb) << gif;
    }

    void srgbAndUntaggedPicturesAreUntouched() { verifyUntouched(); }

    void unusableProfileIsIgnored_data()
    {
        untouchedRows();
        const QImage grid = colourGrid();
        const QByteArray jpeg = jpegOf(grid);
        auto tagged = [&](const QList<QByteArray> &segments) { return withApp2(jpeg, segments); };
        const QByteArray p = m_adobe;
        QTest::newRow("JPEG truncated profile") << tagged(iccSegments(p.left(p.size() / 2), 1)) << jpeg;
        QTest::newRow("JPEG size field past the data")
            << tagged(iccSegments(spoiled(p, 0, quint32(p.size() + 1)), 1)) << jpeg;
        QTest::newRow("JPEG size field inside the header")
            << tagged(iccSegments(spoiled(p, 0, 100), 1)) << jpeg;
        QTest::newRow("JPEG no acsp") << tagged(iccSegments(spoiled(p, 36, 0x41414141), 1)) << jpeg;
        QTest::newRow("JPEG abstract class") << tagged(iccSegments(spoiled(p, 12, 0x61627374), 1)) << jpeg;
        QTest::newRow("JPEG device link class") << tagged(iccSegments(spoiled(p, 12, 0x6C696E6B), 1)) << jpeg;
        QTest::newRow("JPEG 5000 tags") << tagged(iccSegments(spoiled(p, 128, 5000), 1)) << jpeg;
        QTest::newRow("JPEG tag past the end")
            << tagged(iccSegments(spoiled(p, 132 + 4, 0x7fffffff), 1)) << jpeg;
        QByteArray scrambled = p;
        for (qsizetype i = 132 + 12 * 10; i < scrambled.size(); ++i)
            scrambled[i] = char(i * 37);
        QTest::newRow("JPEG tag data scrambled") << tagged(iccSegments(scrambled, 1)) << jpeg;
        QTest::newRow("JPEG chunk missing") << tagged(iccSegments(p, 3, { 1, 3 })) << jpeg;
        QTest::newRow("JPEG chunk twice") << tagged(iccSegments(p, 3, { 1, 2, 2, 3 })) << jpeg;
        QList<QByteArray> disagreeing = iccSegments(p, 2);
        disagreeing[1][13] = 3;
        QTest::newRow("JPEG chunk counts disagree") << tagged(disagreeing) << jpeg;
        QList<QByteArray> zero = iccSegments(p, 1);
        zero[0][12] = 0;
        QTest::newRow("JPEG sequence number 0") << tagged(zero) << jpeg;
        QByteArray huge = spoiled(p, 0, 4 * 1024 * 1024 + 1);
        huge.append(QByteArray(4 * 1024 * 1024 + 1 - huge.size(), '\0'));
        QTest::newRow("JPEG profile over 4 MB") << tagged(iccSegments(huge, 70)) << jpeg;
        QTest::newRow("JPEG CMYK profile on RGB") << tagged(iccSegments(cmykProfile(), 1)) << jpeg;
        QTest::newRow("JPEG RGB profile on grey")
            << withApp2(jpegOf(grid, {}, Jpeg::Grey), iccSegments(p, 1)) << jpegOf(grid, {}, Jpeg::Grey);
        QByteArray bmp = bmpV5(grid, kEmbedded, p);
        qToLittleEndian<quint32>(quint32(p.size() + 1), bmp.data() + 14 + 116);
        QTest::newRow("BMP version 5 profile past the end") << bmp << bmpV5(grid, kSrgb, {});
        QByteArray badZlib = iccpChunk(p);
        badZlib[30] = char(badZlib[30] ^ 0x55);
        const QByteArray png = pngIcon(grid, {});
        QTest::newRow("icon PNG iCCP damaged stream") << pngIcon(grid, badZlib) << png;
        QTest::newRow("icon PNG iCCP inflating past 4 MB")
            << pngIcon(grid, iccpChunk(huge + QByteArray(4096, '\0'))) << png;
        QTest::newRow("icon PNG cHRM without colour")
            << pngIcon(grid, pngChunk("cHRM", QByteArray(32, '\0'))) << png;
        QTest::newRow("GIF ICCRGBG1 truncated profile") << gifWithProfile(4, 2, kGifPalette, kGifIndices,
            p.left(300)) << gifWithProfile(4, 2, kGifPalette, kGifIndices, {});
    }

    void unusableProfileIsIgnored() { verifyUntouched(); }

    void taggedPhotoKeepsItsReports()
    {
        // Orientation, density and the reduced preview all as untagged.
        Jpeg j;
        j.densityUnit = 1;
        j.xDensity = 300;
        j.yDensity = 150;
        j.exif = exifPayload(6);
        const QByteArray plain = j.encode(quadrants(64, 32));
        const QByteArray tagged = withApp2(plain, iccSegments(m_swapped, 2));
        for (QSize maxSize : { QSize(), QSize(16, 16) }) {
            const Loaded a = load(tagged, maxSize);
            const Loaded b = load(plain, maxSize);
            QCOMPARE(a.image.size(), b.image.size());
            QCOMPARE(a.extent, b.extent);
            // Stored red top-left; turned a quarter clockwise it is top-right.
            const QRgb topRight = b.image.pixel(3 * b.image.width() / 4, b.image.height() / 4);
            QVERIFY(isRed(topRight));
            QVERIFY(isGreen(a.image.pixel(3 * a.image.width() / 4, a.image.height() / 4)));
        }
    }

    void largePictureConvertsEveryRow()
    {
        // Past the size that splits rows over threads: the last row and the
        // first must both be converted, exactly as a small picture is.
        const QImage big = redSquare(1024);
        const Loaded shown = load(taggedJpeg(big, m_swapped));
        const Loaded small = load(taggedJpeg(redSquare(16), m_swapped));
        const QRgb expected = small.image.pixel(8, 8);
        QVERIFY(isGreen(expected));
        for (int y : { 0, 31, 32, 500, 1023 })
            QCOMPARE(shown.image.pixel(512, y), expected);
    }
};

QTEST_MAIN(TestColorProfile)
#include "tst_colorprofile.moc"

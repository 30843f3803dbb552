// Colour profiles and tagged pictures made on the fly for the colour tests:
// profiles built with Little CMS (or read from colord's collection), JPEGs
// with APP2 segments inserted by hand, version 5 bitmaps, icons with a PNG
// entry carrying colour chunks, and GIFs with an ICCRGBG1 extension.
#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QList>
#include <QTemporaryDir>
#include <QtEndian>

#include <algorithm>
#include <cstdlib>

#include <lcms2.h>
#include <zlib.h>

#include "support/loaderfixtures.h"
#include "platform/codecs/colorprofile.h"
#include "platform/picture.h"

namespace vmtest {

inline QByteArray savedProfile(cmsHPROFILE p)
{
    QByteArray bytes;
    cmsUInt32Number size = 0;
    if (p && cmsSaveProfileToMem(p, nullptr, &size)) {
        bytes.resize(qsizetype(size));
        cmsSaveProfileToMem(p, bytes.data(), &size);
    }
    if (p)
        cmsCloseProfile(p);
    return bytes;
}

inline QByteArray colordProfile(const char *name)
{
    QFile f(QStringLiteral("/usr/share/color/icc/colord/") + QLatin1String(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// An RGB matrix-shaper profile with a D65 white, the given primaries and
// either a pure gamma or (gamma 0) the sRGB curve.
inline QByteArray rgbProfile(cmsCIExyYTRIPLE primaries, double gamma)
{
    const cmsCIExyY white { 0.3127, 0.3290, 1.0 };
    const double srgb[5] = { 2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045 };
    cmsToneCurve *curve
        = gamma > 0 ? cmsBuildGamma(nullptr, gamma) : cmsBuildParametricToneCurve(nullptr, 4, srgb);
    cmsToneCurve *curves[3] = { curve, curve, curve };
    cmsHPROFILE p = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(curve);
    return savedProfile(p);
}

inline QByteArray displayP3Profile()
{
    return rgbProfile({ { 0.680, 0.320, 1 }, { 0.265, 0.690, 1 }, { 0.150, 0.060, 1 } }, 0);
}

inline QByteArray srgbProfileFromLcms()
{
    return savedProfile(cmsCreate_sRGBProfile());
}

// A printer's CMYK profile whose inks are not the ideal ones the naive
// formula assumes: cyan also takes some green, magenta some blue, and black
// is a little warm. The table goes from ink to Lab through sRGB.
inline int cmykSampler(const cmsUInt16Number in[], cmsUInt16Number out[], void *cargo)
{
    const double c = in[0] / 65535.0, m = in[1] / 65535.0, y = in[2] / 65535.0, k = in[3] / 65535.0;
    double rgb[3] = { (1 - c) * (1 - 0.08 * m) * (1 - 0.9 * k),
        (1 - m) * (1 - 0.25 * c) * (1 - 0.05 * y) * (1 - 0.92 * k),
        (1 - y) * (1 - 0.2 * m) * (1 - 0.1 * c) * (1 - 0.95 * k) };
    for (double &v : rgb)
        v = 0.05 + 0.93 * v; // paper white and a black that is not perfect
    cmsCIELab lab;
    cmsDoTransform(static_cast<cmsHTRANSFORM>(cargo), rgb, &lab, 1);
    cmsFloat2LabEncoded(out, &lab);
    return 1;
}

inline QByteArray cmykProfile()
{
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
    cmsHTRANSFORM toLab
        = cmsCreateTransform(srgb, TYPE_RGB_DBL, lab, TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC, 0);
    cmsHPROFILE p = cmsCreateProfilePlaceholder(nullptr);
    cmsSetProfileVersion(p, 4.3);
    cmsSetDeviceClass(p, cmsSigOutputClass);
    cmsSetColorSpace(p, cmsSigCmykData);
    cmsSetPCS(p, cmsSigLabData);
    cmsPipeline *pipeline = cmsPipelineAlloc(nullptr, 4, 3);
    cmsStage *clut = cmsStageAllocCLut16bit(nullptr, 9, 4, 3, nullptr);
    cmsStageSampleCLut16bit(clut, cmykSampler, toLab, 0);
    // lutAtoBType wants curves on both sides of the table.
    cmsPipelineInsertStage(pipeline, cmsAT_END, cmsStageAllocToneCurves(nullptr, 4, nullptr));
    cmsPipelineInsertStage(pipeline, cmsAT_END, clut);
    cmsPipelineInsertStage(pipeline, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, nullptr));
    cmsWriteTag(p, cmsSigAToB0Tag, pipeline);
    cmsWriteTag(p, cmsSigMediaWhitePointTag, cmsD50_XYZ());
    cmsMLU *text = cmsMLUalloc(nullptr, 1);
    cmsMLUsetASCII(text, "en", "US", "Test CMYK");
    cmsWriteTag(p, cmsSigProfileDescriptionTag, text);
    cmsMLUfree(text);
    cmsPipelineFree(pipeline);
    cmsDeleteTransform(toLab);
    cmsCloseProfile(lab);
    cmsCloseProfile(srgb);
    return savedProfile(p);
}

// APP2 payloads carrying `profile` in `count` chunks, in file order `order`
// (1-based sequence numbers; empty: 1..count).
inline QList<QByteArray> iccSegments(const QByteArray &profile, int count, QList<int> order = {})
{
    if (order.isEmpty()) {
        for (int i = 1; i <= count; ++i)
            order.append(i);
    }
    const qsizetype step = (profile.size() + count - 1) / count;
    QList<QByteArray> out;
    for (int sequence : order) {
        QByteArray p("ICC_PROFILE", 12);
        p.append(char(sequence));
        p.append(char(count));
        p.append(profile.mid(step * (sequence - 1), step));
        out.append(p);
    }
    return out;
}

// The JPEG with APP2 segments inserted right after SOI.
inline QByteArray withApp2(const QByteArray &jpeg, const QList<QByteArray> &payloads)
{
    QByteArray out = jpeg.left(2);
    for (const QByteArray &p : payloads) {
        out.append("\xff\xe2", 2);
        char length[2];
        qToBigEndian<quint16>(quint16(p.size() + 2), length);
        out.append(length, 2);
        out.append(p);
    }
    return out + jpeg.mid(2);
}

// EXIF with ColorSpace in the Exif IFD and an interoperability index.
inline QByteArray exifColourSpace(quint16 colourSpace, const char *index)
{
    QByteArray t("II*\0", 4);
    putLE32(t, 8);
    putLE16(t, 1); // IFD0: the Exif IFD pointer
    putLE16(t, 0x8769), putLE16(t, 4), putLE32(t, 1), putLE32(t, 26);
    putLE32(t, 0);
    putLE16(t, 2); // Exif IFD at 26
    putLE16(t, 0xA001), putLE16(t, 3), putLE32(t, 1), putLE16(t, colourSpace), putLE16(t, 0);
    putLE16(t, 0xA005), putLE16(t, 4), putLE32(t, 1), putLE32(t, 56);
    putLE32(t, 0);
    putLE16(t, 1); // interoperability IFD at 56
    putLE16(t, 0x0001), putLE16(t, 2), putLE32(t, 4);
    t.append(index, 4);
    putLE32(t, 0);
    return QByteArray("Exif\0\0", 6) + t;
}

// A top-down 24-bit bitmap with a version 5 header; `csType` 'MBED' with a
// profile embeds it after the pixels, 'LINK' names a file.
inline QByteArray bmpV5(const QImage &image, quint32 csType, const QByteArray &profile)
{
    const int w = image.width();
    const int h = image.height();
    const int stride = (w * 3 + 3) / 4 * 4;
    QByteArray pixels;
    for (int y = 0; y < h; ++y) {
        QByteArray row(stride, '\0');
        for (int x = 0; x < w; ++x) {
            const QRgb c = image.pixel(x, y);
            row[3 * x] = char(qBlue(c));
            row[3 * x + 1] = char(qGreen(c));
            row[3 * x + 2] = char(qRed(c));
        }
        pixels.append(row);
    }
    const quint32 pixelOffset = 14 + 124;
    QByteArray b = bmpFileHeader(pixelOffset + quint32(pixels.size() + profile.size()), pixelOffset);
    QByteArray header;
    putLE32(header, 124);
    putLE32(header, quint32(w));
    putLE32(header, quint32(-h));
    putLE16(header, 1);
    putLE16(header, 24);
    putLE32(header, 0); // BI_RGB
    putLE32(header, quint32(pixels.size()));
    putLE32(header, 2835);
    putLE32(header, 2835);
    putLE32(header, 0);
    putLE32(header, 0);
    for (int i = 0; i < 4; ++i)
        putLE32(header, 0); // masks
    putLE32(header, csType);
    header.append(QByteArray(36 + 12, '\0')); // endpoints, gammas
    putLE32(header, 4); // intent: perceptual (LCS_GM_IMAGES)
    putLE32(header, profile.isEmpty() ? 0 : quint32(124 + pixels.size()));
    putLE32(header, quint32(profile.size()));
    putLE32(header, 0);
    return b + header + pixels + profile;
}

inline QByteArray pngChunk(const char *type, const QByteArray &data)
{
    QByteArray c;
    char length[4];
    qToBigEndian<quint32>(quint32(data.size()), length);
    c.append(length, 4);
    const QByteArray body = QByteArray(type, 4) + data;
    c.append(body);
    char crc[4];
    qToBigEndian<quint32>(
        quint32(crc32(0, reinterpret_cast<const Bytef *>(body.constData()), uInt(body.size()))), crc);
    c.append(crc, 4);
    return c;
}

inline QByteArray iccpChunk(const QByteArray &profile)
{
    uLongf size = compressBound(uLong(profile.size()));
    QByteArray z(qsizetype(size), '\0');
    compress(reinterpret_cast<Bytef *>(z.data()), &size, reinterpret_cast<const Bytef *>(profile.constData()),
        uLong(profile.size()));
    z.resize(qsizetype(size));
    return pngChunk("iCCP", QByteArray("test\0\0", 6) + z);
}

inline QByteArray be32(quint32 v)
{
    char d[4];
    qToBigEndian(v, d);
    return QByteArray(d, 4);
}

// An icon whose one entry is a PNG of `image` with `chunks` after IHDR.
inline QByteArray pngIcon(const QImage &image, const QByteArray &chunks)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "png");
    png.insert(8 + 25, chunks); // signature, IHDR
    return iconFile({ png }, { image.size() });
}

// A 4-colour GIF of one frame, with an ICCRGBG1 extension before it when
// `profile` is given.
inline QByteArray gifWithProfile(
    int w, int h, const QList<QRgb> &palette, const QByteArray &indices, const QByteArray &profile)
{
    QByteArray gif = gifBytes(w, h, palette, { { 0, 0, w, h, indices, -1 } });
    if (profile.isEmpty())
        return gif;
    QByteArray ext("\x21\xff\x0bICCRGBG1012", 14);
    for (qsizetype at = 0; at < profile.size(); at += 255) {
        const QByteArray chunk = profile.mid(at, 255);
        ext.append(char(chunk.size()));
        ext.append(chunk);
    }
    ext.append('\0');
    gif.insert(13 + 12, ext); // header, screen, 4-entry table
    return gif;
}

// A red square, the colour the swapped-channels profile turns green.
inline QImage redSquare(int side = 32)
{
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(qRgb(230, 20, 20));
    return image;
}

inline QByteArray jpegOf(const QImage &image, const QByteArray &exif = {}, Jpeg::Model model = Jpeg::Rgb)
{
    Jpeg j;
    j.exif = exif;
    j.model = model;
    return j.encode(image);
}

// A JPEG carrying `profile` in `chunks` APP2 segments.
inline QByteArray taggedJpeg(const QImage &image, const QByteArray &profile, int chunks = 1)
{
    return withApp2(jpegOf(image), iccSegments(profile, chunks));
}

// libjpeg's own decoding of a whole JPEG, one row after another on one
// thread, into `space` (four bytes a pixel: JCS_EXT_BGRA for RGB32 colours,
// JCS_CMYK for the ink samples as stored, before any conversion).
inline QImage libjpegDecode(const QByteArray &jpeg, J_COLOR_SPACE space)
{
    jpeg_decompress_struct d {};
    jpeg_error_mgr err {};
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, reinterpret_cast<const unsigned char *>(jpeg.constData()), (unsigned long)jpeg.size());
    jpeg_read_header(&d, TRUE);
    d.out_color_space = space;
    d.dct_method = JDCT_ISLOW;
    jpeg_start_decompress(&d);
    QImage image(int(d.output_width), int(d.output_height), QImage::Format_RGB32);
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = image.scanLine(int(d.output_scanline));
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return image;
}

// Converts `image` (32 bits a pixel) in place with `conversion`, and returns
// the most any channel differs from Little CMS's floating-point transform
// from `profile` to `display` (sRGB when empty), with the profile's intent
// and black-point compensation; -1 when Little CMS cannot make it.
inline int worstAgainstExactTransform(const vm::ColorConversion &conversion, const QByteArray &profile,
    const QByteArray &display, QImage &image)
{
    cmsHPROFILE in = cmsOpenProfileFromMem(profile.constData(), cmsUInt32Number(profile.size()));
    cmsHPROFILE out = display.isEmpty()
        ? cmsCreate_sRGBProfile()
        : cmsOpenProfileFromMem(display.constData(), cmsUInt32Number(display.size()));
    const cmsUInt32Number intent = in ? cmsGetHeaderRenderingIntent(in) : 0;
    cmsHTRANSFORM exact = in && out ? cmsCreateTransform(in, TYPE_BGRA_8, out, TYPE_BGRA_8,
                              intent <= INTENT_ABSOLUTE_COLORIMETRIC ? intent : INTENT_PERCEPTUAL,
                              cmsFLAGS_BLACKPOINTCOMPENSATION | cmsFLAGS_NOCACHE | cmsFLAGS_NOOPTIMIZE)
                                    : nullptr;
    if (in)
        cmsCloseProfile(in);
    if (out)
        cmsCloseProfile(out);
    if (!exact)
        return -1;
    QImage expected = image.copy();
    for (int y = 0; y < expected.height(); ++y)
        cmsDoTransform(exact, expected.scanLine(y), expected.scanLine(y), cmsUInt32Number(expected.width()));
    cmsDeleteTransform(exact);
    conversion.convertRows(image.bits(), image.bytesPerLine(), image.width(), image.height());
    int worst = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto *a = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        const auto *b = reinterpret_cast<const QRgb *>(expected.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            worst = std::max({ worst, std::abs(qRed(a[x]) - qRed(b[x])),
                std::abs(qGreen(a[x]) - qGreen(b[x])), std::abs(qBlue(a[x]) - qBlue(b[x])) });
        }
    }
    return worst;
}

struct Loaded {
    QImage image;
    QSize extent;
};

// Loads `bytes` as a picture file, reduced for `maxSize` when one is given.
inline Loaded load(const QByteArray &bytes, QSize maxSize = QSize())
{
    static QTemporaryDir dir;
    static int serial = 0;
    const QString path = writeFile(dir, QStringLiteral("picture%1").arg(++serial), bytes);
    const vm::Picture p = vm::LoadPictureForSize(path, maxSize);
    return { p.image(), p.extent() };
}

inline bool isGreen(QRgb c)
{
    return qGreen(c) > 150 && qRed(c) < 90 && qBlue(c) < 90;
}

inline bool isRed(QRgb c)
{
    return qRed(c) > 150 && qGreen(c) < 90 && qBlue(c) < 90;
}

} // namespace vmtest

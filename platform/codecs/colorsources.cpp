// Where pictures keep their colour profiles, apart from the formats whose
// decoders find them on their own way through the file (BMP, GIF).
#include <QtEndian>

#include <cmath>
#include <vector>

#include <lcms2.h>
#include <zlib.h>

#include "platform/codecs/colorprofile.h"

namespace vm {

namespace {

constexpr char kIccMarker[] = "ICC_PROFILE"; // then a NUL, the sequence number and the count
constexpr qsizetype kIccMarkerHeader = 14;

// A profile made with Little CMS's own API, as ICC bytes.
QByteArray saved(cmsHPROFILE profile)
{
    QByteArray bytes;
    cmsUInt32Number size = 0;
    if (profile && cmsSaveProfileToMem(profile, nullptr, &size) && size > 0) {
        bytes.resize(qsizetype(size));
        if (!cmsSaveProfileToMem(profile, bytes.data(), &size))
            bytes.clear();
    }
    if (profile)
        cmsCloseProfile(profile);
    return bytes;
}

// Inflates a zlib stream, giving up past the largest profile we take.
QByteArray inflated(QByteArrayView data)
{
    z_stream z {};
    if (inflateInit(&z) != Z_OK)
        return {};
    QByteArray out;
    char buffer[16384];
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
    z.avail_in = uInt(data.size());
    int rc = Z_OK;
    while (rc == Z_OK) {
        z.next_out = reinterpret_cast<Bytef *>(buffer);
        z.avail_out = sizeof buffer;
        rc = inflate(&z, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END)
            break;
        out.append(buffer, qsizetype(sizeof buffer - z.avail_out));
        if (out.size() > kMaxIccProfileSize)
            break;
        if (rc == Z_OK && z.avail_in == 0 && z.avail_out != 0)
            break; // the data ends inside the stream
    }
    inflateEnd(&z);
    return rc == Z_STREAM_END && out.size() <= kMaxIccProfileSize ? out : QByteArray();
}

struct PngColour {
    bool grey = false;
    bool srgb = false;
    QByteArray iccp; // compressed profile
    quint32 gamma = 0; // gAMA, 100 000 times the encoding exponent
    bool hasChromaticities = false;
    double chrm[8] = {}; // white x, y; red x, y; green x, y; blue x, y
};

// The colour chunks come before the image data; anything past it is not read.
PngColour readPngColour(QByteArrayView png)
{
    PngColour c;
    qsizetype at = 8;
    while (png.size() - at >= 12) {
        const quint32 length = qFromBigEndian<quint32>(png.data() + at);
        if (qint64(length) > png.size() - at - 12)
            break;
        const QByteArrayView type = png.sliced(at + 4, 4);
        const QByteArrayView data = png.sliced(at + 8, length);
        if (type == "IHDR" && length >= 13)
            c.grey = data[9] == 0 || data[9] == 4;
        else if (type == "sRGB")
            c.srgb = true;
        else if (type == "iCCP")
            c.iccp = data.toByteArray();
        else if (type == "gAMA" && length == 4)
            c.gamma = qFromBigEndian<quint32>(data.data());
        else if (type == "cHRM" && length == 32) {
            c.hasChromaticities = true;
            for (int i = 0; i < 8; ++i)
                c.chrm[i] = qFromBigEndian<quint32>(data.data() + qsizetype(4) * i) / 100000.0;
        } else if (type == "IDAT" || type == "IEND")
            break;
        at += 12 + qsizetype(length);
    }
    return c;
}

bool near(double a, double b)
{
    return std::abs(a - b) < 0.0005;
}

bool isSrgbChromaticities(const double *c)
{
    const double srgb[8] = { 0.3127, 0.3290, 0.64, 0.33, 0.30, 0.60, 0.15, 0.06 };
    for (int i = 0; i < 8; ++i) {
        if (!near(c[i], srgb[i]))
            return false;
    }
    return true;
}

// gAMA and cHRM as PNG defines them: a pure power law and the primaries,
// sRGB's primaries when cHRM is absent.
QByteArray profileFromGammaAndChromaticities(const PngColour &c)
{
    // 1/2.2 is what nearly every writer means by sRGB; without primaries
    // that differ, such a file is left alone, as other programs do.
    const bool srgbGamma = c.gamma == 0 || std::abs(double(c.gamma) - 45455) < 500;
    if (srgbGamma && (!c.hasChromaticities || isSrgbChromaticities(c.chrm)))
        return {};
    double exponent = 2.2;
    if (c.gamma != 0) {
        exponent = 100000.0 / c.gamma;
        if (exponent < 0.2 || exponent > 5) // absurd; libpng ignores such values too
            return {};
    }
    if (c.hasChromaticities) {
        for (int i = 0; i < 8; i += 2) {
            const double x = c.chrm[i];
            const double y = c.chrm[i + 1];
            if (x < 0 || y <= 0 || x + y > 1)
                return {}; // not a colour at all
        }
    }
    cmsToneCurve *curve = cmsBuildGamma(nullptr, exponent);
    if (!curve)
        return {};
    cmsCIExyY white { 0.3127, 0.3290, 1.0 };
    cmsCIExyYTRIPLE primaries { { 0.64, 0.33, 1.0 }, { 0.30, 0.60, 1.0 }, { 0.15, 0.06, 1.0 } };
    if (c.hasChromaticities) {
        white = { c.chrm[0], c.chrm[1], 1.0 };
        primaries
            = { { c.chrm[2], c.chrm[3], 1.0 }, { c.chrm[4], c.chrm[5], 1.0 }, { c.chrm[6], c.chrm[7], 1.0 } };
    }
    cmsHPROFILE profile = nullptr;
    if (c.grey) {
        profile = cmsCreateGrayProfile(&white, curve);
    } else {
        cmsToneCurve *curves[3] = { curve, curve, curve };
        profile = cmsCreateRGBProfile(&white, &primaries, curves);
    }
    cmsFreeToneCurve(curve);
    return saved(profile);
}

} // namespace

QByteArray jpegIccProfile(const QList<QByteArrayView> &app2Payloads)
{
    std::vector<QByteArrayView> chunks;
    std::vector<bool> seen;
    qsizetype total = 0;
    for (QByteArrayView p : app2Payloads) {
        if (p.size() < kIccMarkerHeader || !p.startsWith(QByteArrayView(kIccMarker, sizeof kIccMarker)))
            continue;
        const size_t sequence = quint8(p[12]);
        const size_t count = quint8(p[13]);
        if (chunks.empty())
            chunks.resize(count);
        if (sequence == 0 || sequence > count || count != chunks.size())
            return {};
        seen.resize(count);
        if (seen[sequence - 1])
            return {}; // two chunks of one number: which one is meant?
        seen[sequence - 1] = true;
        chunks[sequence - 1] = p.sliced(kIccMarkerHeader);
        total += chunks[sequence - 1].size();
        if (total > kMaxIccProfileSize)
            return {};
    }
    QByteArray profile;
    profile.reserve(total);
    for (size_t i = 0; i < chunks.size(); ++i) {
        if (!seen[i])
            return {}; // a chunk is missing
        profile.append(chunks[i]);
    }
    return profile;
}

QByteArray adobeRgbProfile()
{
    static const QByteArray profile = [] {
        // Adobe RGB (1998): D65 white, its own primaries, a gamma of 563/256.
        const cmsCIExyY white { 0.3127, 0.3290, 1.0 };
        const cmsCIExyYTRIPLE primaries { { 0.64, 0.33, 1.0 }, { 0.21, 0.71, 1.0 }, { 0.15, 0.06, 1.0 } };
        cmsToneCurve *curve = cmsBuildGamma(nullptr, 563.0 / 256.0);
        if (!curve)
            return QByteArray();
        cmsToneCurve *curves[3] = { curve, curve, curve };
        cmsHPROFILE p = cmsCreateRGBProfile(&white, &primaries, curves);
        cmsFreeToneCurve(curve);
        return saved(p);
    }();
    return profile;
}

QByteArray pngColourProfile(QByteArrayView png, bool *grey)
{
    const PngColour c = readPngColour(png);
    if (grey)
        *grey = c.grey;
    if (!c.iccp.isEmpty()) {
        // A name of 1 to 79 bytes, its NUL, the method (0, zlib), the stream.
        const qsizetype nul = c.iccp.indexOf('\0');
        if (nul < 1 || nul > 79 || nul + 2 > c.iccp.size() || c.iccp[nul + 1] != '\0')
            return {};
        return inflated(QByteArrayView(c.iccp).sliced(nul + 2));
    }
    if (c.srgb)
        return {};
    return profileFromGammaAndChromaticities(c);
}

} // namespace vm

#include "platform/codecs/colorprofile.h"

#include <QCryptographicHash>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <list>

#include <lcms2.h>
#include <lcms2_plugin.h>

#include "platform/runtimeerror.h"

namespace vm {

namespace {

// No single allocation of Little CMS needs more for a profile of 4 MB; a
// crafted table size claiming gigabytes is refused before it is made.
constexpr cmsUInt32Number kMaxLcmsAllocation = 128u * 1024 * 1024;
constexpr int kMaxTags = 100; // as Little CMS itself
constexpr qsizetype kHeaderSize = 128;
constexpr size_t kCachedConversions = 16;

void *limitedMalloc(cmsContext, cmsUInt32Number size)
{
    return size > kMaxLcmsAllocation ? nullptr : std::malloc(size);
}

void limitedFree(cmsContext, void *ptr)
{
    std::free(ptr);
}

void *limitedRealloc(cmsContext, void *ptr, cmsUInt32Number size)
{
    return size > kMaxLcmsAllocation ? nullptr : std::realloc(ptr, size);
}

void ignoreError(cmsContext, cmsUInt32Number, const char *) { }

// Our own context: bounded allocations, and errors kept quiet (an unusable
// profile is an ordinary event, the picture is simply shown untagged).
cmsContext lcmsContext()
{
    static cmsPluginMemHandler memory = { { cmsPluginMagicNumber, 2000, cmsPluginMemHandlerSig, nullptr },
        limitedMalloc, limitedFree, limitedRealloc, nullptr, nullptr, nullptr };
    static const cmsContext context = [] {
        cmsContext c = cmsCreateContext(&memory, nullptr);
        if (c)
            cmsSetLogErrorHandlerTHR(c, ignoreError);
        return c;
    }();
    return context;
}

quint32 be32(QByteArrayView data, qsizetype at)
{
    return qFromBigEndian<quint32>(data.data() + at);
}

constexpr quint32 sig(const char (&s)[5])
{
    return quint32(quint8(s[0])) << 24 | quint32(quint8(s[1])) << 16 | quint32(quint8(s[2])) << 8
        | quint32(quint8(s[3]));
}

struct Profile {
    cmsHPROFILE handle = nullptr;
    explicit Profile(cmsHPROFILE h)
        : handle(h)
    {
    }
    ~Profile()
    {
        if (handle)
            cmsCloseProfile(handle);
    }
    Profile(const Profile &) = delete;
    Profile &operator=(const Profile &) = delete;
};

bool fitsModel(cmsColorSpaceSignature space, PixelModel model)
{
    switch (model) {
    case PixelModel::Grey:
        return space == cmsSigGrayData;
    case PixelModel::Rgb:
        return space == cmsSigRgbData;
    case PixelModel::Cmyk:
    case PixelModel::CmykInverted:
        return space == cmsSigCmykData;
    }
    return false;
}

cmsUInt32Number inputFormat(PixelModel model)
{
    switch (model) {
    case PixelModel::Grey: // made into a table of the 256 levels
        return TYPE_GRAY_8;
    case PixelModel::Rgb:
        return TYPE_BGRA_8;
    case PixelModel::Cmyk:
        return TYPE_CMYK_8;
    case PixelModel::CmykInverted:
        return TYPE_CMYK_8_REV;
    }
    return TYPE_BGRA_8;
}

// An RGB profile that gives what sRGB gives: the same colorants and tone
// curves and no table that would take their place. Such pictures are left
// exactly as they are stored.
bool behavesAsSrgb(cmsHPROFILE p, cmsUInt32Number intent)
{
    if (cmsGetColorSpace(p) != cmsSigRgbData || !cmsIsMatrixShaper(p)
        || cmsIsCLUT(p, intent, LCMS_USED_AS_INPUT)) {
        return false;
    }
    Profile srgb(cmsCreate_sRGBProfileTHR(lcmsContext()));
    if (!srgb.handle)
        return false;
    const cmsTagSignature colorants[]
        = { cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag };
    const cmsTagSignature curves[] = { cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag };
    for (int i = 0; i < 3; ++i) {
        const auto *a = static_cast<const cmsCIEXYZ *>(cmsReadTag(p, colorants[i]));
        const auto *b = static_cast<const cmsCIEXYZ *>(cmsReadTag(srgb.handle, colorants[i]));
        if (!a || !b || std::abs(a->X - b->X) > 0.0025 || std::abs(a->Y - b->Y) > 0.0025
            || std::abs(a->Z - b->Z) > 0.0025) {
            return false;
        }
        const auto *ca = static_cast<const cmsToneCurve *>(cmsReadTag(p, curves[i]));
        const auto *cb = static_cast<const cmsToneCurve *>(cmsReadTag(srgb.handle, curves[i]));
        if (!ca || !cb)
            return false;
        for (int v = 0; v <= 255; ++v) {
            const float x = float(v) / 255;
            if (std::abs(cmsEvalToneCurveFloat(ca, x) - cmsEvalToneCurveFloat(cb, x)) > 0.002f)
                return false;
        }
    }
    return true;
}

// The display's profile when it is one we can convert to; else sRGB.
cmsHPROFILE openOutputProfile(const QByteArray &display)
{
    if (!display.isEmpty() && isPlausibleIccProfile(display)) {
        cmsHPROFILE p
            = cmsOpenProfileFromMemTHR(lcmsContext(), display.constData(), cmsUInt32Number(display.size()));
        if (p && cmsGetColorSpace(p) == cmsSigRgbData && cmsGetDeviceClass(p) == cmsSigDisplayClass
            && cmsIsIntentSupported(p, INTENT_PERCEPTUAL, LCMS_USED_AS_OUTPUT)) {
            return p;
        }
        if (p)
            cmsCloseProfile(p);
    }
    return cmsCreate_sRGBProfileTHR(lcmsContext());
}

// The colorants of a matrix-shaper profile as a matrix from its RGB to the
// connection space (columns red, green, blue); false when one is missing.
bool colorantMatrix(cmsHPROFILE p, double m[9])
{
    const cmsTagSignature tags[] = { cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag };
    for (int c = 0; c < 3; ++c) {
        const auto *xyz = static_cast<const cmsCIEXYZ *>(cmsReadTag(p, tags[c]));
        if (!xyz)
            return false;
        m[c] = xyz->X;
        m[3 + c] = xyz->Y;
        m[6 + c] = xyz->Z;
    }
    return true;
}

bool invert3(const double m[9], double out[9])
{
    const double det = m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6])
        + m[2] * (m[3] * m[7] - m[4] * m[6]);
    if (!std::isfinite(det) || std::abs(det) < 1e-9)
        return false;
    out[0] = (m[4] * m[8] - m[5] * m[7]) / det;
    out[1] = (m[2] * m[7] - m[1] * m[8]) / det;
    out[2] = (m[1] * m[5] - m[2] * m[4]) / det;
    out[3] = (m[5] * m[6] - m[3] * m[8]) / det;
    out[4] = (m[0] * m[8] - m[2] * m[6]) / det;
    out[5] = (m[2] * m[3] - m[0] * m[5]) / det;
    out[6] = (m[3] * m[7] - m[4] * m[6]) / det;
    out[7] = (m[1] * m[6] - m[0] * m[7]) / det;
    out[8] = (m[0] * m[4] - m[1] * m[3]) / det;
    return true;
}

// A tone curve's value at x, kept within [0, 1]; a crafted curve's NaN
// counts as 0 (the check against Little CMS then has the last word).
double curveAt(const cmsToneCurve *curve, double x)
{
    return std::fmin(std::fmax(double(cmsEvalToneCurveFloat(curve, float(x))), 0.0), 1.0);
}

bool isPlainMatrixShaper(cmsHPROFILE p, cmsUInt32Number intent, int direction)
{
    return cmsGetColorSpace(p) == cmsSigRgbData && cmsIsMatrixShaper(p) && !cmsIsCLUT(p, intent, direction);
}

// The tables of the conversion from `in` to `out` (both plain matrix-shaper
// profiles) with fields of `fieldBits` bits; null when a field's sums could
// reach the next field, or a curve or matrix is unusable.
std::unique_ptr<ColorConversion::MatrixShaper> buildMatrixShaper(
    cmsHPROFILE in, cmsHPROFILE out, int fieldBits)
{
    using Fast = ColorConversion::MatrixShaper;
    double toPcs[9], fromPcsOut[9], outToPcs[9];
    if (!colorantMatrix(in, toPcs) || !colorantMatrix(out, outToPcs) || !invert3(outToPcs, fromPcsOut))
        return nullptr;
    double matrix[9]; // output row, input column
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            double v = 0;
            for (int k = 0; k < 3; ++k)
                v += fromPcsOut[r * 3 + k] * toPcs[k * 3 + c];
            if (!std::isfinite(v) || std::abs(v) > 8)
                return nullptr;
            matrix[r * 3 + c] = v;
        }
    }
    const cmsTagSignature trcs[] = { cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag };
    // Linear light in steps of 1/one; the rest of a field's range is room
    // for the matrix's sums above 1 and below 0.
    const qint64 one = qint64(1) << Fast::linearBits(fieldBits);
    const qint64 fieldTop = (qint64(1) << fieldBits) - 1;
    qint64 term[3][256][3]; // [input][level][output], in 1/one
    for (int c = 0; c < 3; ++c) {
        const auto *curve = static_cast<const cmsToneCurve *>(cmsReadTag(in, trcs[c]));
        if (!curve)
            return nullptr;
        for (int v = 0; v < 256; ++v) {
            const double y = curveAt(curve, v / 255.0);
            for (int r = 0; r < 3; ++r)
                term[c][v][r] = std::llround(matrix[r * 3 + c] * y * double(one));
        }
    }
    // Each input's fields start at 0 (its least term lifted to 0), and every
    // output gets the same total lift, so one table serves all three. No
    // field's sum may reach the next field.
    qint64 lift[3][3]; // [input][output]
    qint64 lifted[3] = {}; // [output] the lifts of its three inputs
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            qint64 least = 0;
            for (int v = 0; v < 256; ++v)
                least = std::min(least, term[c][v][r]);
            lift[c][r] = -least;
            lifted[r] += lift[c][r];
        }
    }
    const qint64 offset = *std::max_element(lifted, lifted + 3);
    for (int r = 0; r < 3; ++r) {
        lift[0][r] += offset - lifted[r];
        qint64 most = 0;
        for (int c = 0; c < 3; ++c) {
            qint64 high = 0;
            for (int v = 0; v < 256; ++v)
                high = std::max(high, term[c][v][r] + lift[c][r]);
            most += high;
        }
        if (most > fieldTop)
            return nullptr;
    }
    auto fast = std::make_unique<Fast>();
    fast->fieldBits = fieldBits;
    for (int c = 0; c < 3; ++c) {
        for (int v = 0; v < 256; ++v) {
            quint64 word = 0;
            for (int r = 0; r < 3; ++r)
                word |= quint64(term[c][v][r] + lift[c][r]) << (fieldBits * r);
            fast->terms[size_t(c)][size_t(v)] = word;
        }
    }
    // One output curve for all three channels, as displays and sRGB have.
    const auto *outCurve = static_cast<const cmsToneCurve *>(cmsReadTag(out, cmsSigRedTRCTag));
    cmsToneCurve *reverse = outCurve ? cmsReverseToneCurve(outCurve) : nullptr;
    if (!reverse)
        return nullptr;
    std::vector<quint8> levels(size_t(one) + 1);
    for (size_t i = 0; i < levels.size(); ++i)
        levels[i] = quint8(std::lround(curveAt(reverse, double(i) / double(one)) * 255));
    cmsFreeToneCurve(reverse);
    fast->encode.resize(size_t(fieldTop) + 1);
    for (size_t i = 0; i < fast->encode.size(); ++i)
        fast->encode[i]
            = levels[size_t(std::clamp(qint64(i) - offset, qint64(0), qint64(levels.size() - 1)))];
    return fast;
}

// Whether `fast` gives what `t` gives, within one level, on 17 levels a
// channel and on every grey.
bool agreesWith(const ColorConversion::MatrixShaper &fast, cmsHTRANSFORM t)
{
    std::vector<QRgb> probe;
    for (int r = 0; r <= 16; ++r) {
        for (int g = 0; g <= 16; ++g) {
            for (int b = 0; b <= 16; ++b)
                probe.push_back(qRgb(std::min(r * 16, 255), std::min(g * 16, 255), std::min(b * 16, 255)));
        }
    }
    for (int v = 0; v < 256; ++v)
        probe.push_back(qRgb(v, v, v));
    std::vector<QRgb> reference = probe;
    cmsDoTransform(t, reference.data(), reference.data(), cmsUInt32Number(reference.size()));
    ColorConversion::convertWith(fast, probe.data(), int(probe.size()));
    for (size_t i = 0; i < probe.size(); ++i) {
        if (std::abs(qRed(probe[i]) - qRed(reference[i])) > 1
            || std::abs(qGreen(probe[i]) - qGreen(reference[i])) > 1
            || std::abs(qBlue(probe[i]) - qBlue(reference[i])) > 1) {
            return false;
        }
    }
    return true;
}

// A precalculated form of the transform from `in` to `out`, when both are
// plain matrix-shaper profiles and it gives what Little CMS's unoptimised
// (floating-point) transform gives; otherwise null. That, and not the 8-bit
// transform Little CMS would make, is the reference: under a steep output
// curve the latter can be a level off near black, so two results each
// within a level of the truth could differ by two. Narrow fields first:
// their output table (64 KB) stays in the cache. Wide ones serve matrices
// that span more, and output curves so steep near black (a pure power of
// 2.2, as displays described by their EDID have) that narrow fields' steps
// are more than a level there.
std::unique_ptr<const ColorConversion::MatrixShaper> matrixShaperFor(
    cmsHPROFILE in, cmsHPROFILE out, cmsUInt32Number intent, cmsUInt32Number flags)
{
    using Fast = ColorConversion::MatrixShaper;
    if (!isPlainMatrixShaper(in, intent, LCMS_USED_AS_INPUT)
        || !isPlainMatrixShaper(out, intent, LCMS_USED_AS_OUTPUT)) {
        return nullptr;
    }
    cmsHTRANSFORM exact = cmsCreateTransformTHR(
        lcmsContext(), in, TYPE_BGRA_8, out, TYPE_BGRA_8, intent, flags | cmsFLAGS_NOOPTIMIZE);
    if (!exact)
        return nullptr;
    std::unique_ptr<const Fast> made;
    for (int bits : { Fast::kNarrowField, Fast::kWideField }) {
        auto fast = buildMatrixShaper(in, out, bits);
        if (fast && agreesWith(*fast, exact)) {
            made = std::move(fast);
            break;
        }
    }
    cmsDeleteTransform(exact);
    return made;
}

struct CacheEntry {
    QByteArray key;
    std::shared_ptr<const ColorConversion> conversion; // null: nothing to do
};

std::mutex g_cacheMutex;
std::list<CacheEntry> g_cache; // most recently used first

} // namespace

bool isPlausibleIccProfile(QByteArrayView icc)
{
    if (icc.size() < kHeaderSize + 4 || icc.size() > kMaxIccProfileSize)
        return false;
    const quint32 declared = be32(icc, 0);
    if (declared < kHeaderSize + 4 || declared > quint32(icc.size()))
        return false;
    if (be32(icc, 36) != sig("acsp"))
        return false;
    const quint32 deviceClass = be32(icc, 12);
    if (deviceClass != sig("scnr") && deviceClass != sig("mntr") && deviceClass != sig("prtr")
        && deviceClass != sig("spac")) {
        return false;
    }
    const quint32 space = be32(icc, 16);
    if (space != sig("RGB ") && space != sig("GRAY") && space != sig("CMYK"))
        return false;
    const quint32 pcs = be32(icc, 20);
    if (pcs != sig("XYZ ") && pcs != sig("Lab "))
        return false;
    const quint32 tags = be32(icc, kHeaderSize);
    if (tags == 0 || tags > kMaxTags || kHeaderSize + 4 + qint64(tags) * 12 > qint64(declared))
        return false;
    for (quint32 i = 0; i < tags; ++i) {
        const qsizetype entry = kHeaderSize + 4 + qsizetype(i) * 12;
        const quint64 offset = be32(icc, entry + 4);
        const quint64 size = be32(icc, entry + 8);
        if (size < 8 || offset < quint64(kHeaderSize) || offset + size > declared)
            return false;
    }
    return true;
}

ColorConversion::~ColorConversion()
{
    if (m_transform)
        cmsDeleteTransform(static_cast<cmsHTRANSFORM>(m_transform));
}

std::shared_ptr<const ColorConversion> ColorConversion::find(const QByteArray &icc, PixelModel model)
{
    if (icc.isEmpty() || !isPlausibleIccProfile(icc) || !lcmsContext())
        return nullptr;
    const QByteArray display = displayIccProfile();
    QByteArray key = QCryptographicHash::hash(icc, QCryptographicHash::Sha256);
    key += QCryptographicHash::hash(display, QCryptographicHash::Sha256);
    key += char('0' + int(model));

    std::lock_guard lock(g_cacheMutex);
    for (auto it = g_cache.begin(); it != g_cache.end(); ++it) {
        if (it->key == key) {
            g_cache.splice(g_cache.begin(), g_cache, it);
            return it->conversion;
        }
    }

    std::shared_ptr<const ColorConversion> made;
    Profile in(cmsOpenProfileFromMemTHR(lcmsContext(), icc.constData(), cmsUInt32Number(icc.size())));
    if (in.handle && fitsModel(cmsGetColorSpace(in.handle), model)) {
        cmsUInt32Number intent = cmsGetHeaderRenderingIntent(in.handle);
        if (intent > INTENT_ABSOLUTE_COLORIMETRIC)
            intent = INTENT_PERCEPTUAL;
        if (!behavesAsSrgb(in.handle, intent)) {
            Profile out(openOutputProfile(display));
            const bool grey = model == PixelModel::Grey;
            constexpr cmsUInt32Number kFlags = cmsFLAGS_BLACKPOINTCOMPENSATION | cmsFLAGS_NOCACHE;
            // Tables first: when they serve, Little CMS's optimised transform
            // (about 1.8 ms to make) is not needed at all.
            std::unique_ptr<const MatrixShaper> fast = out.handle && model == PixelModel::Rgb
                ? matrixShaperFor(in.handle, out.handle, intent, kFlags)
                : nullptr;
            cmsHTRANSFORM t = out.handle && !fast
                ? cmsCreateTransformTHR(lcmsContext(), in.handle, inputFormat(model), out.handle, TYPE_BGRA_8,
                    intent, grey ? kFlags | cmsFLAGS_NOOPTIMIZE : kFlags)
                : nullptr;
            if (fast) {
                made.reset(new ColorConversion(std::move(fast)));
            } else if (t && grey) {
                uchar levels[256];
                for (int v = 0; v < 256; ++v)
                    levels[v] = uchar(v);
                std::vector<QRgb> table(256, 0xff000000u);
                cmsDoTransform(t, levels, table.data(), 256);
                cmsDeleteTransform(t);
                made.reset(new ColorConversion(std::move(table)));
            } else if (t) {
                made.reset(new ColorConversion(t));
            }
        }
    }
    g_cache.push_front({ key, made });
    if (g_cache.size() > kCachedConversions)
        g_cache.pop_back();
    return made;
}

namespace {

template <int Bits> void convertPacked(const ColorConversion::MatrixShaper &f, QRgb *px, int count)
{
    // Bytes in place: reading and writing each channel as a byte is
    // measurably faster here than taking the pixel apart and putting it
    // together again, and leaves the fourth byte alone.
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    constexpr int kR = 2, kG = 1, kB = 0;
#else
    constexpr int kR = 1, kG = 2, kB = 3;
#endif
    constexpr quint64 mask = (quint64(1) << Bits) - 1;
    const quint64 *red = f.terms[0].data();
    const quint64 *green = f.terms[1].data();
    const quint64 *blue = f.terms[2].data();
    const quint8 *encode = f.encode.data();
    auto *p = reinterpret_cast<uchar *>(px);
    for (const uchar *end = p + 4 * qsizetype(count); p != end; p += 4) {
        const quint64 sum = red[p[kR]] + green[p[kG]] + blue[p[kB]];
        p[kR] = encode[sum & mask];
        p[kG] = encode[(sum >> Bits) & mask];
        p[kB] = encode[(sum >> (2 * Bits)) & mask];
    }
}

} // namespace

void ColorConversion::convertWith(const MatrixShaper &f, QRgb *px, int count)
{
    if (f.fieldBits == MatrixShaper::kNarrowField)
        convertPacked<MatrixShaper::kNarrowField>(f, px, count);
    else
        convertPacked<MatrixShaper::kWideField>(f, px, count);
}

void ColorConversion::convertRows(uchar *first, qsizetype bytesPerLine, int width, int rows) const
{
    if (m_fast) {
        for (int y = 0; y < rows; ++y)
            convertWith(*m_fast, reinterpret_cast<QRgb *>(first + qsizetype(y) * bytesPerLine), width);
        return;
    }
    if (!m_greyTable.empty()) {
        for (int y = 0; y < rows; ++y) {
            auto *px = reinterpret_cast<QRgb *>(first + qsizetype(y) * bytesPerLine);
            for (int x = 0; x < width; ++x)
                px[x] = (m_greyTable[qBlue(px[x])] & 0x00ffffffu) | (px[x] & 0xff000000u);
        }
        return;
    }
    auto *t = static_cast<cmsHTRANSFORM>(m_transform);
    // CMYK fills all four bytes with ink; RGB32 needs an opaque fourth byte.
    const bool opaque = T_CHANNELS(cmsGetTransformInputFormat(t)) == 4;
    for (int y = 0; y < rows; ++y) {
        uchar *line = first + qsizetype(y) * bytesPerLine;
        cmsDoTransform(t, line, line, cmsUInt32Number(width));
        if (opaque) {
            auto *px = reinterpret_cast<QRgb *>(line);
            for (int x = 0; x < width; ++x)
                px[x] |= 0xff000000u;
        }
    }
}

} // namespace vm

// EMF+ image effects: the serializable object record, the eleven parameter
// blocks, and applying them to an image's pixels.
#include "platform/metafile/emfpluseffects.h"

#include <QPainter>
#include <QRegion>
#include <QUuid>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "platform/codecs/extent.h"
#include "platform/metafile/emfplusplayer.h"
#include "platform/metafile/playbudget.h"

namespace vm {

namespace {

struct KnownEffect {
    const char *guid;
    EmfPlusEffect::Kind kind;
};
constexpr KnownEffect kKnown[] = {
    { "{633C80A4-1843-482B-9EF2-BE2834C5FDD4}", EmfPlusEffect::Blur },
    { "{63CBF3EE-C526-402C-8F71-62C540BF5142}", EmfPlusEffect::Sharpen },
    { "{718F2615-7933-40E3-A511-5F68FE14DD74}", EmfPlusEffect::ColorMatrix },
    { "{A7CE72A9-0F7F-40D7-B3CC-D0C02D5C3212}", EmfPlusEffect::ColorLookupTable },
    { "{D3A1DBE1-8EC4-4C17-9F4C-EA97AD1C343D}", EmfPlusEffect::BrightnessContrast },
    { "{8B2DD6C3-EB07-4D87-A5F0-7108E26A9C5F}", EmfPlusEffect::HueSaturationLightness },
    { "{99C354EC-2A31-4F3A-8C34-17A803B33A25}", EmfPlusEffect::Levels },
    { "{1077AF00-2848-4441-9489-44AD4C2D7A2C}", EmfPlusEffect::Tint },
    { "{537E597D-251E-48DA-9664-29CA496B70F8}", EmfPlusEffect::ColorBalance },
    { "{DD6A0022-58E4-4A67-9D9B-D48EB881A53D}", EmfPlusEffect::ColorCurve },
    { "{74D29D05-69A4-4266-9549-3CC52836B632}", EmfPlusEffect::RedEyeCorrection },
};

// Red-eye areas past this many are taken as damage.
constexpr qint64 kMaxRedEyeAreas = 256;
// Colour matrix entries past this size have no colour meaning left.
constexpr float kMaxMatrixEntry = 1000;

// CurveAdjustments and CurveChannel.
enum Curve { Exposure, Density, Contrast, Highlight, Shadow, Midtone, WhiteSaturation, BlackSaturation };
enum Channel { AllChannels, RedChannel, GreenChannel, BlueChannel };

// A float as stored: LeReader turns non-finite values into 0, which here
// would pass for a valid level.
bool readFloat(const EmfPlusReader &r, qint64 offset, float *out)
{
    const quint32 bits = r.u32(offset);
    std::memcpy(out, &bits, sizeof *out);
    return r.ok() && std::isfinite(*out);
}

// Reads one 32-bit level for each range and checks it against that [low, high].
bool readLevels(const EmfPlusReader &r, std::initializer_list<std::pair<int, int>> ranges, EmfPlusEffect *e)
{
    int i = 0;
    for (const auto &[low, high] : ranges) {
        const qint32 v = r.i32(qint64(i) * 4);
        if (!r.ok() || v < low || v > high)
            return false;
        e->level[size_t(i)] = v;
        ++i;
    }
    return true;
}

bool parseBlock(const EmfPlusReader &b, EmfPlusEffect *e)
{
    switch (e->kind) {
    case EmfPlusEffect::Blur: {
        float radius = 0;
        const quint32 expand = b.u32(4);
        if (!readFloat(b, 0, &radius) || radius < 0 || radius > 255 || expand > 1)
            return false;
        e->radius = radius;
        e->expandEdge = expand == 1;
        return true;
    }
    case EmfPlusEffect::Sharpen: {
        float radius = 0, amount = 0;
        if (!readFloat(b, 0, &radius) || !readFloat(b, 4, &amount) || radius < 0 || radius > 255 || amount < 0
            || amount > 100)
            return false;
        e->radius = radius;
        e->amount = amount;
        return true;
    }
    case EmfPlusEffect::ColorMatrix:
        for (int i = 0; i < 25; ++i) {
            float v = 0;
            if (!readFloat(b, qint64(i) * 4, &v) || std::abs(v) > kMaxMatrixEntry)
                return false;
            e->matrix[size_t(i)] = v;
        }
        return true;
    case EmfPlusEffect::ColorLookupTable:
        if (!b.has(0, 1024))
            return false;
        for (size_t t = 0; t < 4; ++t)
            std::memcpy(e->table[t].data(), b.data() + t * 256, 256);
        return true;
    case EmfPlusEffect::BrightnessContrast:
        return readLevels(b, { { -255, 255 }, { -100, 100 } }, e);
    case EmfPlusEffect::HueSaturationLightness:
        return readLevels(b, { { -180, 180 }, { -100, 100 }, { -100, 100 } }, e);
    case EmfPlusEffect::Levels:
        return readLevels(b, { { 0, 100 }, { -100, 100 }, { 0, 100 } }, e);
    case EmfPlusEffect::Tint:
        return readLevels(b, { { -180, 180 }, { -100, 100 } }, e);
    case EmfPlusEffect::ColorBalance:
        return readLevels(b, { { -100, 100 }, { -100, 100 }, { -100, 100 } }, e);
    case EmfPlusEffect::ColorCurve: {
        const quint32 adjustment = b.u32(0), channel = b.u32(4);
        const qint32 intensity = b.i32(8);
        if (!b.ok() || adjustment > BlackSaturation || channel > BlueChannel)
            return false;
        static constexpr int kLow[] = { -255, -255, -100, -100, -100, -100, 0, 0 };
        static constexpr int kHigh[] = { 255, 255, 100, 100, 100, 100, 255, 255 };
        if (intensity < kLow[adjustment] || intensity > kHigh[adjustment])
            return false;
        e->level = { int(adjustment), int(channel), intensity };
        return true;
    }
    case EmfPlusEffect::RedEyeCorrection: {
        const qint32 count = b.i32(0);
        if (!b.ok() || count < 0 || count > kMaxRedEyeAreas || !b.has(4, qint64(count) * 16))
            return false;
        for (qint32 i = 0; i < count; ++i) {
            const qint64 at = 4 + qint64(i) * 16;
            // RectL: left, top, right, bottom.
            const qint64 left = b.i32(at), top = b.i32(at + 4), right = b.i32(at + 8),
                         bottom = b.i32(at + 12);
            const qint64 x0 = std::min(left, right), y0 = std::min(top, bottom);
            const qint64 x1 = std::max(left, right), y1 = std::max(top, bottom);
            if (x1 - x0 > kMaxPictureSide || y1 - y0 > kMaxPictureSide)
                return false;
            e->areas.emplace_back(QPoint(int(x0), int(y0)), QSize(int(x1 - x0), int(y1 - y0)));
        }
        return true;
    }
    }
    return false;
}

// ---- colour arithmetic ------------------------------------------------------

int clampByte(double v)
{
    return int(std::lround(std::clamp(v, 0.0, 255.0)));
}

// Contrast as a factor about mid-grey: squared so that -100 flattens to grey
// and +100 quadruples the spread (the usual curve; the block gives no formula).
double contrastFactor(int level)
{
    const double f = (100.0 + level) / 100.0;
    return f * f;
}

struct Hsl {
    double h, s, l; // degrees, 0 to 1, 0 to 1
};

Hsl toHsl(double r, double g, double b)
{
    const double hi = std::max({ r, g, b }), lo = std::min({ r, g, b });
    const double l = (hi + lo) / 2, d = hi - lo;
    if (d < 1e-9)
        return { 0, 0, l };
    const double s = l > 0.5 ? d / (2 - hi - lo) : d / (hi + lo);
    double h = 0;
    if (hi == r)
        h = (g - b) / d + (g < b ? 6 : 0);
    else if (hi == g)
        h = (b - r) / d + 2;
    else
        h = (r - g) / d + 4;
    return { h * 60, s, l };
}

void fromHsl(Hsl c, double *r, double *g, double *b)
{
    const double h = std::fmod(std::fmod(c.h, 360) + 360, 360) / 360;
    if (c.s <= 0) {
        *r = *g = *b = c.l;
        return;
    }
    const double q = c.l < 0.5 ? c.l * (1 + c.s) : c.l + c.s - c.l * c.s, p = 2 * c.l - q;
    const auto channel = [p, q](double t) {
        t -= std::floor(t);
        if (t < 1.0 / 6)
            return p + (q - p) * 6 * t;
        if (t < 0.5)
            return q;
        if (t < 2.0 / 3)
            return p + (q - p) * (2.0 / 3 - t) * 6;
        return p;
    };
    *r = channel(h + 1.0 / 3);
    *g = channel(h);
    *b = channel(h - 1.0 / 3);
}

// One channel's curve adjustment, on 0 to 1.
double curve(int adjustment, int intensity, double t)
{
    const double k = intensity / 100.0;
    switch (adjustment) {
    case Exposure: // stops of light: +100 doubles
        return t * std::exp2(k);
    case Density: // a gamma: negative darkens
        return std::pow(t, std::exp2(-intensity / 128.0));
    case Contrast:
        return (t - 0.5) * contrastFactor(intensity) + 0.5;
    case Highlight: // moves values by up to half the range, more the brighter they are
        return t + k * 0.5 * t * t;
    case Shadow: // the same for the darks
        return t + k * 0.5 * (1 - t) * (1 - t);
    case Midtone: // a gamma: positive lightens
        return std::pow(t, std::exp2(-k));
    case WhiteSaturation: // the input value that becomes white
        return t * 255 / std::max(intensity, 1);
    case BlackSaturation: // the input value that becomes black
        return (t * 255 - intensity) / std::max(255 - intensity, 1);
    default:
        return t;
    }
}

// The per-channel effects as lookup tables for red, green, blue and alpha.
using Tables = std::array<std::array<quint8, 256>, 4>;

Tables channelTables(const EmfPlusEffect &e)
{
    Tables t {};
    for (int v = 0; v < 256; ++v) {
        for (size_t c = 0; c < 4; ++c)
            t[c][size_t(v)] = quint8(v);
    }
    const auto each = [&t](const auto &f) {
        for (size_t c = 0; c < 3; ++c) {
            for (int v = 0; v < 256; ++v)
                t[c][size_t(v)] = quint8(clampByte(f(c, v)));
        }
    };
    switch (e.kind) {
    case EmfPlusEffect::ColorLookupTable:
        t = { e.table[2], e.table[1], e.table[0], e.table[3] };
        break;
    case EmfPlusEffect::BrightnessContrast: {
        const double f = contrastFactor(e.level[1]);
        each([&](size_t, int v) { return (v - 127.5) * f + 127.5 + e.level[0]; });
        break;
    }
    case EmfPlusEffect::Levels: {
        // Highlight and shadow are the input percentages that become white
        // and black; the midtone then bends the rest as a gamma.
        const double white = e.level[0] * 2.55, black = e.level[2] * 2.55;
        const double gamma = std::exp2(-e.level[1] / 100.0);
        each([&](size_t, int v) {
            const double x = std::clamp((v - black) / std::max(white - black, 1.0), 0.0, 1.0);
            return 255 * std::pow(x, gamma);
        });
        break;
    }
    case EmfPlusEffect::ColorBalance:
        // A level of 100 moves its channel by half the range (the block gives no scale).
        each([&](size_t c, int v) { return v + e.level[c] * 1.28; });
        break;
    case EmfPlusEffect::ColorCurve: {
        const int channel = e.level[1];
        each([&](size_t c, int v) {
            if (channel != AllChannels && size_t(channel - RedChannel) != c)
                return double(v);
            return 255 * curve(e.level[0], e.level[2], v / 255.0);
        });
        break;
    }
    default:
        break;
    }
    return t;
}

// ---- blur -----------------------------------------------------------------

// One box pass over `lines` lines of `length` premultiplied pixels, `step`
// apart within a line and `lineStep` between lines; the edge pixel repeats
// past the ends.
void boxPass(QRgb *pixels, int length, int lines, qsizetype step, qsizetype lineStep, int radius,
    std::vector<QRgb> &line)
{
    radius = std::min(radius, length);
    const quint32 window = 2 * quint32(radius) + 1;
    line.resize(size_t(length));
    for (int l = 0; l < lines; ++l) {
        QRgb *p = pixels + l * lineStep;
        for (int i = 0; i < length; ++i)
            line[size_t(i)] = p[i * step];
        const auto at = [&](int i) { return line[size_t(std::clamp(i, 0, length - 1))]; };
        quint32 a = 0, r = 0, g = 0, b = 0;
        const auto add = [&](QRgb c, int sign) {
            a += quint32(sign * qAlpha(c));
            r += quint32(sign * qRed(c));
            g += quint32(sign * qGreen(c));
            b += quint32(sign * qBlue(c));
        };
        for (int i = -radius; i <= radius; ++i)
            add(at(i), 1);
        for (int i = 0; i < length; ++i) {
            const quint32 half = window / 2;
            p[i * step] = qRgba(int((r + half) / window), int((g + half) / window), int((b + half) / window),
                int((a + half) / window));
            add(at(i - radius), -1);
            add(at(i + radius + 1), 1);
        }
    }
}

// A Gaussian of about `radius` pixels' reach as three box passes each way
// (one pass for a radius under two pixels).
struct BoxBlur {
    int box = 0;
    int passes = 0;
    // How far a grown image must grow for its rim to fade out to nothing:
    // one pixel past how far a pixel spreads.
    int margin() const { return box * passes + 1; }
};

BoxBlur boxBlur(double radius)
{
    const int box = int(std::lround(radius / 3));
    return box > 0 ? BoxBlur { box, 3 } : BoxBlur { int(std::lround(radius)), 1 };
}

void blurInPlace(QImage &image, double radius)
{
    const auto [box, passes] = boxBlur(radius);
    if (box == 0 || image.isNull())
        return;
    auto *pixels = reinterpret_cast<QRgb *>(image.bits());
    const qsizetype stride = image.bytesPerLine() / 4;
    std::vector<QRgb> line;
    for (int i = 0; i < passes; ++i) {
        boxPass(pixels, image.width(), image.height(), 1, stride, box, line);
        boxPass(pixels, image.height(), image.width(), stride, 1, box, line);
    }
}

// ---- the per-pixel effects ---------------------------------------------------

QRgb matrixPixel(const std::array<float, 25> &m, QRgb c)
{
    const double in[5] = { qRed(c) / 255.0, qGreen(c) / 255.0, qBlue(c) / 255.0, qAlpha(c) / 255.0, 1 };
    double out[4] = {};
    for (size_t j = 0; j < 4; ++j) {
        for (size_t i = 0; i < 5; ++i)
            out[j] += in[i] * m[i * 5 + j];
    }
    return qRgba(
        clampByte(out[0] * 255), clampByte(out[1] * 255), clampByte(out[2] * 255), clampByte(out[3] * 255));
}

QRgb hslPixel(const EmfPlusEffect &e, QRgb c)
{
    Hsl h = toHsl(qRed(c) / 255.0, qGreen(c) / 255.0, qBlue(c) / 255.0);
    h.h += e.level[0];
    h.s = std::clamp(h.s * (1 + e.level[1] / 100.0), 0.0, 1.0);
    // Lightness moves towards white or black by its percentage.
    const double l = e.level[2] / 100.0;
    h.l = l >= 0 ? h.l + (1 - h.l) * l : h.l * (1 + l);
    double r, g, b;
    fromHsl(h, &r, &g, &b);
    return qRgba(clampByte(r * 255), clampByte(g * 255), clampByte(b * 255), qAlpha(c));
}

// Tint: mixes the pixel by the amount's percentage with the tint hue at the
// pixel's own lightness (the opposite hue for a negative amount).
QRgb tintPixel(const EmfPlusEffect &e, QRgb c)
{
    const double amount = std::abs(e.level[1]) / 100.0;
    const Hsl h = toHsl(qRed(c) / 255.0, qGreen(c) / 255.0, qBlue(c) / 255.0);
    double r, g, b;
    fromHsl({ double(e.level[0]) + (e.level[1] < 0 ? 180 : 0), 1, h.l }, &r, &g, &b);
    const auto mix = [amount](int from, double to) { return clampByte(from + (to * 255 - from) * amount); };
    return qRgba(mix(qRed(c), r), mix(qGreen(c), g), mix(qBlue(c), b), qAlpha(c));
}

// Red-eye: a pixel whose red outweighs its green and blue together has its
// red brought down to their mean.
QRgb redEyePixel(QRgb c)
{
    const int g = qGreen(c), b = qBlue(c);
    return qRed(c) > g + b ? qRgba((g + b) / 2, g, b, qAlpha(c)) : c;
}

QImage sharpened(const QImage &image, double radius, double amount)
{
    QImage blurred = image.copy();
    if (blurred.isNull())
        return {};
    blurInPlace(blurred, radius);
    QImage out(image.size(), QImage::Format_ARGB32_Premultiplied);
    if (out.isNull())
        return {};
    const double k = amount / 100;
    for (int y = 0; y < image.height(); ++y) {
        const auto *src = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        const auto *soft = reinterpret_cast<const QRgb *>(blurred.constScanLine(y));
        auto *dst = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            // Unsharp masking: the difference from the blurred image, added.
            const int a = qAlpha(src[x]);
            const auto one
                = [&](int v, int s) { return int(std::lround(std::clamp(v + (v - s) * k, 0.0, double(a)))); };
            dst[x] = qRgba(one(qRed(src[x]), qRed(soft[x])), one(qGreen(src[x]), qGreen(soft[x])),
                one(qBlue(src[x]), qBlue(soft[x])), a);
        }
    }
    return out;
}

} // namespace

std::optional<EmfPlusEffect> parseEmfPlusEffect(const EmfPlusReader &r)
{
    // ObjectGUID (Data1, Data2, Data3, eight bytes), BufferSize, Buffer.
    const QUuid guid(r.u32(0), r.u16(4), r.u16(6), r.u8(8), r.u8(9), r.u8(10), r.u8(11), r.u8(12), r.u8(13),
        r.u8(14), r.u8(15));
    const quint32 size = r.u32(16);
    if (!r.ok() || !r.has(20, size))
        return std::nullopt;
    const auto *known = std::find_if(std::begin(kKnown), std::end(kKnown),
        [&guid](const KnownEffect &k) { return QUuid::fromString(QLatin1StringView(k.guid)) == guid; });
    if (known == std::end(kKnown))
        return std::nullopt;
    EmfPlusEffect effect;
    effect.kind = known->kind;
    try {
        if (!parseBlock(r.sub(20, size), &effect))
            return std::nullopt;
    } catch (const std::bad_alloc &) {
        return std::nullopt;
    }
    return effect;
}

double emfPlusEffectCost(const EmfPlusEffect &effect, QSize size, double pixelScale)
{
    // Measured prices, in pixels' worth of blending per pixel: a table
    // look-up costs about what copying a pixel does; blur and sharpen, six
    // box passes and more, about forty times that.
    double pixels = double(size.width()) * size.height();
    double perPixel = 2;
    switch (effect.kind) {
    case EmfPlusEffect::Blur: {
        // Grown by at most the image's own size, as applyEmfPlusEffect does.
        const double reach
            = std::min(effect.radius * pixelScale, double(std::max(size.width(), size.height())));
        if (effect.expandEdge && std::isfinite(reach)) {
            const double grown = 2.0 * boxBlur(reach).margin();
            pixels = (size.width() + grown) * (size.height() + grown);
        }
        perPixel = 36;
        break;
    }
    case EmfPlusEffect::Sharpen:
        perPixel = 40;
        break;
    case EmfPlusEffect::ColorMatrix:
        perPixel = 20;
        break;
    case EmfPlusEffect::HueSaturationLightness:
    case EmfPlusEffect::Tint:
        perPixel = 32;
        break;
    default:
        break;
    }
    return pixels * perPixel / PlayBudget::kPixelsPerUnit;
}

QImage applyEmfPlusEffect(const EmfPlusEffect &effect, const QImage &image, double pixelScale, int *margin)
{
    *margin = 0;
    if (image.isNull() || !(pixelScale > 0) || !std::isfinite(pixelScale))
        return {};
    try {
        QImage work = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        if (work.isNull())
            return {};
        const double radius
            = std::min(effect.radius * pixelScale, double(std::max(work.width(), work.height())));
        switch (effect.kind) {
        case EmfPlusEffect::Blur:
            if (effect.expandEdge) {
                // Grown by the radius on every side so the soft edge shows.
                const int m = boxBlur(radius).margin();
                const qint64 w = work.width() + 2LL * m, h = work.height() + 2LL * m;
                if (m > 0 && w <= kMaxPictureSide && h <= kMaxPictureSide && w * h <= kMaxPicturePixels) {
                    QImage grown(int(w), int(h), QImage::Format_ARGB32_Premultiplied);
                    if (grown.isNull())
                        return {};
                    grown.fill(Qt::transparent);
                    QPainter p(&grown);
                    p.setCompositionMode(QPainter::CompositionMode_Source);
                    p.drawImage(m, m, work);
                    p.end();
                    work = std::move(grown);
                    *margin = m;
                }
            }
            blurInPlace(work, radius);
            return work;
        case EmfPlusEffect::Sharpen:
            return sharpened(work, radius, effect.amount);
        default:
            break;
        }
        // The colour effects work on straight (not premultiplied) colour.
        work = work.convertToFormat(QImage::Format_ARGB32);
        if (work.isNull())
            return {};
        const auto eachPixel = [&work](const QRect &area, const auto &f) {
            for (int y = area.top(); y <= area.bottom(); ++y) {
                auto *row = reinterpret_cast<QRgb *>(work.scanLine(y));
                for (int x = area.left(); x <= area.right(); ++x)
                    row[x] = f(row[x]);
            }
        };
        switch (effect.kind) {
        case EmfPlusEffect::ColorMatrix:
            eachPixel(work.rect(), [&](QRgb c) { return matrixPixel(effect.matrix, c); });
            break;
        case EmfPlusEffect::HueSaturationLightness:
            eachPixel(work.rect(), [&](QRgb c) { return hslPixel(effect, c); });
            break;
        case EmfPlusEffect::Tint:
            eachPixel(work.rect(), [&](QRgb c) { return tintPixel(effect, c); });
            break;
        case EmfPlusEffect::RedEyeCorrection: {
            // Overlapping areas are corrected once.
            QRegion region;
            for (const QRect &a : effect.areas) {
                // Cut to the image while still in floating point: scaled up,
                // an area far off the image would not fit an int.
                const QRectF scaled = QRectF(
                    a.x() * pixelScale, a.y() * pixelScale, a.width() * pixelScale, a.height() * pixelScale)
                                          .intersected(QRectF(work.rect()));
                if (!scaled.isEmpty())
                    region += scaled.toAlignedRect().intersected(work.rect());
            }
            for (const QRect &area : region)
                eachPixel(area, redEyePixel);
            break;
        }
        default: {
            const Tables t = channelTables(effect);
            eachPixel(work.rect(), [&t](QRgb c) {
                return qRgba(t[0][size_t(qRed(c))], t[1][size_t(qGreen(c))], t[2][size_t(qBlue(c))],
                    t[3][size_t(qAlpha(c))]);
            });
            break;
        }
        }
        return work.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    } catch (const std::bad_alloc &) {
        return {};
    }
}

// ---- the record -------------------------------------------------------------

EmfPlusResult EmfPlusPlayer::effectRecord(const EmfPlusRecord &r)
{
    // The record names no object: it replaces whatever effect came before,
    // and a bad one leaves none.
    if (!r.data.has(0, 20))
        return EmfPlusResult::Stop;
    m_effect = parseEmfPlusEffect(r.data);
    return m_effect ? EmfPlusResult::Done : EmfPlusResult::NotDrawn;
}

} // namespace vm

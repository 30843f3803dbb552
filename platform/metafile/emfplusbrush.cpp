// EMF+ brush objects: solid, hatch, texture, linear and path gradients.
#include "platform/metafile/emfplusobjects.h"

#include <algorithm>

namespace vm {

namespace {

enum BrushDataFlag : quint32 {
    BrushPath = 0x1,
    BrushTransform = 0x2,
    BrushPresetColors = 0x4,
    BrushBlendH = 0x8,
    BrushBlendV = 0x10,
    BrushFocusScales = 0x40,
};

constexpr quint32 kMaxBlendCount = 4096;

QGradient::Spread spreadOf(qint32 wrap)
{
    switch (wrap) {
    case 1:
    case 2:
    case 3:
        return QGradient::ReflectSpread;
    case 4:
        return QGradient::PadSpread;
    default:
        return QGradient::RepeatSpread;
    }
}

QColor mix(const QColor &a, const QColor &b, double t)
{
    t = std::clamp(t, 0.0, 1.0);
    return QColor::fromRgbF(float(a.redF() + (b.redF() - a.redF()) * t),
        float(a.greenF() + (b.greenF() - a.greenF()) * t), float(a.blueF() + (b.blueF() - a.blueF()) * t),
        float(a.alphaF() + (b.alphaF() - a.alphaF()) * t));
}

// Sorted, clamped stops; QGradient wants positions rising from 0 to 1.
QGradientStops tidy(QGradientStops stops)
{
    for (QGradientStop &s : stops)
        s.first = std::clamp(s.first, 0.0, 1.0);
    std::stable_sort(stops.begin(), stops.end(),
        [](const QGradientStop &a, const QGradientStop &b) { return a.first < b.first; });
    return stops;
}

// EmfPlusBlendColors: count, positions, colours. False when it does not fit.
bool readPresetColors(const EmfPlusReader &r, qint64 *at, QGradientStops *stops)
{
    const quint32 n = r.u32(*at);
    if (n > kMaxBlendCount || !r.need(*at + 4, qint64(n) * 8))
        return false;
    for (quint32 i = 0; i < n; ++i)
        stops->append({ r.f32(*at + 4 + qint64(i) * 4), r.argb(*at + 4 + qint64(n) * 4 + qint64(i) * 4) });
    *at += 4 + qint64(n) * 8;
    return true;
}

// EmfPlusBlendFactors: count, positions, factors (0 the first colour, 1 the second).
bool readBlendFactors(
    const EmfPlusReader &r, qint64 *at, const QColor &from, const QColor &to, QGradientStops *stops)
{
    const quint32 n = r.u32(*at);
    if (n > kMaxBlendCount || !r.need(*at + 4, qint64(n) * 8))
        return false;
    for (quint32 i = 0; i < n; ++i)
        stops->append({ r.f32(*at + 4 + qint64(i) * 4),
            mix(from, to, r.f32(*at + 4 + qint64(n) * 4 + qint64(i) * 4)) });
    *at += 4 + qint64(n) * 8;
    return true;
}

// What follows a gradient's own fields from `at` on: the transform when the
// flags say so, then preset colours or, with one of `blendFlags`, blend
// factors from `from` to `to`. False when they do not fit.
bool readGradientTail(const EmfPlusReader &r, quint32 flags, quint32 blendFlags, const QColor &from,
    const QColor &to, qint64 at, QTransform *transform, QGradientStops *stops)
{
    if (flags & BrushTransform)
        *transform = r.matrix(std::exchange(at, at + 24));
    if (flags & BrushPresetColors)
        return readPresetColors(r, &at, stops);
    if (flags & blendFlags)
        return readBlendFactors(r, &at, from, to, stops);
    return true;
}

} // namespace

std::optional<EmfPlusBrush> parseEmfPlusBrush(const EmfPlusReader &r, int depth)
{
    EmfPlusBrush b;
    const quint32 type = r.u32(4);
    if (!r.ok())
        return std::nullopt;
    // Textures and gradients begin alike: their flags, then the wrap mode.
    const bool patterned = type == EmfPlusBrush::Texture || type == EmfPlusBrush::LinearGradient
        || type == EmfPlusBrush::PathGradient;
    const quint32 flags = patterned ? r.u32(8) : 0;
    if (patterned)
        b.spread = spreadOf(r.i32(12));
    switch (type) {
    case EmfPlusBrush::Solid:
        b.color = r.argb(8);
        break;
    case EmfPlusBrush::Hatch:
        b.hatch = r.u32(8);
        b.color = r.argb(12);
        b.background = r.argb(16);
        break;
    case EmfPlusBrush::Texture: {
        qint64 at = 16;
        if (flags & BrushTransform)
            b.transform = r.matrix(std::exchange(at, at + 24));
        if (!r.ok())
            return std::nullopt;
        const auto image = parseEmfPlusImage(r.sub(at, r.size() - at), depth);
        b.texture = emfPlusImagePixels(image.get());
        break;
    }
    case EmfPlusBrush::LinearGradient: {
        b.rect = r.rectF(16);
        b.color = r.argb(32);
        b.background = r.argb(36);
        // Blending across both directions is not something a QLinearGradient
        // can do; the horizontal factors are what files carry.
        if (!readGradientTail(
                r, flags, BrushBlendH | BrushBlendV, b.color, b.background, 48, &b.transform, &b.stops))
            return std::nullopt;
        if (b.stops.isEmpty())
            b.stops = { { 0, b.color }, { 1, b.background } };
        break;
    }
    case EmfPlusBrush::PathGradient: {
        b.color = r.argb(16);
        b.centre = r.pointF(20);
        const quint32 surrounding = r.u32(28);
        if (!r.ok() || surrounding > kEmfPlusMaxPoints || !r.has(32, qint64(surrounding) * 4))
            return std::nullopt;
        b.background = surrounding > 0 ? r.argb(32) : b.color;
        qint64 at = 32 + qint64(surrounding) * 4;
        if (flags & BrushPath) {
            const qint32 size = r.i32(at);
            const auto path = size >= 0 ? parseEmfPlusPath(r.sub(at + 4, size)) : std::nullopt;
            if (!path)
                return std::nullopt;
            b.boundary = *path;
            at += 4 + size;
        } else {
            const quint32 n = r.u32(at);
            QPolygonF points;
            if (readEmfPlusPoints(r, at + 4, n, false, false, &points) < 0)
                return std::nullopt;
            b.boundary.addPolygon(points);
            b.boundary.closeSubpath();
            at += 4 + qint64(n) * 8;
        }
        // Positions run from the boundary (0) to the centre (1).
        QGradientStops stops;
        if (!readGradientTail(r, flags, BrushBlendH, b.background, b.color, at, &b.transform, &stops))
            return std::nullopt;
        for (const QGradientStop &s : stops)
            b.stops.append({ 1 - s.first, s.second });
        if (b.stops.isEmpty())
            b.stops = { { 0, b.color }, { 1, b.background } };
        break;
    }
    default:
        return std::nullopt;
    }
    if (!r.ok())
        return std::nullopt;
    b.type = EmfPlusBrush::Type(type);
    b.stops = tidy(b.stops);
    return b;
}

} // namespace vm

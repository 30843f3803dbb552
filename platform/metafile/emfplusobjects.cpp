// EMF+ points, paths, regions and pens. Every count is checked against the
// bytes that hold it before anything is allocated for it.
#include "platform/metafile/emfplusobjects.h"
#include "platform/metafile/pathclip.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace vm {

namespace {

constexpr int kMaxRegionDepth = 64;
constexpr int kMaxRegionNodes = 256;
constexpr int kMaxRegionElements = 40000; // path operations grow fast past this

enum PenDataFlag : quint32 {
    PenTransform = 0x1,
    PenStartCap = 0x2,
    PenEndCap = 0x4,
    PenJoin = 0x8,
    PenMiterLimit = 0x10,
    PenLineStyle = 0x20,
    PenDashedLineCap = 0x40,
    PenDashedLineOffset = 0x80,
    PenDashedLine = 0x100,
    PenAlignment = 0x200,
    PenCompoundLine = 0x400,
    PenCustomStartCap = 0x800,
    PenCustomEndCap = 0x1000,
};

enum RegionNode : quint32 {
    NodeAnd = 1,
    NodeOr = 2,
    NodeXor = 3,
    NodeExclude = 4,
    NodeComplement = 5,
    NodeRect = 0x10000000,
    NodePath = 0x10000001,
    NodeEmpty = 0x10000002,
    NodeInfinite = 0x10000003,
};

// A relative coordinate: 7 bits in one byte, or 15 bits in two (high bit set).
bool readRelative(const EmfPlusReader &r, qint64 *offset, double *value)
{
    if (!r.has(*offset, 1))
        return false;
    const quint8 b0 = r.u8(*offset);
    if (!(b0 & 0x80)) {
        *value = (b0 & 0x40) ? int(b0) - 0x80 : int(b0);
        *offset += 1;
        return true;
    }
    if (!r.has(*offset + 1, 1))
        return false;
    const int v = ((b0 & 0x7F) << 8) | r.u8(*offset + 1);
    *value = (v & 0x4000) ? v - 0x8000 : v;
    *offset += 2;
    return true;
}

Qt::PenCapStyle capStyle(qint32 cap)
{
    switch (cap) {
    case 1:
        return Qt::SquareCap;
    case 2:
        return Qt::RoundCap;
    default:
        return Qt::FlatCap; // flat, triangle, anchors and custom caps
    }
}

// The anchor caps, in pen widths.
EmfPlusCap anchorCap(qint32 cap)
{
    EmfPlusCap c;
    switch (cap) {
    case 0x11:
        c.fill.addRect(QRectF(-1, -1, 2, 2));
        break; // square anchor
    case 0x12:
        c.fill.addEllipse(QPointF(0, 0), 1, 1);
        break; // round anchor
    case 0x13:
        c.fill.addPolygon(QPolygonF({ { 0, -1.4 }, { 1.4, 0 }, { 0, 1.4 }, { -1.4, 0 } }));
        break; // diamond
    case 0x14:
        c.fill.addPolygon(QPolygonF({ { 0, 0 }, { 2, -3.5 }, { -2, -3.5 } }));
        break; // arrow
    default:
        break;
    }
    c.fill.closeSubpath();
    return c;
}

// EmfPlusCustomLineCap: a default cap with fill and line paths, or an
// adjustable arrow.
EmfPlusCap customCap(const EmfPlusReader &r)
{
    EmfPlusCap c;
    const quint32 type = r.u32(4);
    if (type == 1) {
        // Width, height, middle inset, fill state, ..., width scale.
        const double w = r.f32(8), h = r.f32(12), inset = r.f32(16);
        const bool filled = r.u32(20) != 0;
        c.widthScale = r.f32(40);
        if (!r.ok() || std::abs(w) > 1e3 || std::abs(h) > 1e3)
            return {};
        QPainterPath arrow;
        arrow.addPolygon(QPolygonF({ { w / 2, -h }, { 0, 0 }, { -w / 2, -h }, { 0, -h + inset } }));
        arrow.closeSubpath();
        (filled ? c.fill : c.line) = arrow;
    } else {
        // Flags (1 fill path, 2 line path), base cap, inset, stroke caps and
        // join, miter limit, width scale, hot spots, then the paths.
        const quint32 flags = r.u32(8);
        c.widthScale = r.f32(36);
        qint64 at = 56;
        for (quint32 which : { 1u, 2u }) {
            if (!(flags & which))
                continue;
            const qint32 length = r.i32(at);
            const auto path = length > 0 ? parseEmfPlusPath(r.sub(at + 4, length)) : std::nullopt;
            if (!path)
                return {};
            (which == 1 ? c.fill : c.line) = *path;
            at += 4 + length;
        }
    }
    if (!r.ok() || !(c.widthScale > 0 && c.widthScale < 100)
        || c.fill.elementCount() + c.line.elementCount() > 1000)
        return {};
    return c;
}

// The world's edge for regions that cover everything: far beyond any page
// yet small enough that path operations stay exact.
QPainterPath everywhere()
{
    QPainterPath p;
    p.addRect(QRectF(-1e6, -1e6, 2e6, 2e6));
    return p;
}

bool readRegionNode(const EmfPlusReader &r, qint64 *offset, int depth, int *nodes, EmfPlusRegion *out)
{
    if (depth > kMaxRegionDepth || ++*nodes > kMaxRegionNodes || !r.has(*offset, 4))
        return false;
    const quint32 type = r.u32(*offset);
    *offset += 4;
    switch (type) {
    case NodeRect: {
        if (!r.has(*offset, 16))
            return false;
        const QRectF rect = r.rectF(*offset).normalized();
        *offset += 16;
        out->path = QPainterPath();
        out->path.addRect(rect);
        return true;
    }
    case NodePath: {
        const qint32 length = r.i32(*offset);
        if (length < 0 || !r.has(*offset + 4, length))
            return false;
        const std::optional<QPainterPath> path = parseEmfPlusPath(r.sub(*offset + 4, length));
        if (!path)
            return false;
        *offset += 4 + length;
        out->path = *path;
        return true;
    }
    case NodeEmpty:
        out->path = QPainterPath();
        return true;
    case NodeInfinite:
        out->infinite = true;
        return true;
    case NodeAnd:
    case NodeOr:
    case NodeXor:
    case NodeExclude:
    case NodeComplement: {
        EmfPlusRegion left, right;
        if (!readRegionNode(r, offset, depth + 1, nodes, &left)
            || !readRegionNode(r, offset, depth + 1, nodes, &right))
            return false;
        if (left.path.elementCount() + right.path.elementCount() > kMaxRegionElements)
            return false;
        *out = combineEmfPlusRegions(left, right, int(type));
        return true;
    }
    default:
        return false;
    }
}

} // namespace

EmfPlusRegion combineEmfPlusRegions(const EmfPlusRegion &a, const EmfPlusRegion &b, int mode)
{
    const QPainterPath pa = withoutSlivers(a.infinite ? everywhere() : a.path);
    const QPainterPath pb = withoutSlivers(b.infinite ? everywhere() : b.path);
    EmfPlusRegion out;
    switch (mode) {
    case 0:
        return b; // replace
    case NodeAnd:
        if (a.infinite || b.infinite)
            return a.infinite ? b : a;
        out.path = pa.intersected(pb);
        break;
    case NodeOr:
        if (a.infinite || b.infinite) {
            out.infinite = true;
            break;
        }
        out.path = pa.united(pb);
        break;
    case NodeXor:
        out.path = pa.united(pb).subtracted(pa.intersected(pb));
        break;
    case NodeExclude:
        out.path = pa.subtracted(pb);
        break;
    case NodeComplement:
        out.path = pb.subtracted(pa);
        break;
    default:
        return a;
    }
    out.path = out.path.simplified();
    return out;
}

qint64 readEmfPlusPoints(
    const EmfPlusReader &r, qint64 offset, quint32 count, bool int16, bool relative, QPolygonF *points)
{
    if (count > kEmfPlusMaxPoints)
        return -1;
    if (relative) {
        // At least one byte a coordinate: check that before allocating.
        if (!r.has(offset, qint64(count) * 2))
            return -1;
        points->reserve(count);
        qint64 at = offset;
        QPointF last(0, 0);
        for (quint32 i = 0; i < count; ++i) {
            double dx, dy;
            if (!readRelative(r, &at, &dx) || !readRelative(r, &at, &dy))
                return -1;
            last += QPointF(dx, dy);
            points->append(last);
        }
        return at - offset;
    }
    const qint64 each = int16 ? 4 : 8;
    if (!r.has(offset, qint64(count) * each))
        return -1;
    points->reserve(count);
    for (quint32 i = 0; i < count; ++i) {
        const qint64 at = offset + qint64(i) * each;
        points->append(int16 ? QPointF(r.i16(at), r.i16(at + 2)) : r.pointF(at));
    }
    return qint64(count) * each;
}

std::optional<QPainterPath> parseEmfPlusPath(const EmfPlusReader &r)
{
    // Version, point count, flags, points, point types.
    const quint32 count = r.u32(4), flags = r.u32(8);
    if (!r.ok() || count > kEmfPlusMaxPoints)
        return std::nullopt;
    QPolygonF points;
    const qint64 used = readEmfPlusPoints(r, 12, count, flags & FlagInt16, flags & FlagRelative, &points);
    if (used < 0)
        return std::nullopt;
    QByteArray types;
    qint64 at = 12 + used;
    if (flags & 0x1000) { // run-length encoded types: (bezier bit, run count), type
        types.reserve(count);
        while (quint32(types.size()) < count) {
            if (!r.has(at, 2))
                return std::nullopt;
            const int run = r.u8(at) & 0x3F;
            types.append(std::min<qint64>(run, count - types.size()), char(r.u8(at + 1)));
            at += 2;
        }
    } else {
        if (!r.has(at, count))
            return std::nullopt;
        types = QByteArray(reinterpret_cast<const char *>(r.data() + at), count);
    }
    QPainterPath path;
    for (quint32 i = 0; i < count; ++i) {
        const quint8 t = quint8(types[i]);
        switch (t & 0x07) {
        case 0:
            path.moveTo(points[i]);
            break;
        case 3:
            // A Bézier takes three points; a stray one becomes a line.
            if (i + 2 < count && (quint8(types[i + 1]) & 0x07) == 3 && (quint8(types[i + 2]) & 0x07) == 3) {
                path.cubicTo(points[i], points[i + 1], points[i + 2]);
                i += 2;
            } else {
                path.lineTo(points[i]);
            }
            break;
        default:
            path.lineTo(points[i]);
            break;
        }
        if (quint8(types[i]) & 0x80)
            path.closeSubpath();
    }
    return path;
}

std::optional<EmfPlusRegion> parseEmfPlusRegion(const EmfPlusReader &r)
{
    // Version, node count (not trusted), then the root node.
    EmfPlusRegion region;
    qint64 at = 8;
    int nodes = 0;
    if (!r.has(0, 8) || !readRegionNode(r, &at, 0, &nodes, &region))
        return std::nullopt;
    return region;
}

std::optional<EmfPlusPen> parseEmfPlusPen(const EmfPlusReader &r, int depth)
{
    // Version, type (0), then the pen data and the pen's brush.
    EmfPlusPen pen;
    const quint32 flags = r.u32(8);
    pen.unit = quint8(r.u32(12));
    pen.width = std::abs(r.f32(16));
    if (!r.ok() || pen.unit > UnitMillimeter)
        return std::nullopt;
    qint64 at = 20;
    if (flags & PenTransform) {
        pen.transform = r.matrix(at);
        at += 24;
    }
    Qt::PenCapStyle startCap = Qt::FlatCap, endCap = Qt::FlatCap;
    if (flags & PenStartCap) {
        const qint32 cap = r.i32(std::exchange(at, at + 4));
        startCap = capStyle(cap);
        pen.startCap = anchorCap(cap);
    }
    if (flags & PenEndCap) {
        const qint32 cap = r.i32(std::exchange(at, at + 4));
        endCap = capStyle(cap);
        pen.endCap = anchorCap(cap);
    }
    // One cap for both ends is all a QPen has: the rounder one wins.
    pen.cap = startCap == Qt::RoundCap || endCap == Qt::RoundCap ? Qt::RoundCap
        : startCap == Qt::SquareCap || endCap == Qt::SquareCap   ? Qt::SquareCap
                                                                 : Qt::FlatCap;
    if (flags & PenJoin) {
        switch (r.u32(std::exchange(at, at + 4))) {
        case 1:
            pen.join = Qt::BevelJoin;
            break;
        case 2:
            pen.join = Qt::RoundJoin;
            break;
        case 3:
            pen.join = Qt::SvgMiterJoin;
            break;
        default:
            pen.join = Qt::MiterJoin;
            break;
        }
    }
    if (flags & PenMiterLimit)
        pen.miterLimit = std::clamp(double(r.f32(std::exchange(at, at + 4))), 1.0, 1000.0);
    if (flags & PenLineStyle)
        pen.lineStyle = std::clamp(r.i32(std::exchange(at, at + 4)), 0, 5);
    if (flags & PenDashedLineCap)
        at += 4;
    if (flags & PenDashedLineOffset)
        pen.dashOffset = r.f32(std::exchange(at, at + 4));
    if (flags & PenDashedLine) {
        const quint32 n = r.u32(at);
        if (n > 1024 || !r.need(at + 4, qint64(n) * 4))
            return std::nullopt;
        for (quint32 i = 0; i < n; ++i)
            pen.dashes.append(std::clamp(double(r.f32(at + 4 + qint64(i) * 4)), 0.0, 1e4));
        at += 4 + qint64(n) * 4;
    }
    if (flags & PenAlignment)
        pen.inset = r.i32(std::exchange(at, at + 4)) == 1;
    if (flags & PenCompoundLine) {
        const quint32 n = r.u32(at);
        if (n > 1024 || !r.need(at + 4, qint64(n) * 4))
            return std::nullopt;
        for (quint32 i = 0; i < n; ++i)
            pen.compound.append(r.f32(at + 4 + qint64(i) * 4));
        // Pairs of rising positions within the width; anything else (and
        // more stripes than any writer offers) is drawn as one line.
        const bool rising = std::all_of(pen.compound.cbegin(), pen.compound.cend(),
                                [](double v) { return std::isfinite(v); })
            && std::is_sorted(pen.compound.cbegin(), pen.compound.cend()) && pen.compound.value(0, -1) >= 0
            && pen.compound.value(pen.compound.size() - 1, 2) <= 1;
        if (n % 2 || n > 32 || !rising)
            pen.compound.clear();
        at += 4 + qint64(n) * 4;
    }
    for (quint32 cap : { quint32(PenCustomStartCap), quint32(PenCustomEndCap) }) {
        if (flags & cap) {
            const quint32 n = r.u32(at);
            if (!r.need(at + 4, n))
                return std::nullopt;
            (cap == PenCustomStartCap ? pen.startCap : pen.endCap) = customCap(r.sub(at + 4, n));
            at += 4 + qint64(n);
        }
    }
    if (!r.ok() || !r.has(at, 8))
        return std::nullopt;
    const std::optional<EmfPlusBrush> brush = parseEmfPlusBrush(r.sub(at, r.size() - at), depth);
    if (!brush)
        return std::nullopt;
    pen.brush = *brush;
    return pen;
}

} // namespace vm

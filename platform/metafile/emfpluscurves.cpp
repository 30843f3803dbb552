// EMF+ cardinal splines: DrawCurve, DrawClosedCurve and FillClosedCurve.
// A cardinal spline through points p[i] becomes one cubic Bézier per
// segment, its control points p[i] + t (p[i+1] - p[i-1]) and
// p[i+1] - t (p[i+2] - p[i]), where t is the record's tension times 0.3
// (GDI+'s factor; tension 0 gives straight lines).
#include "platform/metafile/emfplusplayer.h"

namespace vm {

namespace {

constexpr double kTensionFactor = 0.3;

// Segments [first, first + segments) of the open spline through `p`.
QPainterPath openCurve(const QPolygonF &p, double tension, qsizetype first, qsizetype segments)
{
    QPainterPath path;
    const double t = tension * kTensionFactor;
    const qsizetype n = p.size();
    path.moveTo(p[first]);
    for (qsizetype i = first; i < first + segments && i + 1 < n; ++i) {
        const QPointF before = i > 0 ? p[i - 1] : p[i];
        const QPointF after = i + 2 < n ? p[i + 2] : p[i + 1];
        path.cubicTo(p[i] + t * (p[i + 1] - before), p[i + 1] - t * (after - p[i]), p[i + 1]);
    }
    return path;
}

QPainterPath closedCurve(const QPolygonF &p, double tension)
{
    QPainterPath path;
    const double t = tension * kTensionFactor;
    const qsizetype n = p.size();
    path.moveTo(p[0]);
    for (qsizetype i = 0; i < n; ++i) {
        const QPointF &a = p[(i + n - 1) % n], &b = p[i], &c = p[(i + 1) % n], &d = p[(i + 2) % n];
        path.cubicTo(b + t * (c - a), c - t * (d - b), c);
    }
    path.closeSubpath();
    return path;
}

} // namespace

EmfPlusResult EmfPlusPlayer::curveRecord(const EmfPlusRecord &r)
{
    const EmfPlusReader &d = r.data;
    const bool int16 = r.flags & FlagInt16;
    const bool relative = r.flags & FlagRelative;
    QPolygonF points;
    switch (r.type) {
    case EmfPlusFillClosedCurve: {
        // Brush, tension, count, points.
        const std::optional<EmfPlusBrush> brush = brushOf(r.flags, d.u32(0));
        const double tension = d.f32(4);
        if (!d.ok() || readEmfPlusPoints(d, 12, d.u32(8), int16, relative, &points) < 0)
            return EmfPlusResult::Stop;
        if (!brush || points.size() < 3)
            return EmfPlusResult::NotDrawn;
        QPainterPath path = closedCurve(points, tension);
        path.setFillRule(r.flags & FlagWinding ? Qt::WindingFill : Qt::OddEvenFill);
        fillWorld(path, *brush);
        return EmfPlusResult::Done;
    }
    case EmfPlusDrawClosedCurve: {
        // Tension, count, points.
        const double tension = d.f32(0);
        if (!d.ok() || readEmfPlusPoints(d, 8, d.u32(4), int16, relative, &points) < 0)
            return EmfPlusResult::Stop;
        const EmfPlusPen *pen = m_objects.find<EmfPlusPen>(r.flags & 0xFF);
        if (!pen || points.size() < 3)
            return EmfPlusResult::NotDrawn;
        strokeWorld(closedCurve(points, tension), *pen, true);
        return EmfPlusResult::Done;
    }
    case EmfPlusDrawCurve: {
        // Tension, first segment, segment count, point count, points.
        const double tension = d.f32(0);
        const quint32 first = d.u32(4), segments = d.u32(8);
        if (!d.ok() || readEmfPlusPoints(d, 16, d.u32(12), int16, false, &points) < 0)
            return EmfPlusResult::Stop;
        const EmfPlusPen *pen = m_objects.find<EmfPlusPen>(r.flags & 0xFF);
        if (!pen || points.size() < 2 || first >= quint32(points.size() - 1))
            return EmfPlusResult::NotDrawn;
        strokeWorld(
            openCurve(points, tension, first, std::min<qsizetype>(segments, points.size() - 1 - first)), *pen,
            false);
        return EmfPlusResult::Done;
    }
    default:
        return EmfPlusResult::NotDrawn;
    }
}

} // namespace vm

#include "platform/metafile/pathclip.h"

#include <QPolygonF>

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>

namespace vm {

namespace {

bool inside(const QRectF &r, QPointF p)
{
    return p.x() >= r.left() && p.x() <= r.right() && p.y() >= r.top() && p.y() <= r.bottom();
}

// Liang-Barsky: the part of segment a-b inside r, if any.
std::optional<std::pair<QPointF, QPointF>> clipSegment(QPointF a, QPointF b, const QRectF &r)
{
    const double dx = b.x() - a.x(), dy = b.y() - a.y();
    double t0 = 0, t1 = 1;
    const double p[4] = { -dx, dx, -dy, dy };
    const double q[4] = { a.x() - r.left(), r.right() - a.x(), a.y() - r.top(), r.bottom() - a.y() };
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0)
                return std::nullopt;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1)
            return std::nullopt;
    }
    return std::make_pair(
        QPointF(a.x() + t0 * dx, a.y() + t0 * dy), QPointF(a.x() + t1 * dx, a.y() + t1 * dy));
}

// Appends the visible runs of the open chain `points` to `out`.
void addRuns(QPainterPath &out, const QPolygonF &points, const QRectF &rect)
{
    bool open = false; // a run is in progress and ends at the last point added
    for (qsizetype i = 1; i < points.size(); ++i) {
        const auto part = clipSegment(points[i - 1], points[i], rect);
        if (!part) {
            open = false;
            continue;
        }
        if (!open || part->first != points[i - 1])
            out.moveTo(part->first);
        out.lineTo(part->second);
        // The run goes on only if the segment ended inside, at its own point.
        open = part->second == points[i];
    }
}

} // namespace

double antialiasingCost(const QPainterPath &path, const QRectF &rect, double penWidth)
{
    return rasterWork(path, rect, penWidth).steps;
}

RasterWork rasterWork(const QPainterPath &path, const QRectF &rect, double penWidth)
{
    // The rasteriser works in bands of rows sized to a fixed pool of cells,
    // and walks every edge that meets a band, whole, for each band. So the
    // work is the bands an edge meets times its height, summed: for an edge
    // of height dy, dy^2 / band height, with the band height set by the
    // cells per row (about 340 cells to the pool).
    constexpr double kPoolCells = 340;
    const QRectF reach = rect.adjusted(-penWidth, -penWidth, penWidth, penWidth);
    double cells = 0;
    double heightSquares = 0;
    // Most shapes lie wholly inside: their edges need no cutting.
    const bool within = reach.contains(path.controlPointRect());
    const auto edge = [&](QPointF a, QPointF b) {
        if (within) {
            cells += std::abs(b.x() - a.x()) + std::abs(b.y() - a.y());
            heightSquares += (b.y() - a.y()) * (b.y() - a.y());
        } else if (const auto part = clipSegment(a, b, reach)) {
            const QPointF d = part->second - part->first;
            cells += std::abs(d.x()) + std::abs(d.y());
            heightSquares += d.y() * d.y();
        }
    };
    // Curves count by their control polygon, which holds the curve and is
    // as long or longer: a close price, without flattening every curve.
    QPointF start, last;
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        const QPointF p(e.x, e.y);
        if (e.isMoveTo()) {
            if (i > 0)
                edge(last, start); // each subpath is filled closed
            start = p;
        } else {
            edge(last, p);
        }
        last = p;
    }
    if (path.elementCount() > 0)
        edge(last, start);
    const QRectF box = path.controlPointRect().adjusted(-penWidth, -penWidth, penWidth, penWidth) & reach;
    double pixels = box.width() * box.height();
    if (penWidth > 0) {
        // The cells walked (at least the length inside) times the width.
        pixels = std::min(pixels, (cells + double(path.elementCount()) * penWidth) * penWidth);
        // The outline has two sides, and a join or cap at every point.
        cells = 2 * cells + double(path.elementCount()) * 2 * penWidth;
        heightSquares = 2 * heightSquares + double(path.elementCount()) * penWidth * penWidth;
    }
    const double rows
        = std::clamp(path.controlPointRect().height() + penWidth, 1.0, std::max(1.0, reach.height()));
    const double bandHeight = std::max(1.0, kPoolCells * rows / std::max(1.0, cells));
    return { heightSquares / bandHeight, pixels };
}

namespace {

// One pass of Sutherland-Hodgman: keeps the side of an axis-parallel line
// where `inside` holds, putting points on the line where edges cross it.
template <class Inside, class Cross> QPolygonF cutPolygon(const QPolygonF &in, Inside inside, Cross cross)
{
    QPolygonF out;
    const qsizetype n = in.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QPointF &a = in[(i + n - 1) % n];
        const QPointF &b = in[i];
        const bool ina = inside(a), inb = inside(b);
        if (inb) {
            if (!ina)
                out.append(cross(a, b));
            out.append(b);
        } else if (ina) {
            out.append(cross(a, b));
        }
    }
    return out;
}

QPointF atX(const QPointF &a, const QPointF &b, double x)
{
    const double t = (x - a.x()) / (b.x() - a.x());
    return { x, a.y() + t * (b.y() - a.y()) };
}

QPointF atY(const QPointF &a, const QPointF &b, double y)
{
    const double t = (y - a.y()) / (b.y() - a.y());
    return { a.x() + t * (b.x() - a.x()), y };
}

} // namespace

QPainterPath areaWithin(const QPainterPath &path, const QRectF &rect)
{
    const QRectF r = rect.normalized();
    QPainterPath out;
    out.setFillRule(path.fillRule());
    for (QPolygonF polygon : path.toSubpathPolygons()) {
        polygon = cutPolygon(
            polygon, [&](QPointF p) { return p.x() >= r.left(); },
            [&](QPointF a, QPointF b) { return atX(a, b, r.left()); });
        polygon = cutPolygon(
            polygon, [&](QPointF p) { return p.x() <= r.right(); },
            [&](QPointF a, QPointF b) { return atX(a, b, r.right()); });
        polygon = cutPolygon(
            polygon, [&](QPointF p) { return p.y() >= r.top(); },
            [&](QPointF a, QPointF b) { return atY(a, b, r.top()); });
        polygon = cutPolygon(
            polygon, [&](QPointF p) { return p.y() <= r.bottom(); },
            [&](QPointF a, QPointF b) { return atY(a, b, r.bottom()); });
        if (polygon.size() >= 3) {
            out.addPolygon(polygon);
            out.closeSubpath();
        }
    }
    return out;
}

namespace {

bool isSliver(const QRectF &box)
{
    const double size = std::max({ std::abs(box.left()), std::abs(box.right()), std::abs(box.top()),
        std::abs(box.bottom()), box.width(), box.height() });
    return box.width() <= size * 1e-9 || box.height() <= size * 1e-9;
}

} // namespace

QPainterPath withoutSlivers(const QPainterPath &path)
{
    // Subpaths as element ranges [start, end), with their control boxes.
    QList<std::pair<int, int>> kept;
    bool dropped = false;
    const int n = path.elementCount();
    for (int start = 0; start < n;) {
        int end = start + 1;
        while (end < n && path.elementAt(end).type != QPainterPath::MoveToElement)
            ++end;
        double left = path.elementAt(start).x, right = left, top = path.elementAt(start).y, bottom = top;
        for (int i = start + 1; i < end; ++i) {
            const QPainterPath::Element &e = path.elementAt(i);
            left = std::min(left, e.x);
            right = std::max(right, e.x);
            top = std::min(top, e.y);
            bottom = std::max(bottom, e.y);
        }
        if (isSliver(QRectF(QPointF(left, top), QPointF(right, bottom))))
            dropped = true;
        else
            kept.append({ start, end });
        start = end;
    }
    if (!dropped)
        return path;
    QPainterPath out;
    out.setFillRule(path.fillRule());
    for (const auto &[start, end] : kept) {
        out.moveTo(path.elementAt(start));
        for (int i = start + 1; i < end; ++i) {
            const QPainterPath::Element &e = path.elementAt(i);
            if (e.isCurveTo() && i + 2 < end) {
                out.cubicTo(e, path.elementAt(i + 1), path.elementAt(i + 2));
                i += 2;
            } else if (e.isLineTo()) {
                out.lineTo(e);
            }
        }
        // A closed subpath ends where it began.
        if (path.elementAt(end - 1).x == path.elementAt(start).x
            && path.elementAt(end - 1).y == path.elementAt(start).y)
            out.closeSubpath();
    }
    return out;
}

QPainterPath linesWithin(const QPainterPath &path, const QRectF &rect)
{
    QPainterPath out;
    out.setFillRule(path.fillRule());
    for (QPolygonF polygon : path.toSubpathPolygons()) {
        if (polygon.isEmpty())
            continue;
        const qsizetype outside = std::find_if(polygon.cbegin(), polygon.cend(), [&rect](QPointF p) {
            return !inside(rect, p);
        }) - polygon.cbegin();
        if (outside == polygon.size()) {
            out.addPolygon(polygon);
            if (polygon.size() > 2 && polygon.isClosed())
                out.closeSubpath();
            continue;
        }
        if (polygon.size() > 2 && polygon.isClosed()) {
            // Start the ring at a point outside, so that no run begins or
            // ends at a corner that is seen.
            polygon.removeLast();
            std::rotate(polygon.begin(), polygon.begin() + outside, polygon.end());
            polygon.append(polygon.first());
        }
        addRuns(out, polygon, rect);
    }
    return out;
}

} // namespace vm

// The clip. GDI keeps it in device space: it is set through the transform of
// the moment and stays put when the transform changes later. Rectangles and
// regions that map to whole pixels are combined as QRegions (fast for any
// number of rectangles); anything else falls back to path booleans.
#include "platform/metafile/gdicontext.h"
#include "platform/metafile/pathclip.h"

#include <algorithm>
#include <cmath>

namespace vm {

namespace {

constexpr int kMaxRegionRects = 100000;

// The pixel rectangles of a path made only of axis-aligned rectangles.
bool rectsOfPath(const QPainterPath &path, QList<QRect> *rects)
{
    const QList<QPolygonF> polygons = path.toSubpathPolygons();
    if (polygons.size() > kMaxRegionRects)
        return false;
    for (const QPolygonF &poly : polygons) {
        if (poly.size() < 4 || poly.size() > 5)
            return false;
        const QRectF box = poly.boundingRect();
        for (QPointF p : poly) {
            if ((p.x() != box.left() && p.x() != box.right())
                || (p.y() != box.top() && p.y() != box.bottom()))
                return false;
        }
        if (!(std::abs(box.left()) < 1e7 && std::abs(box.right()) < 1e7 && std::abs(box.top()) < 1e7
                && std::abs(box.bottom()) < 1e7))
            return false;
        const QRect r(QPoint(int(std::lround(box.left())), int(std::lround(box.top()))),
            QPoint(int(std::lround(box.right())) - 1, int(std::lround(box.bottom())) - 1));
        if (r.isValid())
            rects->append(r);
    }
    return true;
}

// Union of many rectangles in halves, so the work grows as n log n.
QRegion unite(const QList<QRect> &rects, qsizetype from, qsizetype to)
{
    if (to - from == 0)
        return QRegion();
    if (to - from == 1)
        return QRegion(rects[from]);
    const qsizetype mid = from + (to - from) / 2;
    return unite(rects, from, mid).united(unite(rects, mid, to));
}

} // namespace

QPainterPath GdiContext::currentClipPath() const
{
    QPainterPath path;
    if (m_state.clipRegion)
        path.addRegion(*m_state.clipRegion);
    else if (m_state.clip)
        path = *m_state.clip;
    else
        path.addRect(QRectF(QPointF(0, 0), QSizeF(m_target->size())));
    return path;
}

void GdiContext::combineClip(const QPainterPath &givenPath, int mode)
{
    const QPainterPath imagePath = withoutSlivers(givenPath);
    // Combining walks every edge of one side against those of the other.
    // Both sides are counted in path elements, whichever way the clip is
    // kept (that choice depends on the output size, the price must not).
    const double elements = imagePath.elementCount();
    if (mode < RgnAnd || mode > RgnCopy
        || !countOps(
            PlayBudget::kRecord + PlayBudget::kPathElement * elements * std::max(4.0, m_state.clipElements)))
        return;
    m_state.clipElements = mode == RgnCopy ? elements : m_state.clipElements + elements;
    QList<QRect> rects;
    if (!m_state.clip && rectsOfPath(imagePath, &rects)) {
        const QRegion other = unite(rects, 0, rects.size());
        const QRegion current = m_state.clipRegion ? *m_state.clipRegion : QRegion(m_target->rect());
        QRegion result;
        switch (mode) {
        case RgnAnd:
            result = current.intersected(other);
            break;
        case RgnOr:
            result = current.united(other);
            break;
        case RgnXor:
            result = current.xored(other);
            break;
        case RgnDiff:
            result = current.subtracted(other);
            break;
        default:
            result = other;
            break;
        }
        m_state.clipRegion = result;
        return;
    }
    if (imagePath.elementCount() > 4 * kMaxRegionRects)
        return;
    const QPainterPath current = withoutSlivers(currentClipPath());
    QPainterPath result;
    switch (mode) {
    case RgnAnd:
        result = current.intersected(imagePath);
        break;
    case RgnOr:
        result = current.united(imagePath);
        break;
    case RgnXor:
        result = current.united(imagePath).subtracted(current.intersected(imagePath));
        break;
    case RgnDiff:
        result = current.subtracted(imagePath);
        break;
    default:
        result = imagePath;
        break;
    }
    // Path booleans grow with every step; a rectangle stays a rectangle.
    m_state.clip = result.simplified();
    m_state.clipRegion.reset();
}

void GdiContext::intersectClipRect(const QRectF &box)
{
    QPainterPath path;
    path.addRect(box.normalized());
    combineClip(toImage(path), RgnAnd);
}

void GdiContext::excludeClipRect(const QRectF &box)
{
    QPainterPath path;
    path.addRect(box.normalized());
    combineClip(toImage(path), RgnDiff);
}

void GdiContext::offsetClip(QPointF logicalOffset)
{
    const QTransform t = logicalToImage();
    const QPointF d = t.map(logicalOffset) - t.map(QPointF(0, 0));
    if (!std::isfinite(d.x()) || !std::isfinite(d.y()) || std::abs(d.x()) > 1e7 || std::abs(d.y()) > 1e7)
        return;
    if (m_state.clipRegion)
        m_state.clipRegion->translate(int(std::lround(d.x())), int(std::lround(d.y())));
    else if (m_state.clip)
        m_state.clip = m_state.clip->translated(d);
}

QPainterPath GdiContext::regionToImage(const GdiRegion &region) const
{
    return region.device ? m_deviceToImage.map(region.path) : toImage(region.path);
}

void GdiContext::selectClipRegion(const GdiRegion *region, int mode)
{
    if (!region) {
        if (mode == RgnCopy) {
            m_state.clip.reset();
            m_state.clipRegion.reset();
            m_state.clipElements = 0;
        }
        return;
    }
    combineClip(regionToImage(*region), mode);
}

void GdiContext::applyClip()
{
    if (m_state.clipRegion) {
        m_painter.setClipRegion(*m_state.clipRegion);
        m_painter.setClipping(true);
    } else if (m_state.clip) {
        m_painter.setClipPath(*m_state.clip);
        m_painter.setClipping(true);
    } else {
        m_painter.setClipping(false);
    }
}

} // namespace vm

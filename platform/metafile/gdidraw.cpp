// Lines, curves and filled shapes. Geometry is built in logical units,
// mapped to image pixels, and drawn there with an identity painter
// transform, so pens, hatches and the clip all live in device space as GDI
// has them.
#include "platform/metafile/gdicontext.h"

#include <QtMath>

#include <algorithm>
#include <cmath>

#include "platform/metafile/pathclip.h"

namespace vm {

namespace {

constexpr double kMaxStrokeCost = 8e6;
// Pixels a single stroke may cover, joins counted (well under a second).
constexpr double kMaxStrokeArea = 2e8;
// Past this antialiasing cost (about a quarter of a second) a shape is drawn
// with hard edges instead, which costs the rasteriser a small fraction.
constexpr double kMaxAntialiasingCost = 1.5e6;

bool finitePoint(QPointF p)
{
    return std::isfinite(p.x()) && std::isfinite(p.y()) && std::abs(p.x()) < 1e9 && std::abs(p.y()) < 1e9;
}

bool finiteRect(const QRectF &r)
{
    return finitePoint(r.topLeft()) && finitePoint(r.bottomRight());
}

// Length in image pixels of one logical unit (geometric mean of the axes).
double linearScale(const QTransform &t)
{
    const double s = std::sqrt(std::abs(t.determinant()));
    return std::isfinite(s) ? s : 1.0;
}

QPainter::CompositionMode rop2Mode(int rop2, bool *skip, bool *constant, QColor *constColor)
{
    *skip = false;
    *constant = false;
    switch (rop2) {
    case 1:
        *constant = true;
        *constColor = Qt::black;
        return QPainter::CompositionMode_SourceOver;
    case 16:
        *constant = true;
        *constColor = Qt::white;
        return QPainter::CompositionMode_SourceOver;
    case 11:
        *skip = true;
        return QPainter::CompositionMode_SourceOver; // R2_NOP
    case 7:
        return QPainter::RasterOp_SourceXorDestination; // R2_XORPEN
    case 10:
        return QPainter::RasterOp_NotSourceXorDestination; // R2_NOTXORPEN
    case 9:
        return QPainter::RasterOp_SourceAndDestination; // R2_MASKPEN
    case 15:
        return QPainter::RasterOp_SourceOrDestination; // R2_MERGEPEN
    case 6:
        return QPainter::RasterOp_NotDestination; // R2_NOT
    case 4:
        return QPainter::RasterOp_NotSource; // R2_NOTCOPYPEN
    case 2:
        return QPainter::RasterOp_NotSourceAndNotDestination; // R2_NOTMERGEPEN
    case 8:
        return QPainter::RasterOp_NotSourceOrNotDestination; // R2_NOTMASKPEN
    case 3:
        return QPainter::RasterOp_NotSourceAndDestination; // R2_MASKNOTPEN
    case 5:
        return QPainter::RasterOp_SourceAndNotDestination; // R2_MASKPENNOT
    case 12:
        return QPainter::RasterOp_NotSourceOrDestination; // R2_MERGENOTPEN
    case 14:
        return QPainter::RasterOp_SourceOrNotDestination; // R2_MERGEPENNOT
    default:
        return QPainter::CompositionMode_SourceOver; // R2_COPYPEN
    }
}

} // namespace

QPen GdiContext::imagePen() const
{
    const GdiPen &p = m_state.pen;
    if (p.isNull())
        return QPen(Qt::NoPen);
    const double scale = linearScale(logicalToImage());
    const double deviceScale = linearScale(m_deviceToImage);
    double width = p.isCosmetic() ? deviceScale : p.width * scale;
    width = std::clamp(std::isfinite(width) ? width : 1.0, 1.0, 4096.0);
    QPen pen(color(p.color), width);
    const bool geometric = p.style & GdiPen::Geometric;
    switch (p.style & GdiPen::CapMask) {
    case GdiPen::CapSquare:
        pen.setCapStyle(Qt::SquareCap);
        break;
    case GdiPen::CapFlat:
        pen.setCapStyle(Qt::FlatCap);
        break;
    default:
        pen.setCapStyle(geometric || width > 1.5 ? Qt::RoundCap : Qt::FlatCap);
        break;
    }
    switch (p.style & GdiPen::JoinMask) {
    case GdiPen::JoinBevel:
        pen.setJoinStyle(Qt::BevelJoin);
        break;
    case GdiPen::JoinMiter:
        pen.setJoinStyle(Qt::MiterJoin);
        pen.setMiterLimit(std::clamp(m_state.miterLimit, 1.0, 100.0));
        break;
    default:
        pen.setJoinStyle(Qt::RoundJoin);
        break;
    }
    // Old-style pens are dashed or dotted only while they stay one pixel
    // wide; wider ones draw solid.
    const bool styled = geometric || p.isCosmetic() || p.width * scale < 1.5;
    switch (styled ? p.style & GdiPen::StyleMask : quint32(GdiPen::Solid)) {
    case GdiPen::Dash:
        pen.setStyle(Qt::DashLine);
        break;
    case GdiPen::Dot:
    case GdiPen::Alternate:
        pen.setStyle(Qt::DotLine);
        break;
    case GdiPen::DashDot:
        pen.setStyle(Qt::DashDotLine);
        break;
    case GdiPen::DashDotDot:
        pen.setStyle(Qt::DashDotDotLine);
        break;
    case GdiPen::UserStyle: {
        QList<qreal> pattern;
        for (double d : p.dashes.mid(0, 16))
            pattern.append(std::clamp(d * scale / width, 0.1, 1000.0));
        if (pattern.size() % 2)
            pattern.append(pattern.last());
        if (!pattern.isEmpty())
            pen.setDashPattern(pattern);
        break;
    }
    default:
        break;
    }
    return pen;
}

QBrush GdiContext::imageBrush(const GdiBrush &b) const
{
    switch (b.style) {
    case GdiBrush::Null:
        return QBrush(Qt::NoBrush);
    case GdiBrush::Hatched: {
        static const Qt::BrushStyle hatches[] = { Qt::HorPattern, Qt::VerPattern, Qt::FDiagPattern,
            Qt::BDiagPattern, Qt::CrossPattern, Qt::DiagCrossPattern };
        return QBrush(color(b.color), b.hatch < 6 ? hatches[b.hatch] : Qt::SolidPattern);
    }
    case GdiBrush::Pattern:
    case GdiBrush::DibPattern:
    case GdiBrush::DibPatternPt:
        if (!b.pattern.isNull()) {
            QImage pattern = b.pattern;
            if (pattern.format() == QImage::Format_Mono || pattern.format() == QImage::Format_MonoLSB) {
                // Monochrome patterns take the text and background colours.
                pattern = pattern.convertToFormat(QImage::Format_Indexed8);
                pattern.setColorCount(2);
                pattern.setColor(0, color(m_state.textColor).rgb());
                pattern.setColor(1, color(m_state.bkColor).rgb());
            }
            return QBrush(pattern);
        }
        return QBrush(color(b.color));
    default:
        return QBrush(color(b.color));
    }
}

void GdiContext::applyRop2()
{
    bool skip, constant;
    QColor constColor;
    m_painter.setCompositionMode(rop2Mode(m_state.rop2, &skip, &constant, &constColor));
}

void GdiContext::drawImagePath(const QPainterPath &imagePath, bool fill, bool stroke)
{
    // Priced before anything that depends on the output size can skip it.
    const bool filling = fill && !m_state.brush.isNull();
    const bool stroking = stroke && !m_state.pen.isNull();
    const ShapePrice price = shapePrice(imagePath, filling, stroking);
    if (!countOps(
            PlayBudget::kRecord + double(imagePath.elementCount()) * PlayBudget::kPathElement + price.units)
        || imagePath.isEmpty())
        return;
    // Non-finite or astronomically distant points would only upset the rasteriser.
    const QRectF extent = imagePath.controlPointRect();
    if (!(std::abs(extent.left()) < 1e7 && std::abs(extent.right()) < 1e7 && std::abs(extent.top()) < 1e7
            && std::abs(extent.bottom()) < 1e7))
        return;
    bool skip, constant;
    QColor constColor;
    const QPainter::CompositionMode mode = rop2Mode(m_state.rop2, &skip, &constant, &constColor);
    if (skip)
        return;
    m_painter.resetTransform();
    applyClip();
    m_painter.setCompositionMode(mode);
    // Raster operations work on whole pixels; blending edges would smear them.
    const bool smooth = mode == QPainter::CompositionMode_SourceOver;
    m_painter.setRenderHint(QPainter::Antialiasing, smooth);
    const auto smoothIfAffordable = [this, smooth](double cost) {
        m_painter.setRenderHint(QPainter::Antialiasing, smooth && cost <= kMaxAntialiasingCost);
    };
    m_painter.setBackground(color(m_state.bkColor));
    m_painter.setBackgroundMode(m_state.bkMode == 2 ? Qt::OpaqueMode : Qt::TransparentMode);
    // The rasteriser walks the whole extent of what it fills or strokes, seen
    // or not: a polygon reaching thousands of pixels past the picture kept
    // play busy for seconds. A fill reaching well past the picture is cut to
    // it first (the cut changes no visible pixel).
    const QRectF page = QRectF(m_target->rect()).adjusted(-16, -16, 16, 16);
    // (Compared by sides: QRectF::contains is false for a straight line's empty extent.)
    const auto beyond = [&extent, &page](double margin) {
        const QRectF reach = page.adjusted(-margin, -margin, margin, margin);
        return extent.left() < reach.left() || extent.right() > reach.right() || extent.top() < reach.top()
            || extent.bottom() > reach.bottom();
    };
    if (filling) {
        QPainterPath filled = imagePath;
        filled.setFillRule(m_state.fillMode == 2 ? Qt::WindingFill : Qt::OddEvenFill);
        if (beyond(1024))
            filled = areaWithin(filled, page);
        const QBrush brush = constant ? QBrush(constColor) : imageBrush(m_state.brush);
        smoothIfAffordable(price.fillSteps);
        m_painter.fillPath(filled, brush);
        m_painter.setRenderHint(QPainter::Antialiasing, smooth);
    }
    if (stroking) {
        QPen pen = imagePen();
        if (constant)
            pen.setColor(constColor);
        const double w = pen.widthF();
        // A stroke reaching well past the picture is cut to it first, with
        // room to spare for its joins and caps, so only what shows is stroked.
        const double margin = 64 + w * std::max(2.0, pen.miterLimit());
        const QPainterPath lines = beyond(margin)
            ? linesWithin(imagePath, page.adjusted(-margin, -margin, margin, margin))
            : imagePath;
        // Wide pens over huge paths cost far more than anything a real
        // picture needs; such a stroke is left out rather than stall play.
        const double cost = double(lines.elementCount()) * (1 + w / 4);
        // The rasteriser's work grows with the area it covers: the length
        // times the width, and a join or cap of width squared at every point.
        // A 193-point polygon with a 4096-pixel pen once took minutes.
        const double length = lines.length();
        const double area = length * w + double(lines.elementCount()) * w * w;
        // Every dash is a shape of its own.
        const double dashes = pen.style() == Qt::SolidLine ? 0 : length / w;
        if (!lines.isEmpty() && cost <= kMaxStrokeCost && area <= kMaxStrokeArea
            && dashes <= kMaxStrokeCost) {
            smoothIfAffordable(price.strokeSteps);
            m_painter.strokePath(lines, pen);
        }
    }
    m_painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    m_painter.setBackgroundMode(Qt::TransparentMode);
}

void GdiContext::drawShape(const QPainterPath &logical, bool fill, bool stroke)
{
    if (m_inPath) {
        appendToPath(logical, false);
        return;
    }
    drawImagePath(toImage(logical), fill, stroke);
}

// ---- lines and curves ---------------------------------------------------

void GdiContext::moveTo(QPointF p)
{
    if (!finitePoint(p))
        return;
    m_state.currentPos = p;
    if (m_inPath)
        m_path.moveTo(logicalToImage().map(p));
}

void GdiContext::lineTo(QPointF p)
{
    if (!finitePoint(p))
        return;
    QPolygonF line;
    line << p;
    polylineTo(line);
}

void GdiContext::polyline(const QPolygonF &points)
{
    if (points.size() < 2 || points.size() > kMaxPoints)
        return;
    QPainterPath path;
    path.addPolygon(points);
    drawShape(path, false, true);
}

void GdiContext::polylineTo(const QPolygonF &points)
{
    if (points.isEmpty() || points.size() > kMaxPoints)
        return;
    if (m_inPath) {
        const QTransform t = logicalToImage();
        if (m_path.elementCount() == 0)
            m_path.moveTo(t.map(m_state.currentPos));
        for (QPointF p : points)
            m_path.lineTo(t.map(p));
    } else {
        QPainterPath path(m_state.currentPos);
        for (QPointF p : points)
            path.lineTo(p);
        drawShape(path, false, true);
    }
    m_state.currentPos = points.last();
}

void GdiContext::polyPolyline(const QList<QPolygonF> &lines)
{
    QPainterPath path;
    for (const QPolygonF &line : lines) {
        if (line.size() >= 2)
            path.addPolygon(line);
    }
    drawShape(path, false, true);
}

void GdiContext::polyBezier(const QPolygonF &points)
{
    if (points.size() < 4 || points.size() > kMaxPoints)
        return;
    QPainterPath path(points[0]);
    for (qsizetype i = 1; i + 2 < points.size(); i += 3)
        path.cubicTo(points[i], points[i + 1], points[i + 2]);
    drawShape(path, false, true);
}

void GdiContext::polyBezierTo(const QPolygonF &points)
{
    if (points.size() < 3 || points.size() > kMaxPoints)
        return;
    QPainterPath path(m_state.currentPos);
    for (qsizetype i = 0; i + 2 < points.size(); i += 3)
        path.cubicTo(points[i], points[i + 1], points[i + 2]);
    if (m_inPath)
        appendToPath(path, true);
    else
        drawShape(path, false, true);
    m_state.currentPos = points[(points.size() / 3) * 3 - 1];
}

void GdiContext::polyDraw(const QPolygonF &points, const QByteArray &types)
{
    if (points.size() != types.size() || points.size() > kMaxPoints)
        return;
    QPainterPath path(m_state.currentPos);
    for (qsizetype i = 0; i < points.size(); ++i) {
        const int type = quint8(types[i]);
        switch (type & ~1) {
        case 6:
            path.moveTo(points[i]);
            break;
        case 2:
            path.lineTo(points[i]);
            break;
        case 4:
            if (i + 2 < points.size()) {
                path.cubicTo(points[i], points[i + 1], points[i + 2]);
                i += 2;
            }
            break;
        default:
            return;
        }
        if (type & 1)
            path.closeSubpath();
    }
    if (m_inPath)
        appendToPath(path, true);
    else
        drawShape(path, false, true);
    if (!points.isEmpty())
        m_state.currentPos = points.last();
}

// kind: 0 arc, 1 chord, 2 pie, 3 arc from the current position (ArcTo).
QPainterPath GdiContext::arcPath(const QRectF &box0, QPointF start, QPointF end, int kind) const
{
    const QRectF box = box0.normalized();
    QPainterPath path;
    if (!finiteRect(box) || !finitePoint(start) || !finitePoint(end) || box.width() <= 0 || box.height() <= 0)
        return path;
    const QPointF c = box.center();
    const double a = box.width() / 2, b = box.height() / 2;
    // Parametric angles of the rays' crossings, measured as seen on the page:
    // when the logical y axis points up, the picture is mirrored vertically.
    const bool flipped = logicalToImage().determinant() < 0;
    auto angle = [&](QPointF p) {
        const double dy = (p.y() - c.y()) / b;
        const double deg = qRadiansToDegrees(std::atan2(-dy, (p.x() - c.x()) / a));
        return std::isfinite(deg) ? deg : 0.0;
    };
    const double a0 = angle(start), a1 = angle(end);
    bool counterClockwise = m_state.arcDirection != 2;
    if (flipped)
        counterClockwise = !counterClockwise;
    double sweep = counterClockwise ? a1 - a0 : a0 - a1;
    while (sweep <= 0)
        sweep += 360;
    while (sweep > 360)
        sweep -= 360;
    if (std::abs(a1 - a0) < 1e-9)
        sweep = 360;
    if (!counterClockwise)
        sweep = -sweep;
    if (kind == 2) {
        path.moveTo(c);
        path.arcTo(box, a0, sweep);
        path.closeSubpath();
    } else if (kind == 3) {
        path.moveTo(m_state.currentPos);
        path.arcTo(box, a0, sweep);
    } else {
        path.arcMoveTo(box, a0);
        path.arcTo(box, a0, sweep);
        if (kind == 1)
            path.closeSubpath();
    }
    return path;
}

void GdiContext::arc(const QRectF &box, QPointF start, QPointF end)
{
    drawShape(arcPath(box, start, end, 0), false, true);
}

void GdiContext::arcTo(const QRectF &box, QPointF start, QPointF end)
{
    const QPainterPath path = arcPath(box, start, end, 3);
    if (path.isEmpty())
        return;
    if (m_inPath)
        appendToPath(path, true);
    else
        drawShape(path, false, true);
    m_state.currentPos = path.currentPosition();
}

void GdiContext::angleArc(QPointF centre, double radius, double startDeg, double sweepDeg)
{
    if (!finitePoint(centre) || !std::isfinite(radius) || !std::isfinite(startDeg)
        || !std::isfinite(sweepDeg))
        return;
    const QRectF box(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
    QPainterPath path(m_state.currentPos);
    path.arcTo(box, startDeg, std::clamp(sweepDeg, -3600.0, 3600.0));
    if (m_inPath)
        appendToPath(path, true);
    else
        drawShape(path, false, true);
    m_state.currentPos = path.currentPosition();
}

// ---- filled shapes ------------------------------------------------------

void GdiContext::polygon(const QPolygonF &points)
{
    if (points.size() < 2 || points.size() > kMaxPoints)
        return;
    QPainterPath path;
    path.addPolygon(points);
    path.closeSubpath();
    drawShape(path, true, true);
}

void GdiContext::polyPolygon(const QList<QPolygonF> &polygons)
{
    QPainterPath path;
    for (const QPolygonF &poly : polygons) {
        if (poly.size() >= 2) {
            path.addPolygon(poly);
            path.closeSubpath();
        }
    }
    drawShape(path, true, true);
}

void GdiContext::rectangle(const QRectF &box)
{
    if (!finiteRect(box))
        return;
    QPainterPath path;
    path.addRect(box.normalized());
    drawShape(path, true, true);
}

void GdiContext::roundRect(const QRectF &box, QSizeF corner)
{
    if (!finiteRect(box) || !std::isfinite(corner.width()) || !std::isfinite(corner.height()))
        return;
    QPainterPath path;
    const QRectF r = box.normalized();
    path.addRoundedRect(r, std::min(std::abs(corner.width()) / 2, r.width() / 2),
        std::min(std::abs(corner.height()) / 2, r.height() / 2));
    drawShape(path, true, true);
}

void GdiContext::ellipse(const QRectF &box)
{
    if (!finiteRect(box))
        return;
    QPainterPath path;
    path.addEllipse(box.normalized());
    drawShape(path, true, true);
}

void GdiContext::chord(const QRectF &box, QPointF start, QPointF end)
{
    drawShape(arcPath(box, start, end, 1), true, true);
}

void GdiContext::pie(const QRectF &box, QPointF start, QPointF end)
{
    drawShape(arcPath(box, start, end, 2), true, true);
}

void GdiContext::setPixel(QPointF p, ColorRef c)
{
    if (!finitePoint(p) || !countOps())
        return;
    const QPointF q = logicalToImage().map(p);
    m_painter.resetTransform();
    applyClip();
    m_painter.fillRect(QRectF(std::floor(q.x()), std::floor(q.y()), 1, 1), color(c));
}

// ---- regions ----------------------------------------------

// Regions are sets of pixels: their rectangles fill by parity whatever the
// polygon fill mode says.
void GdiContext::fillImageRegion(const QPainterPath &imagePath, const GdiBrush &brush)
{
    const GdiBrush saved = m_state.brush;
    const GdiPen savedPen = m_state.pen;
    const int savedFillMode = m_state.fillMode;
    m_state.brush = brush;
    m_state.pen.style = GdiPen::Null;
    m_state.fillMode = 1;
    drawImagePath(imagePath, true, false);
    m_state.brush = saved;
    m_state.pen = savedPen;
    m_state.fillMode = savedFillMode;
}

void GdiContext::fillRegion(const GdiRegion &region, const GdiBrush &brush)
{
    fillImageRegion(regionToImage(region), brush);
}

void GdiContext::frameRegion(const GdiRegion &region, const GdiBrush &brush, QSizeF size)
{
    const QPainterPath outer = regionToImage(region);
    const QTransform t = logicalToImage();
    const double w = std::abs(size.width() * t.m11()) + 0.5, h = std::abs(size.height() * t.m22()) + 0.5;
    QPainterPath inner;
    for (const QPolygonF &poly : outer.toFillPolygons()) {
        const QRectF r = poly.boundingRect().adjusted(w, h, -w, -h);
        if (r.isValid())
            inner.addRect(r);
    }
    fillImageRegion(outer.subtracted(inner), brush);
}

void GdiContext::invertRegion(const GdiRegion &region)
{
    const int rop2 = m_state.rop2;
    m_state.rop2 = 6; // R2_NOT
    fillRegion(region, std::get<GdiBrush>(stockObject(int(StockObject::BlackBrush))));
    m_state.rop2 = rop2;
}

void GdiContext::paintRegion(const GdiRegion &region)
{
    fillRegion(region, m_state.brush);
}

} // namespace vm

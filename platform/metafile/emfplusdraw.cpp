// EMF+ drawing: brushes and pens onto the painter, and the Fill and Draw
// records of rectangles, polygons, lines, ellipses, pies, arcs, regions,
// paths and Béziers, and Clear.
#include "platform/metafile/emfplusplayer.h"

#include "platform/metafile/pathclip.h"

#include <QPainter>

#include <cmath>
#include <utility>

namespace vm {

namespace {

// Beyond these a single fill or stroke is left out rather than stall play,
// as the GDI side does.
constexpr double kMaxExtent = 1e7; // image pixels from the origin
constexpr double kMaxStrokeArea = 2e8; // image pixels a stroke may cover
constexpr double kMaxElements = 1e6; // path elements of one fill or stroke
constexpr double kMaxCompoundDashes = 1e5; // dashes of one compound stroke
constexpr int kMaxCutElements
    = 20000; // beyond this a fill is not cut to the page (path operations grow fast)

// The line `distance` to the left of each figure of `polygons` (to the
// right when negative), its corners mitred as far as `miterLimit` allows and
// bevelled beyond. A figure whose last point is its first stays closed.
QPainterPath offsetFigures(const QList<QPolygonF> &polygons, double distance, double miterLimit)
{
    QPainterPath out;
    for (const QPolygonF &figure : polygons) {
        QPolygonF points;
        for (const QPointF &pt : figure) {
            if (points.isEmpty() || QLineF(points.last(), pt).length() > 1e-9)
                points.append(pt);
        }
        const bool closed = points.size() > 2 && QLineF(points.first(), points.last()).length() <= 1e-9;
        if (closed)
            points.removeLast();
        const qsizetype n = points.size();
        if (n < 2)
            continue;
        const auto normal = [&](qsizetype i) {
            const QPointF d = points[(i + 1) % n] - points[i];
            const double length = std::hypot(d.x(), d.y());
            return QPointF(d.y(), -d.x()) / length;
        };
        QPolygonF shifted;
        for (qsizetype i = 0; i < n; ++i) {
            const bool ends = !closed && (i == 0 || i == n - 1);
            const QPointF before = closed || i > 0 ? normal((i - 1 + n) % n) : normal(0);
            const QPointF after = closed || i < n - 1 ? normal(i) : before;
            if (ends) {
                shifted.append(points[i] + distance * (i == 0 ? after : before));
                continue;
            }
            const double cosine = QPointF::dotProduct(before, after);
            const double reach = std::sqrt(std::max(0.0, 2 / (1 + cosine))); // the mitre's length
            if (cosine > -0.999 && reach <= std::max(miterLimit, 1.0)) {
                shifted.append(points[i] + distance * (before + after) / (1 + cosine));
            } else {
                shifted.append(points[i] + distance * before);
                shifted.append(points[i] + distance * after);
            }
        }
        if (closed)
            shifted.append(shifted.first());
        out.addPolygon(shifted);
    }
    return out;
}

// The dashes of `figures` as open figures of their own: `pattern` holds
// the lengths of dash, gap, dash, ..., and the first dash starts `offset`
// into it.
QList<QPolygonF> dashFigures(const QList<QPolygonF> &figures, const QList<qreal> &pattern, double offset)
{
    double period = 0;
    for (qreal d : pattern)
        period += d;
    QList<QPolygonF> dashes;
    if (period <= 0)
        return dashes;
    for (const QPolygonF &figure : figures) {
        qsizetype at = 0;
        double into = std::fmod(std::max(offset, 0.0), period);
        while (into >= pattern[at]) {
            into -= pattern[at];
            at = (at + 1) % pattern.size();
        }
        QPolygonF dash;
        if (at % 2 == 0 && !figure.isEmpty())
            dash.append(figure.first());
        for (qsizetype i = 1; i < figure.size(); ++i) {
            QPointF from = figure[i - 1];
            double left = QLineF(from, figure[i]).length();
            while (left > 0) {
                const double step = std::min(left, pattern[at] - into);
                const QPointF to = from + (figure[i] - from) * (step / left);
                if (at % 2 == 0)
                    dash.append(to);
                from = to;
                left -= step;
                into += step;
                if (into >= pattern[at]) {
                    into = 0;
                    at = (at + 1) % pattern.size();
                    if (at % 2 == 1 && dash.size() > 1)
                        dashes.append(std::exchange(dash, {}));
                    else if (at % 2 == 0)
                        dash = QPolygonF { from };
                }
            }
        }
        if (at % 2 == 0 && dash.size() > 1)
            dashes.append(dash);
    }
    return dashes;
}

Qt::BrushStyle hatchPattern(quint32 hatch)
{
    switch (hatch) {
    case 0:
    case 25:
    case 27:
    case 29:
    case 32:
        return Qt::HorPattern;
    case 1:
    case 24:
    case 26:
    case 28:
    case 33:
        return Qt::VerPattern;
    case 2:
    case 18:
    case 20:
    case 22:
    case 30:
        return Qt::FDiagPattern;
    case 3:
    case 19:
    case 21:
    case 23:
    case 31:
        return Qt::BDiagPattern;
    case 4:
    case 41:
    case 45:
        return Qt::CrossPattern;
    case 5:
    case 44:
        return Qt::DiagCrossPattern;
    case 6:
        return Qt::Dense7Pattern;
    case 7:
        return Qt::Dense6Pattern;
    case 8:
    case 9:
    case 10:
        return Qt::Dense5Pattern;
    case 11:
    case 12:
    case 13:
        return Qt::Dense4Pattern;
    case 14:
    case 15:
        return Qt::Dense3Pattern;
    case 16:
        return Qt::Dense2Pattern;
    case 17:
        return Qt::Dense1Pattern;
    default:
        return Qt::Dense4Pattern; // checker boards, weaves, shingles...
    }
}

bool within(const QRectF &r, double limit)
{
    return std::abs(r.left()) < limit && std::abs(r.right()) < limit && std::abs(r.top()) < limit
        && std::abs(r.bottom()) < limit;
}

double scaleOf(const QTransform &t)
{
    return std::sqrt(std::abs(t.determinant()));
}

// GDI+ gives arc angles on the ellipse as drawn, QPainterPath along the
// circle it is stretched from; this turns one into the other.
double unstretch(double degrees, const QRectF &box)
{
    const double a = qDegreesToRadians(degrees);
    return qRadiansToDegrees(std::atan2(box.width() * std::sin(a), box.height() * std::cos(a)));
}

// An arc or pie of the ellipse in `box`, GDI+ angles (degrees, clockwise
// from the x axis, measured on the ellipse as drawn).
QPainterPath arcPath(const QRectF &box, double startAngle, double sweepAngle, bool pie)
{
    const double start = unstretch(startAngle, box);
    double sweep = std::abs(sweepAngle) >= 360 ? std::copysign(360.0, sweepAngle)
                                               : unstretch(startAngle + sweepAngle, box) - start;
    if (sweepAngle > 0 && sweep < 0)
        sweep += 360;
    else if (sweepAngle < 0 && sweep > 0)
        sweep -= 360;
    QPainterPath path;
    if (pie)
        path.moveTo(box.center());
    else
        path.arcMoveTo(box, -start);
    path.arcTo(box, -start, -sweep);
    if (pie)
        path.closeSubpath();
    return path;
}

} // namespace

// ---- painting -------------------------------------------------------------

bool EmfPlusPlayer::beginDraw()
{
    QPainter &p = m_dc.painter();
    if (!p.isActive() || (m_state.clip && m_state.clip->isEmpty()))
        return false;
    p.save();
    p.resetTransform();
    if (m_state.clip)
        p.setClipPath(*m_state.clip);
    else
        p.setClipping(false);
    p.setRenderHint(QPainter::Antialiasing, m_state.antialias);
    p.setRenderHint(QPainter::SmoothPixmapTransform, m_state.smoothImages);
    p.setCompositionMode(
        m_state.sourceCopy ? QPainter::CompositionMode_Source : QPainter::CompositionMode_SourceOver);
    p.setBackgroundMode(Qt::TransparentMode);
    return true;
}

void EmfPlusPlayer::endDraw()
{
    m_dc.painter().restore();
}

QBrush EmfPlusPlayer::imageBrush(const EmfPlusBrush &b, const QTransform &worldToImage) const
{
    QBrush brush;
    switch (b.type) {
    case EmfPlusBrush::Solid:
        return QBrush(b.color);
    case EmfPlusBrush::Hatch: {
        // Hatches are a pattern of device pixels starting at the rendering origin.
        brush = QBrush(b.color, hatchPattern(b.hatch));
        const QPointF origin = m_dc.deviceToImage().map(m_state.renderingOrigin);
        brush.setTransform(QTransform::fromTranslate(origin.x(), origin.y()));
        return brush;
    }
    case EmfPlusBrush::LinearGradient: {
        if (b.rect.width() == 0)
            return QBrush(b.color);
        QLinearGradient g(QPointF(b.rect.left(), 0), QPointF(b.rect.right(), 0));
        g.setStops(b.stops);
        g.setSpread(b.spread);
        brush = QBrush(g);
        break;
    }
    case EmfPlusBrush::PathGradient: {
        // A radial gradient stretched over the boundary from its centre.
        const QRectF box = b.boundary.boundingRect();
        const double rx
            = std::max({ std::abs(box.left() - b.centre.x()), std::abs(box.right() - b.centre.x()), 1e-3 });
        const double ry
            = std::max({ std::abs(box.top() - b.centre.y()), std::abs(box.bottom() - b.centre.y()), 1e-3 });
        QRadialGradient g(QPointF(0, 0), 1);
        g.setStops(b.stops);
        g.setSpread(QGradient::PadSpread);
        brush = QBrush(g);
        brush.setTransform(QTransform::fromScale(rx, ry)
            * QTransform::fromTranslate(b.centre.x(), b.centre.y()) * b.transform * worldToImage);
        return brush;
    }
    case EmfPlusBrush::Texture:
        if (b.texture.isNull())
            return QBrush(Qt::NoBrush);
        brush = QBrush(b.texture);
        break;
    }
    brush.setTransform(b.transform * worldToImage);
    return brush;
}

QPen EmfPlusPlayer::imagePen(const EmfPlusPen &pen, const QTransform &worldToImage) const
{
    // Width in world units: a pen in another unit keeps its size on the
    // device whatever the world transform.
    double width = pen.width;
    if (pen.unit != UnitWorld) {
        const double device = scaleOf(worldToDevice());
        width = device > 0 ? width * unitScale(pen.unit) / device : 0;
    }
    if (!pen.transform.isIdentity() && std::isfinite(pen.transform.determinant()))
        width *= std::min(scaleOf(pen.transform), 1e4);
    QPen qpen(imageBrush(pen.brush, QTransform()), width);
    // A pen thinner than a pixel still draws one pixel wide.
    if (width * scaleOf(worldToImage) < 1) {
        qpen.setCosmetic(true);
        qpen.setWidthF(1);
    }
    qpen.setCapStyle(pen.cap);
    qpen.setJoinStyle(pen.join);
    qpen.setMiterLimit(pen.miterLimit);
    QList<qreal> dashes;
    switch (pen.lineStyle) {
    case 1:
        dashes = { 3, 1 };
        break;
    case 2:
        dashes = { 1, 1 };
        break;
    case 3:
        dashes = { 3, 1, 1, 1 };
        break;
    case 4:
        dashes = { 3, 1, 1, 1, 1, 1 };
        break;
    case 5:
        dashes = pen.dashes;
        break;
    default:
        break;
    }
    if (dashes.size() % 2)
        dashes += dashes;
    double total = 0;
    for (qreal &d : dashes) {
        d = std::max<qreal>(d, 0.01); // zero-length dashes would stall the stroker
        total += d;
    }
    if (!dashes.isEmpty() && total > 0) {
        qpen.setDashPattern(dashes);
        qpen.setDashOffset(pen.dashOffset);
    }
    return qpen;
}

void EmfPlusPlayer::fillWorld(const QPainterPath &path, const EmfPlusBrush &brush)
{
    const QTransform xf = worldToImage();
    QPainterPath image = xf.map(path);
    if (image.isEmpty() || image.elementCount() > kMaxElements
        || !within(image.controlPointRect(), kMaxExtent))
        return;
    if (brush.type == EmfPlusBrush::Texture && brush.texture.isNull())
        return; // textures come with the image family
    // A fill reaching far past the picture is cut to it first.
    const QRectF page = QRectF(m_dc.target()->rect()).adjusted(-16, -16, 16, 16);
    if (!page.adjusted(-1024, -1024, 1024, 1024).contains(image.controlPointRect())) {
        if (image.elementCount() > kMaxCutElements)
            return;
        image = areaWithin(image, page);
    }
    if (!m_dc.chargeDrawing(image, 0) || !beginDraw())
        return;
    QPainter &p = m_dc.painter();
    // A path gradient paints only inside its boundary.
    if (brush.type == EmfPlusBrush::PathGradient)
        p.setClipPath(xf.map(brush.boundary), m_state.clip ? Qt::IntersectClip : Qt::ReplaceClip);
    if (brush.type == EmfPlusBrush::Hatch)
        p.fillPath(image, brush.background);
    p.fillPath(image, imageBrush(brush, xf));
    endDraw();
}

void EmfPlusPlayer::strokeWorld(const QPainterPath &path, const EmfPlusPen &pen, bool closedShape)
{
    const QTransform xf = worldToImage();
    const QPainterPath image = xf.map(path);
    if (image.isEmpty() || image.elementCount() > kMaxElements
        || !within(image.controlPointRect(), kMaxExtent))
        return;
    QPen qpen = imagePen(pen, xf);
    // Priced from the width on the recording device, at least a device
    // pixel, so the work is the same at every output size.
    // (whether the image pen turned cosmetic depends on the output size).
    double deviceWidth
        = pen.unit == UnitWorld ? pen.width * scaleOf(worldToDevice()) : pen.width * unitScale(pen.unit);
    if (!pen.transform.isIdentity() && std::isfinite(pen.transform.determinant()))
        deviceWidth *= std::min(scaleOf(pen.transform), 1e4);
    deviceWidth = std::isfinite(deviceWidth) ? std::max(1.0, deviceWidth) : 1.0;
    const double w = deviceWidth * scaleOf(m_dc.deviceToImage());
    const double length = image.length();
    const double dashes = qpen.style() == Qt::SolidLine || w <= 0 ? 0 : length / w;
    if (length * w + image.elementCount() * w * w > kMaxStrokeArea || dashes > kMaxElements)
        return;
    if (!m_dc.chargeDrawing(image, w) || !m_dc.charge(dashes * PlayBudget::kPathElement) || !beginDraw())
        return;
    QPainter &p = m_dc.painter();
    p.setTransform(xf);
    // A compound pen is always centred on the line, as GDI+ draws it.
    if (pen.inset && closedShape && !qpen.isCosmetic() && pen.compound.isEmpty()) {
        // An inset pen lies inside the shape: twice as wide, clipped to it.
        p.setClipPath(path, m_state.clip ? Qt::IntersectClip : Qt::ReplaceClip);
        qpen.setWidthF(qpen.widthF() * 2);
    }
    if (!pen.compound.isEmpty() && !qpen.isCosmetic() && xf.isInvertible())
        strokeCompound(path, pen, qpen);
    else
        p.strokePath(path, qpen);
    if (!closedShape && (!pen.startCap.isEmpty() || !pen.endCap.isEmpty()))
        drawCaps(path, pen, qpen);
    endDraw();
}

void EmfPlusPlayer::strokeCompound(const QPainterPath &path, const EmfPlusPen &pen, const QPen &qpen)
{
    // Each stripe is a line of its own width along the figure's parallel
    // through the stripe's middle. The figures are flattened on the
    // picture, so curves stay smooth whatever the world's units.
    const QTransform xf = worldToImage();
    const QList<QPolygonF> figures = [&] {
        QList<QPolygonF> flat = path.toSubpathPolygons(xf);
        const QTransform back = xf.inverted();
        for (QPolygonF &figure : flat)
            figure = back.map(figure);
        return flat;
    }();
    qsizetype points = 0;
    for (const QPolygonF &figure : figures)
        points += figure.size();
    const qsizetype stripes = pen.compound.size() / 2;
    if (double(points) * double(stripes) > kMaxElements
        || !m_dc.charge(double(points) * double(stripes) * PlayBudget::kPathElement))
        return;
    const double width = qpen.widthF();
    // Dashed, the figure is cut into dashes first, so that the stripes'
    // dashes stay side by side round corners.
    QList<QPolygonF> lines = figures;
    QPen solid = qpen;
    if (qpen.style() != Qt::SolidLine) {
        QList<qreal> pattern = qpen.dashPattern();
        double period = 0, length = 0;
        for (qreal &d : pattern)
            period += (d *= width);
        for (const QPolygonF &figure : figures) {
            for (qsizetype i = 1; i < figure.size(); ++i)
                length += QLineF(figure[i - 1], figure[i]).length();
        }
        // Each dash becomes a figure of its own; past a bound, the stripes
        // are drawn as one dashed line.
        const double count = period > 0 ? length / period * double(pattern.size()) / 2 : 0;
        if (!(count <= kMaxCompoundDashes)) {
            m_dc.painter().strokePath(path, qpen);
            return;
        }
        if (!m_dc.charge(count * double(stripes) * 2 * PlayBudget::kPathElement))
            return;
        lines = dashFigures(figures, pattern, qpen.dashOffset() * width);
        solid.setStyle(Qt::SolidLine);
    }
    QPainter &p = m_dc.painter();
    for (qsizetype i = 0; i + 1 < pen.compound.size(); i += 2) {
        const double from = pen.compound[i], to = pen.compound[i + 1];
        if (to <= from)
            continue;
        QPen stripe = solid;
        stripe.setWidthF(width * (to - from));
        p.strokePath(offsetFigures(lines, width * ((from + to) / 2 - 0.5), pen.miterLimit), stripe);
    }
}

void EmfPlusPlayer::drawCaps(const QPainterPath &path, const EmfPlusPen &pen, const QPen &qpen)
{
    // At both ends of every open figure, the cap's shape turned along the
    // line and scaled by the pen's width.
    const double width = qpen.isCosmetic() ? 1 / std::max(scaleOf(worldToImage()), 1e-9) : qpen.widthF();
    QPainter &p = m_dc.painter();
    const auto place = [&](const EmfPlusCap &cap, QPointF end, QPointF from) {
        QPointF d = end - from;
        const double length = std::hypot(d.x(), d.y());
        if (cap.isEmpty() || length <= 0)
            return;
        d /= length;
        const double s = width * cap.widthScale;
        const QTransform toWorld(-d.y() * s, d.x() * s, d.x() * s, d.y() * s, end.x(), end.y());
        if (!cap.fill.isEmpty())
            p.fillPath(toWorld.map(cap.fill), qpen.brush());
        if (!cap.line.isEmpty())
            p.strokePath(toWorld.map(cap.line), qpen);
    };
    const int n = path.elementCount();
    for (int start = 0; start < n;) {
        int end = start + 1;
        while (end < n && path.elementAt(end).type != QPainterPath::MoveToElement)
            ++end;
        if (end - start >= 2 && m_dc.charge(4 * PlayBudget::kRecord)) {
            // The neighbours that give each end its direction.
            int second = start + 1, before = end - 2;
            while (second < end - 1 && QPointF(path.elementAt(second)) == QPointF(path.elementAt(start)))
                ++second;
            while (before > start && QPointF(path.elementAt(before)) == QPointF(path.elementAt(end - 1)))
                --before;
            place(pen.startCap, path.elementAt(start), path.elementAt(second));
            place(pen.endCap, path.elementAt(end - 1), path.elementAt(before));
        }
        start = end;
    }
}

// ---- records --------------------------------------------------------------

EmfPlusResult EmfPlusPlayer::clearRecord(const EmfPlusRecord &r)
{
    const QColor color = r.data.argb(0);
    if (!r.data.ok())
        return EmfPlusResult::Stop;
    QPainterPath page;
    page.addRect(m_dc.target()->rect());
    if (m_dc.chargeDrawing(page, 0) && beginDraw()) {
        QPainter &p = m_dc.painter();
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.fillRect(m_dc.target()->rect(), color);
        endDraw();
    }
    return EmfPlusResult::Done;
}

// Adds to `path` the rectangles a record stores at `at` after their count:
// 16-bit integers or floats. False when they do not fit.
static bool addRects(const EmfPlusReader &d, qint64 at, bool int16, QPainterPath *path)
{
    const quint32 count = d.u32(at);
    const qint64 each = int16 ? 8 : 16;
    if (count > kEmfPlusMaxPoints || !d.need(at + 4, qint64(count) * each))
        return false;
    for (quint32 i = 0; i < count; ++i)
        path->addRect(int16 ? d.rect16(at + 4 + i * each) : d.rectF(at + 4 + i * each));
    return true;
}

EmfPlusResult EmfPlusPlayer::fillRecord(const EmfPlusRecord &r)
{
    const EmfPlusReader &d = r.data;
    const bool int16 = r.flags & FlagInt16;
    const std::optional<EmfPlusBrush> brush = brushOf(r.flags, d.u32(0));
    if (!d.ok())
        return EmfPlusResult::Stop;
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    switch (r.type) {
    case EmfPlusFillRects:
        if (!addRects(d, 4, int16, &path))
            return EmfPlusResult::Stop;
        break;
    case EmfPlusFillPolygon: {
        QPolygonF points;
        if (readEmfPlusPoints(d, 8, d.u32(4), int16, r.flags & FlagRelative, &points) < 0)
            return EmfPlusResult::Stop;
        path.setFillRule(Qt::OddEvenFill);
        path.addPolygon(points);
        path.closeSubpath();
        break;
    }
    case EmfPlusFillEllipse:
        path.addEllipse(int16 ? d.rect16(4) : d.rectF(4));
        break;
    case EmfPlusFillPie:
        path = arcPath(int16 ? d.rect16(12) : d.rectF(12), d.f32(4), d.f32(8), true);
        break;
    case EmfPlusFillRegion: {
        const EmfPlusRegion *region = m_objects.find<EmfPlusRegion>(r.flags & 0xFF);
        if (!region)
            return EmfPlusResult::NotDrawn;
        path = region->infinite ? worldToImage().inverted().map(everywhere()) : region->path;
        break;
    }
    case EmfPlusFillPath: {
        const QPainterPath *stored = m_objects.find<QPainterPath>(r.flags & 0xFF);
        if (!stored)
            return EmfPlusResult::NotDrawn;
        path = *stored;
        path.setFillRule(Qt::OddEvenFill);
        break;
    }
    default:
        return EmfPlusResult::NotDrawn;
    }
    if (!d.ok())
        return EmfPlusResult::Stop;
    if (!brush)
        return EmfPlusResult::NotDrawn;
    fillWorld(path, *brush);
    return EmfPlusResult::Done;
}

EmfPlusResult EmfPlusPlayer::drawRecord(const EmfPlusRecord &r)
{
    const EmfPlusReader &d = r.data;
    const bool int16 = r.flags & FlagInt16;
    const quint8 objectId = r.flags & 0xFF;
    QPainterPath path;
    bool closed = true;
    quint32 penId = objectId;
    switch (r.type) {
    case EmfPlusDrawRects:
        if (!addRects(d, 0, int16, &path))
            return EmfPlusResult::Stop;
        break;
    case EmfPlusDrawLines:
    case EmfPlusDrawBeziers: {
        QPolygonF points;
        if (readEmfPlusPoints(d, 4, d.u32(0), int16, r.flags & FlagRelative, &points) < 0)
            return EmfPlusResult::Stop;
        if (points.isEmpty())
            return EmfPlusResult::NotDrawn;
        path.moveTo(points[0]);
        if (r.type == EmfPlusDrawLines) {
            for (qsizetype i = 1; i < points.size(); ++i)
                path.lineTo(points[i]);
            closed = r.flags & FlagClosed;
            if (closed)
                path.closeSubpath();
        } else {
            for (qsizetype i = 1; i + 2 < points.size(); i += 3)
                path.cubicTo(points[i], points[i + 1], points[i + 2]);
            closed = false;
        }
        break;
    }
    case EmfPlusDrawEllipse:
        path.addEllipse(int16 ? d.rect16(0) : d.rectF(0));
        break;
    case EmfPlusDrawPie:
    case EmfPlusDrawArc:
        path = arcPath(int16 ? d.rect16(8) : d.rectF(8), d.f32(0), d.f32(4), r.type == EmfPlusDrawPie);
        closed = r.type == EmfPlusDrawPie;
        break;
    case EmfPlusDrawPath: {
        penId = d.u32(0);
        const QPainterPath *stored = m_objects.find<QPainterPath>(objectId);
        if (!d.ok())
            return EmfPlusResult::Stop;
        if (!stored)
            return EmfPlusResult::NotDrawn;
        path = *stored;
        closed = false;
        break;
    }
    default:
        return EmfPlusResult::NotDrawn;
    }
    if (!d.ok())
        return EmfPlusResult::Stop;
    const EmfPlusPen *pen = m_objects.find<EmfPlusPen>(penId);
    if (!pen)
        return EmfPlusResult::NotDrawn;
    strokeWorld(path, *pen, closed);
    return EmfPlusResult::Done;
}

} // namespace vm

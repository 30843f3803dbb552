// Bitmaps and raster operations. A plain copy goes through QPainter (which
// also handles rotation and the clip); any other ternary raster operation is
// worked out here on 32-bit pixels, since QPainter's composition modes only
// cover two operands.
#include "platform/metafile/gdicontext.h"
#include "platform/rasterop.h"

#include <QLinearGradient>

#include <cmath>

namespace vm {

namespace {

constexpr quint32 kPatCopy = 0xF0;
constexpr quint32 kDstCopy = 0xAA;
// Raster operations work through the page in bands of rows, so their
// scratch images stay small however large the page.
constexpr int kBandRows = 256;

// Applies a ternary raster operation (its truth-table byte) bitwise to
// pattern, source and destination words.
inline quint32 ternary(quint32 rop3, quint32 p, quint32 s, quint32 d)
{
    switch (rop3) {
    case 0x00:
        return 0;
    case 0xFF:
        return 0xFFFFFFFF;
    case 0xCC:
        return s;
    case 0xF0:
        return p;
    case 0xAA:
        return d;
    case 0x88:
        return s & d; // SRCAND
    case 0xEE:
        return s | d; // SRCPAINT
    case 0x66:
        return s ^ d; // SRCINVERT
    case 0x44:
        return s & ~d; // SRCERASE
    case 0x33:
        return ~s; // NOTSRCCOPY
    case 0x11:
        return ~(s | d); // NOTSRCERASE
    case 0xC0:
        return p & s; // MERGECOPY
    case 0xBB:
        return ~s | d; // MERGEPAINT
    case 0x5A:
        return p ^ d; // PATINVERT
    case 0x55:
        return ~d; // DSTINVERT
    case 0xB8:
        return ((d ^ p) & s) ^ p; // PSDPxax: where the source is set take the destination
    case 0xE2:
        return ((p ^ d) & s) ^ d; // DSPDxax
    default:
        break;
    }
    quint32 r = 0;
    for (int i = 0; i < 8; ++i) {
        if (rop3 & (1u << i))
            r |= ((i & 4) ? p : ~p) & ((i & 2) ? s : ~s) & ((i & 1) ? d : ~d);
    }
    return r;
}

bool usesSource(quint32 rop3)
{
    return ((rop3 >> 2) & 0x33) != (rop3 & 0x33);
}

bool finiteRect(const QRectF &r)
{
    return std::isfinite(r.x()) && std::isfinite(r.y()) && std::isfinite(r.width())
        && std::isfinite(r.height()) && std::abs(r.x()) < 1e9 && std::abs(r.y()) < 1e9
        && std::abs(r.width()) < 1e9 && std::abs(r.height()) < 1e9;
}

} // namespace

void GdiContext::rasterBlit(const QRect &imageRect, const QImage *source, quint32 rop)
{
    const QRect rect = imageRect.intersected(m_target->rect());
    if (rect.isEmpty())
        return;
    const quint32 rop3 = (rop >> 16) & 0xFF;
    // Charged by the callers, on the unrounded rectangle: whole image
    // pixels and the number of bands depend on the output size.
    if (!countOps(0))
        return;
    // Pattern: the brush, tiled from the device origin.
    quint32 solidPattern = color(m_state.brush.color).rgb() & 0xFFFFFF;
    QImage patternImage;
    if (m_state.brush.isNull()) {
        solidPattern = 0;
    } else if (m_state.brush.style == GdiBrush::Hatched) {
        solidPattern = color(m_state.brush.color).rgb() & 0xFFFFFF;
    } else if (!m_state.brush.pattern.isNull()) {
        patternImage = imageBrush(m_state.brush).textureImage().convertToFormat(QImage::Format_RGB32);
    }
    QImage result(rect.size(), QImage::Format_ARGB32_Premultiplied);
    if (result.isNull())
        return;
    const QImage &dst = *m_target;
    for (int y = 0; y < rect.height(); ++y) {
        const QRgb *d = reinterpret_cast<const QRgb *>(dst.constScanLine(rect.y() + y)) + rect.x();
        const QRgb *s = source ? reinterpret_cast<const QRgb *>(source->constScanLine(y)) : nullptr;
        QRgb *out = reinterpret_cast<QRgb *>(result.scanLine(y));
        const QRgb *pat = nullptr;
        if (!patternImage.isNull())
            pat = reinterpret_cast<const QRgb *>(
                patternImage.constScanLine((rect.y() + y) % patternImage.height()));
        for (int x = 0; x < rect.width(); ++x) {
            if (s && qAlpha(s[x]) == 0) {
                out[x] = d[x]; // pixels the bitmap leaves out keep the page
                continue;
            }
            const quint32 p = pat ? pat[(rect.x() + x) % patternImage.width()] : solidPattern;
            const quint32 sv = s ? s[x] : 0;
            out[x] = 0xFF000000u | (ternary(rop3, p, sv, d[x]) & 0xFFFFFF);
        }
    }
    m_painter.resetTransform();
    applyClip();
    m_painter.setCompositionMode(QPainter::CompositionMode_Source);
    m_painter.drawImage(rect.topLeft(), result);
    m_painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void GdiContext::drawBitmap(const QRectF &dest, const QImage &source0, const QRectF &sourceRect0, quint32 rop)
{
    const quint32 rop3 = (rop >> 16) & 0xFF;
    if (!finiteRect(dest) || dest.width() == 0 || dest.height() == 0)
        return;
    if (!usesSource(rop3) || source0.isNull()) {
        patBlt(dest, rop);
        return;
    }
    // Converting the source, then stretching it over the destination, and
    // for a raster operation taking each pixel through it (some times a
    // plain copy's work).
    if (!countOps(PlayBudget::kRecord
            + (double(source0.width()) * source0.height()
                  + (rop3 == ternaryOp(kSrcCopy) ? 1 : 5) * referenceArea(logicalToImage().mapRect(dest)))
                / PlayBudget::kPixelsPerUnit))
        return;
    // GDI reads only the part of the source rectangle inside the bitmap.
    QRectF sourceRect = sourceRect0.isValid() || sourceRect0.width() < 0 || sourceRect0.height() < 0
        ? sourceRect0
        : QRectF(source0.rect());
    bool mirrorX = (dest.width() < 0) != (sourceRect.width() < 0);
    bool mirrorY = (dest.height() < 0) != (sourceRect.height() < 0);
    sourceRect = sourceRect.normalized();
    const QRect srcPixels = sourceRect.toAlignedRect().intersected(source0.rect());
    if (srcPixels.isEmpty() || !finiteRect(sourceRect))
        return;
    const QRectF d = dest.normalized();
    const QTransform t = logicalToImage();
    QImage source = srcPixels == source0.rect() ? source0 : source0.copy(srcPixels);
    // A source far larger than its place on the page is shrunk first, so the
    // copies below stay small.
    const QSizeF onPage = t.mapRect(d).size().boundedTo(QSizeF(m_target->size()) * 2);
    if (source.width() > 2 * onPage.width() + 16 || source.height() > 2 * onPage.height() + 16) {
        const QSize shrunk(std::clamp(int(std::ceil(onPage.width())) + 1, 1, source.width()),
            std::clamp(int(std::ceil(onPage.height())) + 1, 1, source.height()));
        source = source.scaled(shrunk, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    if (mirrorX || mirrorY)
        source = source.mirrored(mirrorX, mirrorY);
    if (source.format() != QImage::Format_ARGB32_Premultiplied)
        source = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);

    m_painter.resetTransform();
    applyClip();
    const bool smooth = m_state.stretchBltMode == 4 || t.mapRect(d).width() < source.width();
    m_painter.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
    if (rop3 == ternaryOp(kSrcCopy) || t.isRotating()) {
        m_painter.setTransform(t);
        m_painter.drawImage(d, source);
        m_painter.resetTransform();
        return;
    }
    // Render the source stretched over the visible part of the destination,
    // a band of rows at a time, then combine pixel by pixel.
    const QRect visible = t.mapRect(d).toAlignedRect().intersected(m_target->rect());
    for (int top = visible.top(); top <= visible.bottom() && !visible.isEmpty(); top += kBandRows) {
        const QRect band(
            visible.left(), top, visible.width(), std::min(kBandRows, visible.bottom() - top + 1));
        QImage stretched(band.size(), QImage::Format_ARGB32_Premultiplied);
        if (stretched.isNull())
            return;
        stretched.fill(Qt::transparent);
        {
            QPainter p(&stretched);
            p.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
            p.setTransform(t * QTransform::fromTranslate(-band.x(), -band.y()));
            p.setCompositionMode(QPainter::CompositionMode_Source);
            p.drawImage(d, source);
        }
        rasterBlit(band, &stretched, rop);
    }
}

void GdiContext::patBlt(const QRectF &dest, quint32 rop)
{
    if (!finiteRect(dest))
        return;
    const quint32 rop3 = (rop >> 16) & 0xFF;
    if (rop3 == kDstCopy)
        return;
    const QTransform t = logicalToImage();
    if (rop3 == kPatCopy || rop3 == 0x00 || rop3 == 0xFF) {
        QPainterPath path;
        path.addRect(dest.normalized());
        const GdiBrush saved = m_state.brush;
        const GdiPen savedPen = m_state.pen;
        const int savedRop2 = m_state.rop2;
        if (rop3 != kPatCopy)
            m_state.brush = std::get<GdiBrush>(
                stockObject(int(rop3 ? StockObject::WhiteBrush : StockObject::BlackBrush)));
        m_state.pen.style = GdiPen::Null;
        m_state.rop2 = 13;
        m_painter.setRenderHint(QPainter::Antialiasing, false);
        drawImagePath(t.map(path), true, false);
        m_state.brush = saved;
        m_state.pen = savedPen;
        m_state.rop2 = savedRop2;
        return;
    }
    if (!countOps(PlayBudget::kRecord
            + 4 * referenceArea(t.mapRect(dest.normalized())) / PlayBudget::kPixelsPerUnit))
        return;
    const QRect area = t.mapRect(dest.normalized()).toAlignedRect().intersected(m_target->rect());
    for (int top = area.top(); top <= area.bottom() && !area.isEmpty(); top += kBandRows)
        rasterBlit(QRect(area.left(), top, area.width(), std::min(kBandRows, area.bottom() - top + 1)),
            nullptr, rop);
}

void GdiContext::alphaBlend(
    const QRectF &dest, const QImage &source, const QRectF &sourceRect, int constantAlpha, bool perPixelAlpha)
{
    if (!finiteRect(dest) || source.isNull()
        || !countOps(PlayBudget::kRecord
            + (double(source.width()) * source.height() + referenceArea(logicalToImage().mapRect(dest)))
                / PlayBudget::kPixelsPerUnit))
        return;
    QRect srcPixels = sourceRect.normalized().toAlignedRect().intersected(source.rect());
    if (srcPixels.isEmpty())
        return;
    QImage part = source.copy(srcPixels);
    if (!perPixelAlpha)
        part = part.convertToFormat(QImage::Format_RGB32);
    m_painter.resetTransform();
    applyClip();
    m_painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    m_painter.setOpacity(std::clamp(constantAlpha, 0, 255) / 255.0);
    m_painter.setTransform(logicalToImage());
    m_painter.drawImage(dest.normalized(), part);
    m_painter.resetTransform();
    m_painter.setOpacity(1);
}

// Blends three corner colours by barycentric weights over the triangle's
// pixels; the result is drawn through the clip like any other shape.
void GdiContext::fillGradientTriangle(const QPointF (&p)[3], const QColor (&c)[3])
{
    const QRectF bounds = QPolygonF({ p[0], p[1], p[2] }).boundingRect();
    const QRect box = bounds.toAlignedRect().intersected(m_target->rect());
    const double area
        = (p[1].x() - p[0].x()) * (p[2].y() - p[0].y()) - (p[2].x() - p[0].x()) * (p[1].y() - p[0].y());
    // Blending three colours per pixel is many times a plain fill's work.
    if (!countOps(PlayBudget::kRecord + 16 * referenceArea(bounds) / PlayBudget::kPixelsPerUnit)
        || box.isEmpty() || std::abs(area) < 1e-9)
        return;
    QImage patch(box.size(), QImage::Format_ARGB32_Premultiplied);
    if (patch.isNull())
        return;
    for (int y = 0; y < box.height(); ++y) {
        QRgb *line = reinterpret_cast<QRgb *>(patch.scanLine(y));
        const double py = box.y() + y + 0.5;
        for (int x = 0; x < box.width(); ++x) {
            const double px = box.x() + x + 0.5;
            const double w1
                = ((px - p[0].x()) * (p[2].y() - p[0].y()) - (p[2].x() - p[0].x()) * (py - p[0].y())) / area;
            const double w2
                = ((p[1].x() - p[0].x()) * (py - p[0].y()) - (px - p[0].x()) * (p[1].y() - p[0].y())) / area;
            const double w0 = 1 - w1 - w2;
            if (w0 < -1e-6 || w1 < -1e-6 || w2 < -1e-6) {
                line[x] = 0;
                continue;
            }
            auto mix = [&](int (QColor::*channel)() const) {
                return std::clamp(int(std::lround(w0 * (c[0].*channel)() + w1 * (c[1].*channel)()
                                      + w2 * (c[2].*channel)())),
                    0, 255);
            };
            line[x] = qRgb(mix(&QColor::red), mix(&QColor::green), mix(&QColor::blue));
        }
    }
    m_painter.drawImage(box.topLeft(), patch);
}

void GdiContext::gradientFill(const QList<GradientVertex> &vertices, const QList<int> &indices, int mode)
{
    const int per = mode == 2 ? 3 : 2;
    if (mode < 0 || mode > 2
        || !countOps(PlayBudget::kRecord + double(indices.size()) * PlayBudget::kPathElement))
        return;
    const QTransform t = logicalToImage();
    m_painter.resetTransform();
    applyClip();
    m_painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    m_painter.setRenderHint(QPainter::Antialiasing, false);
    for (qsizetype i = 0; i + per <= indices.size(); i += per) {
        QPointF p[3];
        QColor c[3];
        bool ok = true;
        for (int k = 0; k < per && ok; ++k) {
            const int index = indices[i + k];
            ok = index >= 0 && index < vertices.size();
            if (ok) {
                p[k] = t.map(vertices[index].pos);
                c[k] = vertices[index].color;
                ok = std::isfinite(p[k].x()) && std::isfinite(p[k].y()) && std::abs(p[k].x()) < 1e7
                    && std::abs(p[k].y()) < 1e7;
            }
        }
        if (!ok || tooBusy())
            continue;
        if (mode == 2) {
            fillGradientTriangle(p, c);
            continue;
        }
        const QRectF r = QRectF(p[0], p[1]).normalized();
        if (!countOps(PlayBudget::kRecord + 2 * referenceArea(r) / PlayBudget::kPixelsPerUnit))
            continue;
        QLinearGradient g(mode == 0 ? QPointF(p[0].x(), 0) : QPointF(0, p[0].y()),
            mode == 0 ? QPointF(p[1].x(), 0) : QPointF(0, p[1].y()));
        g.setColorAt(0, c[0]);
        g.setColorAt(1, c[1]);
        m_painter.fillRect(r, g);
    }
    m_painter.setRenderHint(QPainter::Antialiasing, true);
}

} // namespace vm

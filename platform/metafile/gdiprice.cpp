// Pricing drawing work for the play budget. Work is measured on the picture
// at its reference (natural) size, whatever size it is played at: the path
// in image pixels is mapped there first, so a preview and a full-size play
// charge the same and stop, or not, alike.
#include "platform/metafile/gdicontext.h"

#include <algorithm>
#include <cmath>

#include "platform/metafile/pathclip.h"

namespace vm {

namespace {

double scaleOf(const QTransform &t)
{
    const double s = std::sqrt(std::abs(t.determinant()));
    return std::isfinite(s) ? s : 1.0;
}

// A closed path of four axis-parallel sides.
bool isUprightRect(const QPainterPath &path)
{
    const int n = path.elementCount();
    if (n < 4 || n > 5)
        return false;
    for (int i = 0; i < n; ++i) {
        const QPainterPath::Element a = path.elementAt(i), b = path.elementAt((i + 1) % n);
        if ((i > 0 && !a.isLineTo()) || (a.x != b.x && a.y != b.y))
            return false;
    }
    return true;
}

} // namespace

QRectF GdiContext::referenceRect(const QRectF &imageRect) const
{
    return m_imageToReference.mapRect(imageRect.normalized()) & m_referencePage;
}

double GdiContext::referenceArea(const QRectF &imageRect) const
{
    const QRectF r = referenceRect(imageRect);
    return r.isValid() ? r.width() * r.height() : 0;
}

double GdiContext::referencePenWidth() const
{
    const GdiPen &p = m_state.pen;
    if (p.isNull())
        return 0;
    // A cosmetic pen is a pixel wide at any size (the WMF player's device is
    // the output image itself), so it is priced as one reference pixel.
    if (p.isCosmetic())
        return 1;
    const double w = p.width * scaleOf(logicalToImage() * m_imageToReference);
    // As the image pen: at least a pixel, at most 4096 image pixels.
    return std::clamp(std::isfinite(w) ? w : 1.0, 1.0, std::max(1.0, 4096 * scaleOf(m_imageToReference)));
}

GdiContext::ShapePrice GdiContext::shapePrice(const QPainterPath &imagePath, bool fill, bool stroke) const
{
    ShapePrice price;
    if (!fill && !stroke)
        return price;
    const QPainterPath reference
        = m_imageToReference.isIdentity() ? imagePath : m_imageToReference.map(imagePath);
    const double areaScale = std::max(1e-12, std::abs(m_imageToReference.determinant()));
    if (fill) {
        RasterWork work = rasterWork(reference, m_referencePage);
        // The painter fills an upright rectangle directly, without the rasteriser.
        if (isUprightRect(reference))
            work.steps = 0;
        price.units += work.steps + work.pixels / PlayBudget::kPixelsPerUnit;
        price.fillSteps = work.steps / areaScale;
    }
    if (stroke) {
        const double width = referencePenWidth();
        RasterWork work = rasterWork(reference, m_referencePage, width);
        // A line a pixel wide is drawn by the painter's line stepper, along
        // its length (the pixels), without the rasteriser.
        if (width <= 1)
            work.steps = 0;
        price.units += work.steps + work.pixels / PlayBudget::kPixelsPerUnit;
        price.strokeSteps = work.steps / areaScale;
    }
    return price;
}

bool GdiContext::chargeDrawing(const QPainterPath &imagePath, double penWidth)
{
    const QPainterPath reference
        = m_imageToReference.isIdentity() ? imagePath : m_imageToReference.map(imagePath);
    const double width = penWidth > 0 ? std::max(1.0, penWidth * scaleOf(m_imageToReference)) : 0;
    RasterWork work = rasterWork(reference, m_referencePage, width);
    // As for the GDI primitives: hairlines and upright rectangles skip the rasteriser.
    if ((penWidth > 0 && width <= 1) || (penWidth <= 0 && isUprightRect(reference)))
        work.steps = 0;
    return countOps(PlayBudget::kRecord + double(imagePath.elementCount()) * PlayBudget::kPathElement
        + work.steps + work.pixels / PlayBudget::kPixelsPerUnit);
}

double GdiContext::textUnits(qsizetype characters, const QRectF &imageBox) const
{
    // Each character is shaped, then its glyph (an em square at most, and no
    // more than the page) is filled; an opaque box is filled as well.
    const double pageArea = m_referencePage.width() * m_referencePage.height();
    const double em = std::abs(double(m_state.font.height)) * scaleOf(logicalToImage() * m_imageToReference);
    const double glyph
        = std::min(std::isfinite(em) ? std::max(em, 12.0) * std::max(em, 12.0) : pageArea, pageArea);
    const double chars = double(std::min<qsizetype>(characters, 100000));
    return PlayBudget::kRecord + chars * PlayBudget::kGlyph
        + (chars * glyph + referenceArea(imageBox)) / PlayBudget::kPixelsPerUnit;
}

} // namespace vm

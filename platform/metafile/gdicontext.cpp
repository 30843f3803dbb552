// Device context state: save/restore, map modes, transforms, object
// selection, the path bracket and the clip.
#include "platform/metafile/gdicontext.h"

#include <QPainterPathStroker>

#include <cmath>

namespace vm {

namespace {

// Logical units per millimetre of the fixed map modes; y grows upwards.
double unitsPerMm(int mode)
{
    switch (mode) {
    case MmLoMetric:
        return 10.0;
    case MmHiMetric:
        return 100.0;
    case MmLoEnglish:
        return 100.0 / 25.4;
    case MmHiEnglish:
        return 1000.0 / 25.4;
    case MmTwips:
        return 1440.0 / 25.4;
    default:
        return 0;
    }
}

bool saneExtent(QSizeF ext)
{
    return std::isfinite(ext.width()) && std::isfinite(ext.height()) && ext.width() != 0 && ext.height() != 0;
}

} // namespace

bool saneTransform(const QTransform &t)
{
    const double v[] = { t.m11(), t.m12(), t.m21(), t.m22(), t.dx(), t.dy() };
    for (double d : v) {
        if (!std::isfinite(d) || std::abs(d) > 1e9)
            return false;
    }
    return std::abs(t.determinant()) > 1e-18;
}

GdiContext::GdiContext(QImage *target, const QTransform &deviceToImage, QSizeF devicePixelsPerMm,
    qint64 fileBytes, QSize referenceSize)
    : m_target(target)
    , m_deviceToImage(deviceToImage)
    , m_pxPerMm(devicePixelsPerMm)
    , m_budget(fileBytes)
{
    const QSize imageSize = m_target ? m_target->size() : QSize();
    if (referenceSize.isEmpty())
        referenceSize = imageSize;
    if (!imageSize.isEmpty())
        m_imageToReference = QTransform::fromScale(double(referenceSize.width()) / imageSize.width(),
            double(referenceSize.height()) / imageSize.height());
    m_referencePage = QRectF(QPointF(0, 0), QSizeF(referenceSize)).adjusted(-16, -16, 16, 16);
    if (!(m_pxPerMm.width() > 0.01 && m_pxPerMm.width() < 1000))
        m_pxPerMm.setWidth(96 / 25.4);
    if (!(m_pxPerMm.height() > 0.01 && m_pxPerMm.height() < 1000))
        m_pxPerMm.setHeight(96 / 25.4);
    m_state.pen = std::get<GdiPen>(stockObject(int(StockObject::BlackPen)));
    m_state.brush = std::get<GdiBrush>(stockObject(int(StockObject::WhiteBrush)));
    m_state.font = std::get<GdiFont>(stockObject(int(StockObject::SystemFont)));
    m_state.palette = std::get<GdiPalette>(stockObject(int(StockObject::DefaultPalette)));
    if (m_target && !m_target->isNull()) {
        m_painter.begin(m_target);
        m_painter.setRenderHint(QPainter::Antialiasing, true);
        m_painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
        m_painter.setRenderHint(QPainter::TextAntialiasing, true);
    }
}

GdiContext::~GdiContext()
{
    if (m_painter.isActive())
        m_painter.end();
}

bool GdiContext::countOps(double units)
{
    ++m_ops;
    return m_budget.charge(units) && m_painter.isActive();
}

bool GdiContext::saveDc()
{
    if (int(m_saved.size()) >= kMaxSaveDepth)
        return false;
    m_saved.push_back(m_state);
    return true;
}

bool GdiContext::restoreDc(int level)
{
    const int depth = int(m_saved.size());
    int keep; // number of saved states left after the restore
    if (level < 0) {
        if (-qint64(level) > depth)
            return false;
        keep = depth + level;
    } else {
        if (level < 1 || level > depth)
            return false;
        keep = level - 1;
    }
    m_state = m_saved[size_t(keep)];
    m_saved.resize(size_t(keep));
    return true;
}

void GdiContext::setMapMode(int mode)
{
    if (mode < MmText || mode > MmAnisotropic)
        return;
    if (mode == MmIsotropic && m_state.mapMode != MmIsotropic && m_state.mapMode != MmAnisotropic) {
        // Switching to MM_ISOTROPIC starts from MM_LOMETRIC's scale.
        m_state.windowExt = QSizeF(10 * 10, 10 * 10);
        m_state.viewportExt = QSizeF(m_pxPerMm.width() * 10, -m_pxPerMm.height() * 10);
    }
    m_state.mapMode = mode;
}

void GdiContext::setWindowExt(QSizeF ext)
{
    if (saneExtent(ext) && (m_state.mapMode == MmIsotropic || m_state.mapMode == MmAnisotropic))
        m_state.windowExt = ext;
}

void GdiContext::setViewportExt(QSizeF ext)
{
    if (saneExtent(ext) && (m_state.mapMode == MmIsotropic || m_state.mapMode == MmAnisotropic))
        m_state.viewportExt = ext;
}

void GdiContext::scaleWindowExt(double xNum, double xDenom, double yNum, double yDenom)
{
    if (xDenom != 0 && yDenom != 0)
        setWindowExt(
            QSizeF(m_state.windowExt.width() * xNum / xDenom, m_state.windowExt.height() * yNum / yDenom));
}

void GdiContext::scaleViewportExt(double xNum, double xDenom, double yNum, double yDenom)
{
    if (xDenom != 0 && yDenom != 0)
        setViewportExt(QSizeF(
            m_state.viewportExt.width() * xNum / xDenom, m_state.viewportExt.height() * yNum / yDenom));
}

void GdiContext::setWorldTransform(const QTransform &t)
{
    if (saneTransform(t))
        m_state.world = t;
}

void GdiContext::modifyWorldTransform(const QTransform &t, int mode)
{
    switch (mode) {
    case 1:
        m_state.world = QTransform();
        break;
    case 2:
        setWorldTransform(t * m_state.world);
        break;
    case 3:
        setWorldTransform(m_state.world * t);
        break;
    case 4:
        setWorldTransform(t);
        break;
    default:
        break;
    }
}

QTransform GdiContext::pageTransform() const
{
    double sx = 1, sy = 1;
    const int mode = m_state.mapMode;
    if (mode == MmText) {
        sx = sy = 1;
    } else if (mode == MmIsotropic || mode == MmAnisotropic) {
        sx = m_state.viewportExt.width() / m_state.windowExt.width();
        sy = m_state.viewportExt.height() / m_state.windowExt.height();
        if (mode == MmIsotropic) {
            const double s = std::min(std::abs(sx), std::abs(sy));
            sx = std::copysign(s, sx);
            sy = std::copysign(s, sy);
        }
    } else {
        const double u = unitsPerMm(mode);
        sx = m_pxPerMm.width() / u;
        sy = -m_pxPerMm.height() / u;
    }
    if (!std::isfinite(sx) || !std::isfinite(sy) || sx == 0 || sy == 0)
        sx = sy = 1;
    const QPointF w = m_state.windowOrg, v = m_state.viewportOrg;
    return QTransform(sx, 0, 0, sy, v.x() - w.x() * sx, v.y() - w.y() * sy);
}

QTransform GdiContext::logicalToDevice() const
{
    return m_state.world * pageTransform();
}

QTransform GdiContext::logicalToImage() const
{
    return m_state.world * pageTransform() * m_deviceToImage;
}

QColor GdiContext::color(ColorRef ref) const
{
    if ((ref >> 24) == 1) {
        const int index = int(ref & 0xFFFF);
        const QList<QRgb> &entries = m_state.palette.entries;
        return index < entries.size() ? QColor::fromRgb(entries[index]) : QColor(Qt::black);
    }
    return QColor(int(ref & 0xFF), int((ref >> 8) & 0xFF), int((ref >> 16) & 0xFF));
}

void GdiContext::selectObject(const GdiObject &object)
{
    if (const auto *pen = std::get_if<GdiPen>(&object))
        m_state.pen = *pen;
    else if (const auto *brush = std::get_if<GdiBrush>(&object))
        m_state.brush = *brush;
    else if (const auto *font = std::get_if<GdiFont>(&object))
        m_state.font = *font;
    else if (const auto *palette = std::get_if<GdiPalette>(&object))
        m_state.palette = *palette;
    else if (const auto *region = std::get_if<GdiRegion>(&object))
        selectClipRegion(region, RgnCopy);
}

bool GdiContext::selectObjectAt(int index)
{
    const GdiObject *object = m_objects.find(index);
    if (!object)
        return false;
    selectObject(*object);
    return true;
}

bool GdiContext::selectStockObject(int number)
{
    const GdiObject object = stockObject(number);
    if (std::holds_alternative<std::monostate>(object))
        return false;
    selectObject(object);
    return true;
}

QPainterPath GdiContext::toImage(const QPainterPath &logical) const
{
    return logicalToImage().map(logical);
}

// ---- path bracket -------------------------------------------------------

void GdiContext::beginPath()
{
    m_path = QPainterPath();
    m_inPath = true;
}

void GdiContext::abortPath()
{
    m_path = QPainterPath();
    m_inPath = false;
}

void GdiContext::closeFigure()
{
    if (m_inPath)
        m_path.closeSubpath();
}

void GdiContext::fillPath()
{
    m_inPath = false;
    drawImagePath(m_path, true, false);
    m_path = QPainterPath();
}

void GdiContext::strokePath()
{
    m_inPath = false;
    drawImagePath(m_path, false, true);
    m_path = QPainterPath();
}

void GdiContext::strokeAndFillPath()
{
    m_inPath = false;
    drawImagePath(m_path, true, true);
    m_path = QPainterPath();
}

void GdiContext::selectClipPath(int mode)
{
    m_inPath = false;
    QPainterPath closed = m_path;
    closed.setFillRule(m_state.fillMode == 2 ? Qt::WindingFill : Qt::OddEvenFill);
    combineClip(closed, mode);
    m_path = QPainterPath();
}

void GdiContext::flattenPath()
{
    QPainterPath flat;
    for (const QPolygonF &poly : m_path.toSubpathPolygons())
        flat.addPolygon(poly);
    m_path = flat;
}

void GdiContext::widenPath()
{
    // The stroker's work grows with the points, its outline adds a few per point.
    if (!countOps(PlayBudget::kRecord + 8 * PlayBudget::kPathElement * double(m_path.elementCount())))
        return;
    QPainterPathStroker stroker(imagePen());
    m_path = stroker.createStroke(m_path);
}

void GdiContext::appendToPath(const QPainterPath &logical, bool connect)
{
    if (m_path.elementCount() > kMaxPoints)
        return;
    const QPainterPath mapped = toImage(logical);
    if (!connect || m_path.elementCount() == 0) {
        m_path.addPath(mapped);
        return;
    }
    // Continue the current figure from the pen position. (QPainterPath's
    // connectPath would also drop a pending moveTo and join the previous
    // figure to this one.)
    for (int i = 0; i < mapped.elementCount(); ++i) {
        const QPainterPath::Element e = mapped.elementAt(i);
        if (e.isMoveTo()) {
            if (i > 0 || m_path.currentPosition() != QPointF(e))
                m_path.moveTo(e);
        } else if (e.isLineTo()) {
            m_path.lineTo(e);
        } else if (e.isCurveTo() && i + 2 < mapped.elementCount()) {
            m_path.cubicTo(e, mapped.elementAt(i + 1), mapped.elementAt(i + 2));
            i += 2;
        }
    }
}

} // namespace vm

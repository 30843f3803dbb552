// The EMF+ record walk, the header, objects (also when split over continued
// records), transforms, saved states and containers, clipping and modes.
#include "platform/metafile/emfplusplayer.h"
#include "platform/metafile/pathclip.h"

#include <cmath>

namespace vm {

namespace {

constexpr size_t kMaxSaved = 1024;
constexpr int kMaxClipElements = 40000;
constexpr double kFarAway = 1e7; // image pixels

} // namespace

bool EmfPlusPlayer::readHeader(const uchar *comment, qint64 size, double *dpiX, double *dpiY, bool *dual)
{
    const EmfPlusReader r(comment, size);
    // Type, flags (D: dual), size, data size; version, flags, dpi x, dpi y.
    if (!r.has(0, 28) || r.u16(0) != EmfPlusHeader)
        return false;
    const quint32 recordSize = r.u32(4), dataSize = r.u32(8);
    if (recordSize < 28 || recordSize > size || dataSize < 16 || dataSize > recordSize - 12)
        return false;
    // Writers leave the version's signature and the dpi out (zero) often
    // enough that only the record's shape decides; a missing dpi means 96.
    const quint32 x = r.u32(20), y = r.u32(24);
    *dpiX = x > 0 && x <= 10000 ? x : 96;
    *dpiY = y > 0 && y <= 10000 ? y : 96;
    *dual = r.u16(2) & 1;
    return true;
}

EmfPlusPlayer::EmfPlusPlayer(GdiContext &dc, double dpiX, double dpiY, int depth)
    : m_dc(dc)
    , m_dpiX(dpiX)
    , m_dpiY(dpiY)
    , m_depth(depth)
{
}

bool EmfPlusPlayer::playComment(const uchar *comment, qint64 size)
{
    const EmfPlusReader all(comment, size);
    qint64 at = 0;
    while (all.has(at, 12)) {
        const quint16 type = all.u16(at), flags = all.u16(at + 2);
        const quint32 recordSize = all.u32(at + 4), dataSize = all.u32(at + 8);
        if (recordSize < 12 || recordSize > size - at || dataSize > recordSize - 12)
            return false;
        if (m_ended)
            return true;
        if (!m_dc.budget().chargeRecord())
            return false;
        m_gdiAllowed = false;
        const EmfPlusRecord record { type, flags, all.sub(at + 12, dataSize) };
        if (playRecord(record) == EmfPlusResult::Stop)
            return false;
        at += recordSize;
    }
    return true;
}

EmfPlusResult EmfPlusPlayer::playRecord(const EmfPlusRecord &r)
{
    if (r.type != EmfPlusObject)
        m_pending.reset(); // a split object goes on in the very next record or not at all
    switch (r.type) {
    case EmfPlusHeader:
    case EmfPlusComment:
    case EmfPlusMultiFormatStart:
    case EmfPlusMultiFormatSection:
    case EmfPlusMultiFormatEnd:
        return EmfPlusResult::Done;
    case EmfPlusEndOfFile:
        m_ended = true;
        return EmfPlusResult::Done;
    case EmfPlusGetDc:
        m_gdiAllowed = true;
        return EmfPlusResult::Done;
    case EmfPlusObject:
        return objectRecord(r);
    case EmfPlusClear:
        return clearRecord(r);
    case EmfPlusFillRects:
    case EmfPlusFillPolygon:
    case EmfPlusFillEllipse:
    case EmfPlusFillPie:
    case EmfPlusFillRegion:
    case EmfPlusFillPath:
        return fillRecord(r);
    case EmfPlusDrawRects:
    case EmfPlusDrawLines:
    case EmfPlusDrawEllipse:
    case EmfPlusDrawPie:
    case EmfPlusDrawArc:
    case EmfPlusDrawPath:
    case EmfPlusDrawBeziers:
        return drawRecord(r);
    case EmfPlusFillClosedCurve:
    case EmfPlusDrawClosedCurve:
    case EmfPlusDrawCurve:
        return curveRecord(r);
    case EmfPlusDrawImage:
    case EmfPlusDrawImagePoints:
        return imageRecord(r);
    case EmfPlusSerializableObject:
        return effectRecord(r);
    case EmfPlusDrawString:
    case EmfPlusDrawDriverString:
        return textRecord(r);
    case EmfPlusSetWorldTransform:
    case EmfPlusResetWorldTransform:
    case EmfPlusMultiplyWorldTransform:
    case EmfPlusTranslateWorldTransform:
    case EmfPlusScaleWorldTransform:
    case EmfPlusRotateWorldTransform:
    case EmfPlusSetPageTransform:
        return transformRecord(r);
    case EmfPlusResetClip:
    case EmfPlusSetClipRect:
    case EmfPlusSetClipPath:
    case EmfPlusSetClipRegion:
    case EmfPlusOffsetClip:
        return clipRecord(r);
    case EmfPlusSave:
    case EmfPlusRestore:
    case EmfPlusBeginContainer:
    case EmfPlusBeginContainerNoParams:
    case EmfPlusEndContainer:
    case EmfPlusSetRenderingOrigin:
    case EmfPlusSetAntiAliasMode:
    case EmfPlusSetTextRenderingHint:
    case EmfPlusSetTextContrast:
    case EmfPlusSetInterpolationMode:
    case EmfPlusSetPixelOffsetMode:
    case EmfPlusSetCompositingMode:
    case EmfPlusSetCompositingQuality:
        return stateRecord(r);
    default:
        // StrokeFillPath and terminal-server records: not drawn.
        return EmfPlusResult::NotDrawn;
    }
}

// ---- objects --------------------------------------------------------------

EmfPlusResult EmfPlusPlayer::objectRecord(const EmfPlusRecord &r)
{
    const quint8 id = quint8(r.flags & 0xFF);
    const auto type = EmfPlusObjectType((r.flags >> 8) & 0x7F);
    if (id >= EmfPlusObjectTable::kSize)
        return EmfPlusResult::Stop;
    if (!(r.flags & FlagContinued)) {
        m_pending.reset();
        return storeObject(id, type, r.data);
    }
    // Continued: the object's whole size, then this part of it.
    const quint32 total = r.data.u32(0);
    if (!r.data.ok())
        return EmfPlusResult::Stop;
    if (m_pending && (m_pending->id != id || m_pending->type != type || m_pending->total != total))
        m_pending.reset();
    if (!m_pending) {
        if (total == 0 || total > EmfPlusObjectTable::kMaxObjectBytes)
            return EmfPlusResult::Stop;
        m_pending = Pending { id, type, qint64(total), {} };
    }
    const qint64 part = r.data.size() - 4;
    if (part > m_pending->total - m_pending->data.size())
        return EmfPlusResult::Stop; // the parts add up to more than the whole
    m_pending->data.append(reinterpret_cast<const char *>(r.data.data() + 4), part);
    if (m_pending->data.size() < m_pending->total)
        return EmfPlusResult::Done;
    const Pending whole = std::move(*m_pending);
    m_pending.reset();
    return storeObject(whole.id, whole.type,
        EmfPlusReader(reinterpret_cast<const uchar *>(whole.data.constData()), whole.data.size()));
}

EmfPlusResult EmfPlusPlayer::storeObject(quint8 id, EmfPlusObjectType type, const EmfPlusReader &bytes)
{
    const QByteArray raw(reinterpret_cast<const char *>(bytes.data()), bytes.size());
    EmfPlusObjectEntry entry;
    switch (type) {
    case EmfPlusObjectType::Brush:
        if (auto b = parseEmfPlusBrush(bytes, m_depth))
            entry = std::move(*b);
        break;
    case EmfPlusObjectType::Pen:
        if (auto p = parseEmfPlusPen(bytes, m_depth))
            entry = std::move(*p);
        break;
    case EmfPlusObjectType::Path:
        if (auto p = parseEmfPlusPath(bytes))
            entry = std::move(*p);
        break;
    case EmfPlusObjectType::Region:
        if (auto g = parseEmfPlusRegion(bytes))
            entry = std::move(*g);
        break;
    case EmfPlusObjectType::Image:
        entry = EmfPlusOpaque<EmfPlusImage> { raw, parseEmfPlusImage(bytes, m_depth) };
        break;
    case EmfPlusObjectType::Font:
        entry = EmfPlusOpaque<EmfPlusFont> { raw, parseEmfPlusFont(bytes) };
        break;
    case EmfPlusObjectType::StringFormat:
        entry = EmfPlusOpaque<EmfPlusStringFormat> { raw, parseEmfPlusStringFormat(bytes) };
        break;
    case EmfPlusObjectType::ImageAttributes:
        entry = EmfPlusOpaque<EmfPlusImageAttributes> { raw, parseEmfPlusImageAttributes(bytes) };
        break;
    default:
        break; // custom line caps and unknown types leave the slot empty
    }
    // A malformed object empties its slot; records that use it draw nothing.
    const bool parsed = !std::holds_alternative<std::monostate>(entry);
    m_objects.store(id, std::move(entry));
    return parsed ? EmfPlusResult::Done : EmfPlusResult::NotDrawn;
}

std::optional<EmfPlusBrush> EmfPlusPlayer::brushOf(quint16 flags, quint32 value) const
{
    if (flags & FlagColor) {
        EmfPlusBrush b;
        b.color = QColor::fromRgba(value);
        return b;
    }
    if (const EmfPlusBrush *b = m_objects.find<EmfPlusBrush>(value))
        return *b;
    return std::nullopt;
}

// ---- transforms -----------------------------------------------------------

double EmfPlusPlayer::unitScale(int unit, bool vertical) const
{
    const double dpi = vertical ? m_dpiY : m_dpiX;
    switch (unit) {
    case UnitPoint:
        return dpi / 72;
    case UnitInch:
        return dpi;
    case UnitDocument:
        return dpi / 300;
    case UnitMillimeter:
        return dpi / 25.4;
    default:
        return 1; // world, display and pixel
    }
}

QTransform EmfPlusPlayer::worldToDevice() const
{
    QTransform page = QTransform::fromScale(m_state.pageScale * unitScale(m_state.pageUnit),
        m_state.pageScale * unitScale(m_state.pageUnit, true));
    // GDI+ centres pixels on whole coordinates unless told to offset them
    // by half a pixel (PixelOffsetModeHalf and HighQuality); QPainter
    // centres them on halves.
    if (!m_state.halfPixelOffset)
        page *= QTransform::fromTranslate(0.5, 0.5);
    return m_state.world * m_state.container * page;
}

QTransform EmfPlusPlayer::worldToImage() const
{
    return worldToDevice() * m_dc.deviceToImage();
}

EmfPlusResult EmfPlusPlayer::transformRecord(const EmfPlusRecord &r)
{
    const EmfPlusReader &d = r.data;
    const bool append = r.flags & FlagAppend;
    QTransform m;
    switch (r.type) {
    case EmfPlusSetWorldTransform:
        m = d.matrix(0);
        if (d.ok() && saneTransform(m))
            m_state.world = m;
        return d.ok() ? EmfPlusResult::Done : EmfPlusResult::Stop;
    case EmfPlusResetWorldTransform:
        m_state.world = QTransform();
        return EmfPlusResult::Done;
    case EmfPlusMultiplyWorldTransform:
        m = d.matrix(0);
        break;
    case EmfPlusTranslateWorldTransform:
        m = QTransform::fromTranslate(d.f32(0), d.f32(4));
        break;
    case EmfPlusScaleWorldTransform:
        m = QTransform::fromScale(d.f32(0), d.f32(4));
        break;
    case EmfPlusRotateWorldTransform:
        m.rotate(d.f32(0));
        break;
    case EmfPlusSetPageTransform: {
        const double scale = d.f32(0);
        const int unit = r.flags & 0xFF;
        if (!d.ok())
            return EmfPlusResult::Stop;
        if (unit <= UnitMillimeter && scale > 1e-6 && scale < 1e6) {
            m_state.pageUnit = quint8(unit);
            m_state.pageScale = scale;
        }
        return EmfPlusResult::Done;
    }
    default:
        return EmfPlusResult::NotDrawn;
    }
    if (!d.ok())
        return EmfPlusResult::Stop;
    const QTransform world = append ? m_state.world * m : m * m_state.world;
    if (saneTransform(world))
        m_state.world = world;
    return EmfPlusResult::Done;
}

// ---- saved states, containers, modes --------------------------------------

EmfPlusResult EmfPlusPlayer::stateRecord(const EmfPlusRecord &r)
{
    const EmfPlusReader &d = r.data;
    const auto restore = [this](quint32 index) {
        for (size_t i = m_saved.size(); i-- > 0;) {
            if (m_saved[i].index == index) {
                m_state = m_saved[i].state;
                m_saved.resize(i);
                return;
            }
        }
    };
    const auto push = [this](quint32 index) {
        if (m_saved.size() < kMaxSaved)
            m_saved.push_back({ index, m_state });
    };
    switch (r.type) {
    case EmfPlusSave:
        push(d.u32(0));
        break;
    case EmfPlusRestore:
    case EmfPlusEndContainer:
        restore(d.u32(0));
        break;
    case EmfPlusBeginContainerNoParams:
        push(d.u32(0));
        if (saneTransform(m_state.world * m_state.container)) {
            m_state.container = m_state.world * m_state.container;
            m_state.world = QTransform();
        }
        break;
    case EmfPlusBeginContainer: {
        // The source rectangle (new world units) maps onto the destination
        // rectangle, given in the record's unit.
        const QRectF dest = d.rectF(0), src = d.rectF(16);
        push(d.u32(32));
        if (!d.ok())
            break;
        const int unit = (r.flags >> 8) & 0xFF;
        const double toPage
            = unit == UnitWorld ? 1 : unitScale(unit) / (unitScale(m_state.pageUnit) * m_state.pageScale);
        QTransform fit;
        if (src.width() != 0 && src.height() != 0) {
            fit = QTransform::fromTranslate(-src.x(), -src.y())
                * QTransform::fromScale(
                    dest.width() * toPage / src.width(), dest.height() * toPage / src.height())
                * QTransform::fromTranslate(dest.x() * toPage, dest.y() * toPage);
        }
        const QTransform container = fit * m_state.world * m_state.container;
        if (saneTransform(container)) {
            m_state.container = container;
            m_state.world = QTransform();
        }
        break;
    }
    case EmfPlusSetRenderingOrigin:
        m_state.renderingOrigin = QPointF(d.i32(0), d.i32(4));
        break;
    case EmfPlusSetAntiAliasMode:
        m_state.antialias = r.flags & 1;
        break;
    case EmfPlusSetInterpolationMode:
        m_state.smoothImages = (r.flags & 0xFF) != InterpolationModeNearestNeighbor;
        break;
    case EmfPlusSetPixelOffsetMode: {
        const int mode = r.flags & 0xFF;
        m_state.halfPixelOffset = mode == PixelOffsetModeHalf || mode == PixelOffsetModeHighQuality;
        break;
    }
    case EmfPlusSetCompositingMode:
        m_state.sourceCopy = (r.flags & 0xFF) == CompositingModeSourceCopy;
        break;
    default:
        // Text hinting and contrast, compositing quality: QPainter draws text
        // with the font's own hinting and blends one way only.
        break;
    }
    return d.ok() ? EmfPlusResult::Done : EmfPlusResult::Stop;
}

// ---- clipping -------------------------------------------------------------

QPainterPath EmfPlusPlayer::everywhere() const
{
    QPainterPath p;
    p.addRect(QRectF(m_dc.target()->rect()).adjusted(-16, -16, 16, 16));
    return p;
}

void EmfPlusPlayer::combineClip(const QPainterPath &givenPath, int mode)
{
    const QPainterPath imagePath = withoutSlivers(givenPath);
    // Path operations grow quickly with the elements: a clip beyond the
    // bound is left as it was.
    const QRectF extent = imagePath.controlPointRect();
    if (!(std::abs(extent.left()) < kFarAway && std::abs(extent.right()) < kFarAway
            && std::abs(extent.top()) < kFarAway && std::abs(extent.bottom()) < kFarAway))
        return; // a clip so far off is a lie, not a picture
    const QPainterPath current = withoutSlivers(m_state.clip ? *m_state.clip : everywhere());
    const int elements = imagePath.elementCount() + current.elementCount();
    if (elements > kMaxClipElements || !m_dc.charge(8 * PlayBudget::kPathElement * elements))
        return;
    switch (mode) {
    case 0:
        m_state.clip = imagePath;
        break;
    case 1:
        m_state.clip = m_state.clip ? current.intersected(imagePath) : imagePath;
        break;
    case 2:
        if (m_state.clip)
            m_state.clip = current.united(imagePath);
        break;
    case 3:
        m_state.clip = current.united(imagePath).subtracted(current.intersected(imagePath));
        break;
    case 4:
        m_state.clip = current.subtracted(imagePath);
        break;
    case 5:
        m_state.clip = imagePath.subtracted(current);
        break;
    default:
        break;
    }
}

EmfPlusResult EmfPlusPlayer::clipRecord(const EmfPlusRecord &r)
{
    const EmfPlusReader &d = r.data;
    const int mode = (r.flags >> 8) & 0x0F;
    const QTransform xf = worldToImage();
    switch (r.type) {
    case EmfPlusResetClip:
        m_state.clip.reset();
        break;
    case EmfPlusSetClipRect: {
        const QRectF rect = d.rectF(0).normalized();
        if (!d.ok())
            return EmfPlusResult::Stop;
        QPainterPath p;
        p.addRect(rect);
        combineClip(xf.map(p), mode);
        break;
    }
    case EmfPlusSetClipPath: {
        const QPainterPath *path = m_objects.find<QPainterPath>(r.flags & 0xFF);
        if (!path)
            return EmfPlusResult::NotDrawn;
        combineClip(xf.map(*path), mode);
        break;
    }
    case EmfPlusSetClipRegion: {
        const EmfPlusRegion *region = m_objects.find<EmfPlusRegion>(r.flags & 0xFF);
        if (!region)
            return EmfPlusResult::NotDrawn;
        if (region->infinite) {
            // Everything: replacing or uniting with it removes the clip.
            if (mode == 0 || mode == 2)
                m_state.clip.reset();
            else if (mode != 1)
                combineClip(everywhere(), mode);
        } else {
            combineClip(xf.map(region->path), mode);
        }
        break;
    }
    case EmfPlusOffsetClip: {
        const QPointF delta = xf.map(d.pointF(0)) - xf.map(QPointF(0, 0));
        if (!d.ok())
            return EmfPlusResult::Stop;
        if (m_state.clip) {
            m_state.clip->translate(delta);
            if (!everywhere().boundingRect().intersects(m_state.clip->controlPointRect()))
                m_state.clip = QPainterPath(); // moved off the picture: nothing shows
        }
        break;
    }
    default:
        return EmfPlusResult::NotDrawn;
    }
    return EmfPlusResult::Done;
}

} // namespace vm

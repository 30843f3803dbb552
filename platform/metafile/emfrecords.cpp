// EMF records that set state, create objects and draw shapes and paths.
#include "platform/metafile/emfformat.h"
#include "platform/metafile/emfplayer.h"
#include "platform/metafile/emfplusplayer.h"

#include <QRegion>

#include <cmath>

namespace vm {

namespace {

constexpr quint32 kStockFlag = kEmfStockObjectFlag;
constexpr int kMaxRegionRects = 200000;
constexpr qint64 kFarAway = 1 << 27;
constexpr quint32 kDibPalIndices = 2; // DIBColors: no colour table, indices into the palette

QTransform readXform(const EmfRecord &r, qint64 offset)
{
    return QTransform(r.f32(offset), r.f32(offset + 4), r.f32(offset + 8), r.f32(offset + 12),
        r.f32(offset + 16), r.f32(offset + 20));
}

} // namespace

bool EmfPlayer::playRecord(const EmfRecord &r)
{
    GdiState &s = m_dc.state();
    const quint32 t = r.type();
    if (t == EmrComment)
        return commentRecord(r);
    // A file with valid EMF+ records is drawn from them; its GDI records only
    // where an EMF+ GetDC hands the page to GDI.
    if (m_plus && !m_plus->gdiAllowed())
        return true;
    switch (t) {
    case EmrSetWindowExtEx:
        m_dc.setWindowExt(QSizeF(r.i32(8), r.i32(12)));
        break;
    case EmrSetWindowOrgEx:
        m_dc.setWindowOrg(r.point32(8));
        break;
    case EmrSetViewportExtEx:
        m_dc.setViewportExt(QSizeF(r.i32(8), r.i32(12)));
        break;
    case EmrSetViewportOrgEx:
        m_dc.setViewportOrg(r.point32(8));
        break;
    case EmrScaleViewportExtEx:
        m_dc.scaleViewportExt(r.i32(8), r.i32(12), r.i32(16), r.i32(20));
        break;
    case EmrScaleWindowExtEx:
        m_dc.scaleWindowExt(r.i32(8), r.i32(12), r.i32(16), r.i32(20));
        break;
    case EmrSetMapMode:
        m_dc.setMapMode(r.i32(8));
        break;
    case EmrSetBkMode:
        s.bkMode = r.i32(8) == 1 ? 1 : 2;
        break;
    case EmrSetPolyFillMode:
        s.fillMode = r.i32(8) == 2 ? 2 : 1;
        break;
    case EmrSetRop2: {
        const qint32 rop2 = r.i32(8);
        if (rop2 >= 1 && rop2 <= 16)
            s.rop2 = rop2;
        break;
    }
    case EmrSetStretchBltMode:
        s.stretchBltMode = r.i32(8);
        break;
    case EmrSetTextAlign:
        s.textAlign = r.u32(8);
        break;
    case EmrSetTextColor:
        s.textColor = r.u32(8);
        break;
    case EmrSetBkColor:
        s.bkColor = r.u32(8);
        break;
    case EmrMoveToEx:
        m_dc.moveTo(r.point32(8));
        break;
    case EmrSetArcDirection:
        s.arcDirection = r.i32(8) == 2 ? 2 : 1;
        break;
    case EmrSetMiterLimit: {
        const quint32 limit = r.u32(8);
        if (limit >= 1 && limit <= 1000)
            s.miterLimit = limit;
        break;
    }
    case EmrSaveDc:
        m_dc.saveDc();
        break;
    case EmrRestoreDc:
        m_dc.restoreDc(r.i32(8));
        break;
    case EmrSetWorldTransform:
        m_dc.setWorldTransform(readXform(r, 8));
        break;
    case EmrModifyWorldTransform:
        m_dc.modifyWorldTransform(readXform(r, 8), r.i32(32));
        break;
    case EmrOffsetClipRgn:
        m_dc.offsetClip(r.point32(8));
        break;
    case EmrExcludeClipRect:
        m_dc.excludeClipRect(r.rect32(8));
        break;
    case EmrIntersectClipRect:
        m_dc.intersectClipRect(r.rect32(8));
        break;
    case EmrExtSelectClipRgn:
        return extSelectClipRgn(r);

    case EmrSelectObject:
    case EmrSelectPalette:
        selectObject(r.u32(8));
        break;
    case EmrDeleteObject: {
        const quint32 index = r.u32(8);
        if (!(index & kStockFlag))
            m_dc.objects().remove(int(std::min<quint32>(index, INT_MAX)));
        break;
    }
    case EmrCreatePen:
        return createPen(r);
    case EmrExtCreatePen:
        return extCreatePen(r);
    case EmrCreateBrushIndirect:
        return createBrush(r);
    case EmrCreateMonoBrush:
    case EmrCreateDibPatternBrushPt:
        return createPatternBrush(r);
    case EmrExtCreateFontIndirectW:
        return createFont(r);
    case EmrCreatePalette:
        return createPalette(r);
    case EmrSetPaletteEntries:
        return setPaletteEntries(r);

    case EmrPolyBezier:
    case EmrPolygon:
    case EmrPolyline:
    case EmrPolyBezierTo:
    case EmrPolylineTo:
    case EmrPolyBezier16:
    case EmrPolygon16:
    case EmrPolyline16:
    case EmrPolyBezierTo16:
    case EmrPolylineTo16:
        return polyRecord(r);
    case EmrPolyPolyline:
    case EmrPolyPolygon:
    case EmrPolyPolyline16:
    case EmrPolyPolygon16:
        return polyPolyRecord(r);
    case EmrPolyDraw:
    case EmrPolyDraw16:
        return polyDrawRecord(r);
    case EmrLineTo:
        m_dc.lineTo(r.point32(8));
        break;
    case EmrSetPixelV:
        m_dc.setPixel(r.point32(8), r.u32(16));
        break;
    case EmrRectangle:
        m_dc.rectangle(r.rect32(8));
        break;
    case EmrEllipse:
        m_dc.ellipse(r.rect32(8));
        break;
    case EmrRoundRect:
        m_dc.roundRect(r.rect32(8), QSizeF(r.i32(24), r.i32(28)));
        break;
    case EmrArc:
        m_dc.arc(r.rect32(8), r.point32(24), r.point32(32));
        break;
    case EmrArcTo:
        m_dc.arcTo(r.rect32(8), r.point32(24), r.point32(32));
        break;
    case EmrChord:
        m_dc.chord(r.rect32(8), r.point32(24), r.point32(32));
        break;
    case EmrPie:
        m_dc.pie(r.rect32(8), r.point32(24), r.point32(32));
        break;
    case EmrAngleArc:
        m_dc.angleArc(r.point32(8), r.u32(16), r.f32(20), r.f32(24));
        break;
    case EmrFillRgn:
    case EmrFrameRgn:
    case EmrInvertRgn:
    case EmrPaintRgn:
        return regionRecord(r);

    case EmrBeginPath:
        m_dc.beginPath();
        break;
    case EmrEndPath:
        m_dc.endPath();
        break;
    case EmrCloseFigure:
        m_dc.closeFigure();
        break;
    case EmrFillPath:
        m_dc.fillPath();
        break;
    case EmrStrokeAndFillPath:
        m_dc.strokeAndFillPath();
        break;
    case EmrStrokePath:
        m_dc.strokePath();
        break;
    case EmrFlattenPath:
        m_dc.flattenPath();
        break;
    case EmrWidenPath:
        m_dc.widenPath();
        break;
    case EmrSelectClipPath:
        m_dc.selectClipPath(r.i32(8));
        break;
    case EmrAbortPath:
        m_dc.abortPath();
        break;

    case EmrBitBlt:
    case EmrStretchBlt:
    case EmrMaskBlt:
    case EmrTransparentBlt:
    case EmrAlphaBlend:
        return bltRecord(r);
    case EmrStretchDiBits:
    case EmrSetDiBitsToDevice:
        return diBitsRecord(r);
    case EmrGradientFill:
        return gradientFillRecord(r);

    case EmrExtTextOutA:
    case EmrExtTextOutW:
        return drawText(r, 36, t == EmrExtTextOutW) && r.ok();
    case EmrPolyTextOutA:
    case EmrPolyTextOutW:
        return polyTextOut(r);
    case EmrSmallTextOut:
        return smallTextOut(r);

    // Unknown records and those without visible effect are skipped.
    default:
        break;
    }
    return r.ok();
}

bool EmfPlayer::extSelectClipRgn(const EmfRecord &r)
{
    const quint32 cb = r.u32(8);
    const qint32 mode = r.i32(12);
    if (cb == 0) {
        m_dc.selectClipRegion(nullptr, mode);
    } else {
        GdiRegion region;
        if (!readRegion(r, 16, cb, &region))
            return false;
        m_dc.selectClipRegion(&region, mode);
    }
    return r.ok();
}

void EmfPlayer::selectObject(quint32 index)
{
    if (index & kStockFlag)
        m_dc.selectStockObject(int(index & ~kStockFlag));
    else
        m_dc.selectObjectAt(int(std::min<quint32>(index, INT_MAX)));
}

void EmfPlayer::storeObject(quint32 index, GdiObject object)
{
    // Index 0 is the metafile itself; a table the header made too small
    // grows up to the table's bound rather than losing the object.
    if (index == 0 || index >= quint32(GdiObjectTable::kMaxSize))
        return;
    if (int(index) >= m_dc.objects().size())
        m_dc.objects().resize(int(index) + 1);
    m_dc.objects().store(int(index), std::move(object));
}

bool EmfPlayer::storeIfWhole(const EmfRecord &r, GdiObject object)
{
    if (r.ok())
        storeObject(r.u32(8), std::move(object));
    return r.ok();
}

bool EmfPlayer::createPen(const EmfRecord &r)
{
    return storeIfWhole(r, readLogPen<qint32>(r, 12));
}

bool EmfPlayer::extCreatePen(const EmfRecord &r)
{
    GdiPen pen;
    pen.style = r.u32(28);
    pen.width = r.u32(32) > 0x7FFFFFFF ? 0 : r.u32(32);
    pen.color = r.u32(40);
    if (r.u32(36) == 1) // BS_NULL brush: nothing is drawn
        pen.style = (pen.style & ~quint32(GdiPen::StyleMask)) | GdiPen::Null;
    const quint32 entries = r.u32(48);
    if ((pen.style & GdiPen::StyleMask) == GdiPen::UserStyle && entries <= 64
        && r.has(52, qint64(entries) * 4)) {
        for (quint32 i = 0; i < entries; ++i)
            pen.dashes.append(r.u32(52 + i * 4));
    }
    return storeIfWhole(r, pen);
}

bool EmfPlayer::createBrush(const EmfRecord &r)
{
    GdiBrush brush;
    brush.style = GdiBrush::plainStyle(r.u32(12));
    brush.color = r.u32(16);
    brush.hatch = r.u32(20);
    return storeIfWhole(r, brush);
}

bool EmfPlayer::createPatternBrush(const EmfRecord &r)
{
    GdiBrush brush;
    const quint32 usage = r.u32(12);
    // A monochrome brush given as palette indices has no colour table: its
    // bits themselves choose the text (0) or the background colour (1).
    static const QList<QRgb> kBits = { qRgb(0, 0, 0), qRgb(255, 255, 255) };
    const bool bitsOnly = r.type() == EmrCreateMonoBrush && usage == kDibPalIndices;
    QImage image
        = readDib(r, r.u32(16), r.u32(20), r.u32(24), r.u32(28), usage, false, bitsOnly ? &kBits : nullptr);
    if (!r.ok())
        return false;
    if (!image.isNull() && image.width() <= 256 && image.height() <= 256) {
        brush.style = GdiBrush::DibPatternPt;
        if (r.type() == EmrCreateMonoBrush) {
            // Monochrome brushes draw 0 bits in the text colour and 1
            // bits in the background colour.
            QImage mono(image.size(), QImage::Format_Mono);
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x)
                    mono.setPixel(x, y, qGray(image.pixel(x, y)) < 128 ? 0 : 1);
            }
            image = mono;
        }
        brush.pattern = image;
    } else {
        brush.color = 0x808080;
    }
    storeObject(r.u32(8), brush);
    return r.ok();
}

bool EmfPlayer::createFont(const EmfRecord &r)
{
    GdiFont font;
    if (!r.need(12, 28))
        return false;
    readLogFont<qint32>(r, 12, &font);
    for (qint64 off = 40; off + 2 <= 104 && r.has(off, 2); off += 2) {
        const quint16 c = r.u16(off);
        if (c == 0)
            break;
        font.faceName += QChar(c);
    }
    font.height = std::clamp(font.height, -100000000, 100000000);
    storeObject(r.u32(8), font);
    return r.ok();
}

bool EmfPlayer::createPalette(const EmfRecord &r)
{
    GdiPalette palette;
    const quint32 count = r.u16(14);
    if (!r.need(16, qint64(count) * 4))
        return false;
    for (quint32 i = 0; i < count; ++i)
        palette.entries.append(readPaletteEntry(r, 16 + i * 4));
    storeObject(r.u32(8), palette);
    return r.ok();
}

bool EmfPlayer::setPaletteEntries(const EmfRecord &r)
{
    const quint32 index = r.u32(8), start = r.u32(12), count = r.u32(16);
    if (count > 65536 || !r.need(20, qint64(count) * 4))
        return false;
    const GdiObject *object = m_dc.objects().find(int(std::min<quint32>(index, INT_MAX)));
    if (object && std::holds_alternative<GdiPalette>(*object) && start < 65536) {
        GdiPalette palette = std::get<GdiPalette>(*object);
        if (palette.entries.size() < qsizetype(start) + count)
            palette.entries.resize(start + count, qRgb(0, 0, 0));
        for (quint32 i = 0; i < count; ++i)
            palette.entries[start + i] = readPaletteEntry(r, 20 + i * 4);
        storeObject(index, palette);
    }
    return r.ok();
}

bool EmfPlayer::readPoints(const EmfRecord &r, qint64 countOffset, bool small, QPolygonF *points)
{
    const quint32 count = r.u32(countOffset);
    const qint64 pointSize = small ? 4 : 8;
    if (count > quint32(GdiContext::kMaxPoints) || !r.need(countOffset + 4, qint64(count) * pointSize))
        return false;
    points->reserve(count);
    for (quint32 i = 0; i < count; ++i) {
        const qint64 off = countOffset + 4 + i * pointSize;
        points->append(small ? r.point16(off) : r.point32(off));
    }
    return true;
}

bool EmfPlayer::readPolyPoly(const EmfRecord &r, bool small, QList<QPolygonF> *polys)
{
    const quint32 nPolys = r.u32(24), total = r.u32(28);
    const qint64 pointSize = small ? 4 : 8;
    if (nPolys > quint32(GdiContext::kMaxPoints) || total > quint32(GdiContext::kMaxPoints)
        || !r.need(32, qint64(nPolys) * 4) || !r.need(32 + qint64(nPolys) * 4, qint64(total) * pointSize))
        return false;
    qint64 off = 32 + qint64(nPolys) * 4;
    quint64 used = 0;
    for (quint32 i = 0; i < nPolys; ++i) {
        const quint32 n = r.u32(32 + i * 4);
        used += n;
        if (used > total)
            return false; // the counts claim more points than the record holds
        QPolygonF poly;
        poly.reserve(n);
        for (quint32 k = 0; k < n; ++k, off += pointSize)
            poly.append(small ? r.point16(off) : r.point32(off));
        polys->append(poly);
    }
    return true;
}

bool EmfPlayer::readRegion(const EmfRecord &r, qint64 offset, qint64 size, GdiRegion *region)
{
    // RGNDATAHEADER (32 bytes), then nCount RECTLs.
    if (size < 32 || !r.need(offset, size))
        return false;
    const quint32 count = r.u32(offset + 8);
    if (count > quint32(kMaxRegionRects) || qint64(count) * 16 > size - 32)
        return false;
    QList<QRect> rects;
    rects.reserve(count);
    for (quint32 i = 0; i < count; ++i) {
        const qint64 off = offset + 32 + qint64(i) * 16;
        // Coordinates far off any page are pulled in, so nothing overflows.
        auto coord = [&](qint64 at) { return int(std::clamp<qint64>(r.i32(at), -kFarAway, kFarAway)); };
        const QRect rect(QPoint(coord(off), coord(off + 4)), QPoint(coord(off + 8) - 1, coord(off + 12) - 1));
        if (rect.isValid())
            rects.append(rect);
    }
    QRegion qregion;
    qregion.setRects(rects.constData(), int(rects.size()));
    region->path = QPainterPath();
    region->path.addRegion(qregion);
    return true;
}

bool EmfPlayer::polyRecord(const EmfRecord &r)
{
    const quint32 t = r.type();
    const bool small = t >= EmrPolyBezier16;
    QPolygonF points;
    if (!readPoints(r, 24, small, &points))
        return false;
    switch (small ? t - EmrPolyBezier16 + EmrPolyBezier : t) {
    case EmrPolyBezier:
        m_dc.polyBezier(points);
        break;
    case EmrPolygon:
        m_dc.polygon(points);
        break;
    case EmrPolyline:
        m_dc.polyline(points);
        break;
    case EmrPolyBezierTo:
        m_dc.polyBezierTo(points);
        break;
    default:
        m_dc.polylineTo(points);
        break;
    }
    return r.ok();
}

bool EmfPlayer::polyPolyRecord(const EmfRecord &r)
{
    const quint32 t = r.type();
    QList<QPolygonF> polys;
    if (!readPolyPoly(r, t == EmrPolyPolyline16 || t == EmrPolyPolygon16, &polys))
        return false;
    if (t == EmrPolyPolygon || t == EmrPolyPolygon16)
        m_dc.polyPolygon(polys);
    else
        m_dc.polyPolyline(polys);
    return r.ok();
}

bool EmfPlayer::polyDrawRecord(const EmfRecord &r)
{
    const quint32 t = r.type();
    QPolygonF points;
    if (!readPoints(r, 24, t == EmrPolyDraw16, &points))
        return false;
    const qint64 typesAt = 28 + points.size() * (t == EmrPolyDraw16 ? 4 : 8);
    if (!r.need(typesAt, points.size()))
        return false;
    m_dc.polyDraw(points, QByteArray(reinterpret_cast<const char *>(r.data() + typesAt), points.size()));
    return r.ok();
}

bool EmfPlayer::regionRecord(const EmfRecord &r)
{
    const quint32 t = r.type();
    const quint32 cb = r.u32(24);
    const qint64 at = t == EmrFillRgn ? 32 : t == EmrFrameRgn ? 40 : 28;
    GdiRegion region;
    region.device = false;
    if (!readRegion(r, at, cb, &region))
        return false;
    GdiBrush brush = m_dc.state().brush;
    if (t == EmrFillRgn || t == EmrFrameRgn) {
        const quint32 index = r.u32(28);
        GdiObject object;
        if (index & kStockFlag)
            object = stockObject(int(index & ~kStockFlag));
        else if (const GdiObject *stored = m_dc.objects().find(int(std::min<quint32>(index, INT_MAX))))
            object = *stored;
        if (const auto *b = std::get_if<GdiBrush>(&object))
            brush = *b;
    }
    if (t == EmrFillRgn)
        m_dc.fillRegion(region, brush);
    else if (t == EmrFrameRgn)
        m_dc.frameRegion(region, brush, QSizeF(r.i32(32), r.i32(36)));
    else if (t == EmrInvertRgn)
        m_dc.invertRegion(region);
    else
        m_dc.paintRegion(region);
    return r.ok();
}

} // namespace vm

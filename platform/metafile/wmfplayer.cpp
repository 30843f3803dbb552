// Record dispatch, device-context state, shapes, clipping and text.
//
// The player owns the viewport: it is the output image, as for an
// application that places a metafile in a frame. SetMapMode and the
// viewport records are therefore not applied; the window records are, so a
// picture drawn in its own logical units lands on the frame. A standard WMF
// in a fixed metric map mode keeps its y axis upwards.
#include "platform/metafile/wmfplayer.h"

#include <algorithm>

#include "platform/metafile/symbolfont.h"

namespace vm {

WmfPlayer::WmfPlayer(const WmfDocument &doc, GdiContext &dc)
    : m_doc(doc)
    , m_dc(dc)
{
    m_dc.setMapMode(MmAnisotropic);
    m_dc.setViewportOrg(QPointF(0, 0));
    m_dc.setViewportExt(QSizeF(dc.target()->size()));
    const QRectF w = doc.window;
    if (doc.metricMapMode) {
        m_dc.setWindowOrg(w.topLeft());
        m_dc.setWindowExt(QSizeF(w.width(), -w.height()));
    } else {
        m_dc.setWindowOrg(w.topLeft());
        m_dc.setWindowExt(w.size());
    }
    const int slots = std::clamp(doc.objectCount, 1, GdiObjectTable::kMaxSize);
    m_dc.objects().resize(slots);
    for (int i = 0; i < slots; ++i)
        m_free.insert(m_free.end(), i);
}

size_t WmfPlayer::play()
{
    // The budget also stops every primitive once spent, so a record that
    // draws many of them cannot overrun it.
    size_t played = 0;
    for (const WmfRecord &r : m_doc.records) {
        if (!m_dc.budget().chargeRecord())
            break;
        record(r, WmfParams(m_doc.data, r));
        ++played;
    }
    return played;
}

void WmfPlayer::record(const WmfRecord &r, const WmfParams &p)
{
    stateRecord(r.function, p) || objectRecord(r.function, p) || drawRecord(r.function, p)
        || textRecord(r.function, p) || bitmapRecord(r.function, p);
    // Anything else (escapes, flood fills, palette animation) draws nothing here.
}

void WmfPlayer::setWindowOrg(QPointF org)
{
    m_dc.setWindowOrg(org);
}

void WmfPlayer::setWindowExt(QSizeF ext)
{
    // In a fixed map mode GDI ignores the window extent.
    if (!m_doc.metricMapMode)
        m_dc.setWindowExt(ext);
}

bool WmfPlayer::stateRecord(quint16 function, const WmfParams &p)
{
    GdiState &s = m_dc.state();
    switch (function) {
    case WmfSaveDc:
        m_dc.saveDc();
        return true;
    case WmfRestoreDc:
        m_dc.restoreDc(p.word(0));
        return true;
    case WmfSetWindowOrg:
        setWindowOrg(QPointF(p.word(1), p.word(0)));
        return true;
    case WmfSetWindowExt:
        if (p.word(0) != 0 && p.word(1) != 0)
            setWindowExt(QSizeF(p.word(1), p.word(0)));
        return true;
    case WmfOffsetWindowOrg:
        setWindowOrg(s.windowOrg + QPointF(p.word(1), p.word(0)));
        return true;
    case WmfScaleWindowExt:
        if (!m_doc.metricMapMode)
            m_dc.scaleWindowExt(p.word(3), p.word(2), p.word(1), p.word(0));
        return true;
    case WmfSetBkMode:
        if (p.u16(0) == 1 || p.u16(0) == 2)
            s.bkMode = p.u16(0);
        return true;
    case WmfSetBkColor:
        if (p.has(0, 4))
            s.bkColor = p.u32(0);
        return true;
    case WmfSetTextColor:
        if (p.has(0, 4))
            s.textColor = p.u32(0);
        return true;
    case WmfSetTextAlign:
        if (p.has(0, 2))
            s.textAlign = p.u16(0);
        return true;
    case WmfSetPolyFillMode:
        if (p.u16(0) == 1 || p.u16(0) == 2)
            s.fillMode = p.u16(0);
        return true;
    case WmfSetRop2:
        if (p.u16(0) >= 1 && p.u16(0) <= 16)
            s.rop2 = p.u16(0);
        return true;
    case WmfSetStretchBltMode:
        if (p.u16(0) >= 1 && p.u16(0) <= 4)
            s.stretchBltMode = p.u16(0);
        return true;
    case WmfSetTextCharExtra:
        s.textCharExtra = p.word(0);
        return true;
    case WmfSetMapMode:
    case WmfSetViewportOrg:
    case WmfSetViewportExt:
    case WmfOffsetViewportOrg:
    case WmfScaleViewportExt:
    case WmfSetRelAbs:
    case WmfSetMapperFlags:
    case WmfSetLayout:
    case WmfSetTextJustification:
    case WmfRealizePalette:
        return true;
    default:
        return false;
    }
}

QPolygonF WmfPlayer::readPoints(const WmfParams &p, qsizetype offset, int count) const
{
    QPolygonF points;
    const qsizetype available = std::max<qsizetype>(0, (p.size() - offset) / 4);
    const qsizetype n = std::min<qsizetype>(
        { qsizetype(std::max(count, 0)), available, qsizetype(GdiContext::kMaxPoints) });
    points.reserve(n);
    for (qsizetype i = 0; i < n; ++i)
        points.append(p.point(offset + 4 * i));
    return points;
}

bool WmfPlayer::drawRecord(quint16 function, const WmfParams &p)
{
    switch (function) {
    case WmfMoveTo:
        m_dc.moveTo(QPointF(p.word(1), p.word(0)));
        return true;
    case WmfLineTo:
        if (p.has(0, 4))
            m_dc.lineTo(QPointF(p.word(1), p.word(0)));
        return true;
    case WmfPolyline:
    case WmfPolygon: {
        const QPolygonF points = readPoints(p, 2, p.word(0));
        if (function == WmfPolyline)
            m_dc.polyline(points);
        else
            m_dc.polygon(points);
        return true;
    }
    case WmfPolyPolygon: {
        const int count = p.u16(0);
        const qsizetype pointsAt = 2 + 2 * qsizetype(count);
        if (!p.has(0, pointsAt))
            return true;
        QList<QPolygonF> polygons;
        qsizetype at = pointsAt;
        for (int i = 0; i < count && at < p.size(); ++i) {
            const QPolygonF points = readPoints(p, at, p.u16(2 + 2 * i));
            at += 4 * qsizetype(points.size());
            polygons.append(points);
        }
        m_dc.polyPolygon(polygons);
        return true;
    }
    case WmfRectangle:
        if (p.has(0, 8))
            m_dc.rectangle(p.box(0));
        return true;
    case WmfEllipse:
        if (p.has(0, 8))
            m_dc.ellipse(p.box(0));
        return true;
    case WmfRoundRect:
        if (p.has(0, 12))
            m_dc.roundRect(p.box(4), QSizeF(p.word(1), p.word(0)));
        return true;
    case WmfArc:
    case WmfChord:
    case WmfPie: {
        if (!p.has(0, 16))
            return true;
        const QPointF end(p.word(1), p.word(0));
        const QPointF start(p.word(3), p.word(2));
        const QRectF box = p.box(8);
        if (function == WmfArc)
            m_dc.arc(box, start, end);
        else if (function == WmfChord)
            m_dc.chord(box, start, end);
        else
            m_dc.pie(box, start, end);
        return true;
    }
    case WmfSetPixel:
        if (p.has(0, 8))
            m_dc.setPixel(QPointF(p.word(3), p.word(2)), p.u32(0));
        return true;
    case WmfIntersectClipRect:
        if (p.has(0, 8))
            m_dc.intersectClipRect(p.box(0));
        return true;
    case WmfExcludeClipRect:
        if (p.has(0, 8))
            m_dc.excludeClipRect(p.box(0));
        return true;
    case WmfOffsetClipRgn:
        m_dc.offsetClip(QPointF(p.word(1), p.word(0)));
        return true;
    case WmfSelectClipRegion: {
        // A slot without a region resets the clip, as a null region does.
        const auto *region = std::get_if<GdiRegion>(object(p.u16(0)));
        m_dc.selectClipRegion(region, RgnCopy);
        return true;
    }
    case WmfFillRegion:
    case WmfFrameRegion: {
        const auto *region = std::get_if<GdiRegion>(object(p.u16(0)));
        const auto *brush = std::get_if<GdiBrush>(object(p.u16(2)));
        if (region && brush && function == WmfFillRegion)
            m_dc.fillRegion(*region, *brush);
        else if (region && brush && p.has(4, 4))
            m_dc.frameRegion(*region, *brush, QSizeF(p.word(3), p.word(2)));
        return true;
    }
    case WmfInvertRegion:
    case WmfPaintRegion:
        if (const auto *region = std::get_if<GdiRegion>(object(p.u16(0)))) {
            if (function == WmfInvertRegion)
                m_dc.invertRegion(*region);
            else
                m_dc.paintRegion(*region);
        }
        return true;
    default:
        return false;
    }
}

QString WmfPlayer::decodeText(const QByteArray &bytes, QList<double> *dx) const
{
    const GdiFont &font = m_dc.state().font;
    if (isSymbolFace(font.faceName))
        return decodeSymbolText(bytes); // one character per byte: dx stays as it is
    return GdiContext::decodeText(bytes, font.charSet, dx);
}

bool WmfPlayer::textRecord(quint16 function, const WmfParams &p)
{
    if (function == WmfTextOut) {
        const int length = p.u16(0);
        const qsizetype at = 2 + ((qsizetype(length) + 1) & ~qsizetype(1));
        if (!p.has(2, length) || !p.has(at, 4))
            return true;
        const QByteArray bytes(p.data() + 2, length);
        m_dc.textOut(QPointF(p.s16(at + 2), p.s16(at)), decodeText(bytes, nullptr), {});
        return true;
    }
    if (function != WmfExtTextOut)
        return false;
    if (!p.has(0, 8))
        return true;
    const QPointF reference(p.word(1), p.word(0));
    const int length = std::max<int>(p.word(2), 0);
    const quint32 options = p.u16(6);
    qsizetype at = 8;
    QRectF box;
    if ((options & (EtoOpaque | EtoClipped)) && p.has(at, 8)) {
        box = QRectF(QPointF(p.s16(at), p.s16(at + 2)), QPointF(p.s16(at + 4), p.s16(at + 6)));
        at += 8;
    }
    // A string longer than the record is cut to what the record holds.
    const qsizetype have = std::clamp<qsizetype>(p.size() - at, 0, length);
    const QByteArray bytes = have > 0 ? QByteArray(p.data() + at, have) : QByteArray();
    at += (qsizetype(length) + 1) & ~qsizetype(1);
    QList<double> dx;
    if (have == length && p.has(at, 2 * qsizetype(length))) {
        dx.reserve(length);
        for (int i = 0; i < length; ++i)
            dx.append(p.s16(at + qsizetype(2) * i));
    }
    const QString text = decodeText(bytes, dx.isEmpty() ? nullptr : &dx);
    m_dc.textOut(reference, text, dx, options, box);
    return true;
}

} // namespace vm

// The WMF handle table: object records, each new object at the lowest free
// slot, and the readers of the object structures.
#include <algorithm>

#include "platform/codecs/dib.h"
#include "platform/metafile/wmfplayer.h"

namespace vm {

namespace {

constexpr int kBsPattern = 3;
// Clip operations on a path cost far more than linearly in its rectangles;
// a region with more than this is taken as its bounding box.
constexpr int kMaxRegionRects = 2000;

GdiPen readPen(const WmfParams &p)
{
    return p.has(0, 10) ? readLogPen<qint16>(p, 0) : GdiPen();
}

GdiBrush readBrush(const WmfParams &p)
{
    GdiBrush brush;
    if (!p.has(0, 6))
        return brush;
    brush.style = GdiBrush::plainStyle(p.u16(0));
    brush.color = p.u32(2);
    brush.hatch = p.has(6, 2) ? p.u16(6) : 0;
    return brush;
}

} // namespace

GdiFont WmfPlayer::readFont(const WmfParams &p) const
{
    GdiFont font;
    if (!p.has(0, 18))
        return font;
    readLogFont<qint16>(p, 0, &font);
    font.width = std::abs(font.width);
    const qsizetype room = std::clamp<qsizetype>(p.size() - 18, 0, 32);
    QByteArray face(p.data() + 18, room);
    const qsizetype nul = face.indexOf('\0');
    if (nul >= 0)
        face.truncate(nul);
    font.faceName = GdiContext::decodeText(face, font.charSet).trimmed();
    return font;
}

GdiPalette WmfPlayer::readPalette(const WmfParams &p) const
{
    GdiPalette palette;
    const int count = p.u16(2);
    for (int i = 0; i < count && p.has(4 + 4 * qsizetype(i), 4); ++i) {
        const qsizetype at = 4 + 4 * qsizetype(i);
        palette.entries.append(readPaletteEntry(p, at));
    }
    return palette;
}

// A region is a list of scans, each a band of rows with its spans.
GdiRegion WmfPlayer::readRegion(const WmfParams &p) const
{
    GdiRegion region;
    region.device = false;
    region.path.setFillRule(Qt::WindingFill);
    if (!p.has(0, 22))
        return region;
    const int scans = std::max<int>(p.s16(10), 0);
    const QRectF bounds(QPointF(p.s16(14), p.s16(16)), QPointF(p.s16(18), p.s16(20)));
    qsizetype at = 22;
    int rects = 0;
    for (int i = 0; i < scans && p.has(at, 6); ++i) {
        const int count = p.u16(at);
        const double top = p.s16(at + 2), bottom = p.s16(at + 4);
        qsizetype span = at + 6;
        for (int k = 0; k + 1 < count && p.has(span, 4); k += 2, span += 4) {
            const double left = p.s16(span), right = p.s16(span + 2);
            if (right > left && bottom > top) {
                region.path.addRect(QRectF(QPointF(left, top), QPointF(right, bottom)));
                ++rects;
            }
        }
        at += 6 + 2 * qsizetype(count) + 2;
    }
    // Some writers give only the bounding box.
    if ((scans == 0 || rects > kMaxRegionRects) && bounds.width() > 0 && bounds.height() > 0) {
        region.path = QPainterPath();
        region.path.addRect(bounds);
    }
    return region;
}

void WmfPlayer::addObject(GdiObject object)
{
    GdiObjectTable &table = m_dc.objects();
    if (m_free.empty()) {
        // The header promised too few slots; grow rather than lose objects.
        const int old = table.size();
        table.resize(std::min(old * 2 + 16, GdiObjectTable::kMaxSize));
        for (int i = old; i < table.size(); ++i)
            m_free.insert(m_free.end(), i);
        if (m_free.empty())
            return; // a full table of 65535 objects: the object is lost, as in GDI
    }
    const int slot = *m_free.begin();
    m_free.erase(m_free.begin());
    table.store(slot, std::move(object));
}

void WmfPlayer::deleteObject(int index)
{
    if (m_dc.objects().remove(index))
        m_free.insert(index);
}

const GdiObject *WmfPlayer::object(int index)
{
    return m_dc.objects().find(index);
}

void WmfPlayer::selectObject(int index)
{
    m_dc.selectObjectAt(index);
}

bool WmfPlayer::objectRecord(quint16 function, const WmfParams &p)
{
    switch (function) {
    case WmfCreatePenIndirect:
        addObject(readPen(p));
        return true;
    case WmfCreateBrushIndirect:
        addObject(readBrush(p));
        return true;
    case WmfCreateFontIndirect:
        addObject(readFont(p));
        return true;
    case WmfCreatePalette:
        addObject(readPalette(p));
        return true;
    case WmfCreateRegion:
        addObject(readRegion(p));
        return true;
    case WmfCreatePatternBrush: {
        // Bitmap16 header, 18 reserved bytes, then the pattern bits.
        GdiBrush brush;
        brush.style = GdiBrush::Pattern;
        brush.pattern = readBitmap16(p, 0, 28);
        if (brush.pattern.isNull())
            brush.style = GdiBrush::Solid;
        addObject(brush);
        return true;
    }
    case WmfDibCreatePatternBrush: {
        // BS_PATTERN: a recorded bitmap brush, its colours always RGB; a
        // monochrome one takes the text and background colours where drawn.
        GdiBrush brush;
        const bool bitmapPattern = p.u16(0) == kBsPattern;
        brush.style = GdiBrush::DibPatternPt;
        brush.pattern = readDib(p, 4, bitmapPattern ? 0 : p.u16(2));
        const std::optional<DibHeader> h
            = p.has(4, 12) ? parseDibHeader(p.data() + 4, p.size() - 4) : std::nullopt;
        if (bitmapPattern && h && h->bitCount == 1 && !brush.pattern.isNull())
            brush.pattern = brush.pattern.convertToFormat(
                QImage::Format_Mono, QList<QRgb> { qRgb(0, 0, 0), qRgb(255, 255, 255) }, Qt::ThresholdDither);
        if (brush.pattern.isNull())
            brush.style = GdiBrush::Solid;
        addObject(brush);
        return true;
    }
    case WmfSetPalEntries: {
        // Changes entries of the selected palette from `start` on.
        QList<QRgb> &entries = m_dc.state().palette.entries;
        const int start = p.u16(0);
        const int count = p.u16(2);
        for (int i = 0; i < count && p.has(4 + 4 * qsizetype(i), 4); ++i) {
            const qsizetype at = 4 + 4 * qsizetype(i);
            if (start + i >= entries.size()) {
                if (start + i >= 4096)
                    break;
                entries.resize(start + i + 1, qRgb(0, 0, 0));
            }
            entries[start + i] = readPaletteEntry(p, at);
        }
        return true;
    }
    case WmfDeleteObject:
        deleteObject(p.u16(0));
        return true;
    case WmfSelectObject:
    case WmfSelectPalette:
        selectObject(p.u16(0));
        return true;
    default:
        return false;
    }
}

} // namespace vm

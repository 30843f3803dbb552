// An EMF carried inside a WMF: writers that convert an enhanced metafile
// down to WMF keep the original in META_ESCAPE MFCOMMENT records, split in
// chunks. When the WMF records themselves draw nothing, the carried EMF is
// the picture.
#include <QtEndian>

#include "platform/metafile/wmfembedded.h"

namespace vm {

namespace {

constexpr quint16 kMfComment = 0x000F;
constexpr quint32 kWmfcIdentifier = 0x43464D57; // "WMFC"
constexpr qsizetype kChunkHead = 38; // escape head and the comment's fields

bool isDrawing(quint16 function)
{
    switch (function) {
    case WmfLineTo: case WmfPolyline: case WmfPolygon: case WmfPolyPolygon: case WmfRectangle:
    case WmfEllipse: case WmfRoundRect: case WmfArc: case WmfPie: case WmfChord: case WmfSetPixel:
    case WmfTextOut: case WmfExtTextOut: case WmfPatBlt: case WmfStretchDib: case WmfDibStretchBlt:
    case WmfDibBitBlt: case WmfSetDibToDev: case WmfBitBlt: case WmfStretchBlt: case WmfFillRegion:
    case WmfFrameRegion: case WmfInvertRegion: case WmfPaintRegion:
        return true;
    default:
        return false;
    }
}

} // namespace

bool drawsNothing(const WmfDocument &doc)
{
    for (const WmfRecord &r : doc.records) {
        if (isDrawing(r.function))
            return false;
    }
    return true;
}

QByteArray embeddedEmf(const WmfDocument &doc)
{
    QByteArray emf;
    qint64 expected = -1;
    for (const WmfRecord &r : doc.records) {
        if (r.function != WmfEscape || r.size < kChunkHead)
            continue;
        const WmfParams p(doc.data, r);
        if (p.u16(0) != kMfComment || p.u32(4) != kWmfcIdentifier || p.u32(8) != 1)
            continue;
        const quint32 chunk = p.u32(26);
        const quint32 total = p.u32(34);
        if (expected < 0)
            expected = total;
        if (total != expected || !p.has(kChunkHead, chunk) || emf.size() + qint64(chunk) > expected)
            return {};
        emf.append(p.data() + kChunkHead, chunk);
    }
    return expected > 0 && emf.size() == expected ? emf : QByteArray();
}

} // namespace vm

// EMF records that carry bitmaps, text and comments.
#include "platform/codecs/dib.h"
#include "platform/metafile/emfformat.h"
#include "platform/metafile/emfplayer.h"
#include "platform/metafile/symbolfont.h"
#include "platform/rasterop.h"

#include <cmath>

namespace vm {

namespace {

constexpr quint32 kDibPalColors = 1;
constexpr quint32 kDibPalIndices = 2;
constexpr quint32 kMaxTextChars = 65536;
constexpr quint32 kEtoNoRect = 0x100, kEtoSmallChars = 0x200;

// Source rectangle of a DIB read from the bottom-left corner, as
// StretchDIBits and SetDIBitsToDevice count it for bottom-up bitmaps.
QRectF bottomUpSource(const QImage &image, double x, double y, double w, double h)
{
    return QRectF(x, image.height() - y - h, w, h);
}

} // namespace

QImage EmfPlayer::readDib(const EmfRecord &r, qint64 bmiOffset, qint64 bmiSize, qint64 bitsOffset,
    qint64 bitsSize, quint32 usage, bool alpha, const QList<QRgb> *indexColours)
{
    if (!r.need(bmiOffset, bmiSize) || !r.need(bitsOffset, bitsSize))
        return QImage();
    DibOptions options;
    options.alpha32 = alpha;
    options.indexColours = indexColours;
    if (usage == kDibPalColors)
        options.paletteIndices = &m_dc.state().palette.entries;
    // No colour table: the pixels index the selected palette themselves.
    if (usage == kDibPalIndices && !indexColours)
        options.indexColours = &m_dc.state().palette.entries;
    return decodeDib(reinterpret_cast<const char *>(r.data() + bmiOffset), bmiSize,
        reinterpret_cast<const char *>(r.data() + bitsOffset), bitsSize, options);
}

bool EmfPlayer::bltRecord(const EmfRecord &r)
{
    const quint32 t = r.type();
    const QRectF dest(r.i32(24), r.i32(28), r.i32(32), r.i32(36));
    const quint32 rop = r.u32(40);
    const double xSrc = r.i32(44), ySrc = r.i32(48);
    const QTransform xformSrc(r.f32(52), r.f32(56), r.f32(60), r.f32(64), r.f32(68), r.f32(72));
    const quint32 usage = r.u32(80), offBmi = r.u32(84), cbBmi = r.u32(88), offBits = r.u32(92),
                  cbBits = r.u32(96);
    if (!r.ok())
        return false;
    if (cbBmi == 0) {
        // No source bitmap: the raster operation uses the brush only.
        m_dc.patBlt(dest, t == EmrBitBlt || t == EmrStretchBlt || t == EmrMaskBlt ? rop : kSrcCopy);
        return r.ok();
    }
    QImage image = readDib(r, offBmi, cbBmi, offBits, cbBits, usage, t == EmrAlphaBlend);
    if (!r.ok())
        return false;
    if (image.isNull())
        return true; // a bitmap we cannot decode is left out
    QSizeF srcSize = dest.size();
    if (t != EmrBitBlt && t != EmrMaskBlt)
        srcSize = QSizeF(r.i32(100), r.i32(104));
    // The source transform usually only scales from logical to bitmap units.
    QRectF src(xSrc, ySrc, srcSize.width(), srcSize.height());
    if (!xformSrc.isIdentity() && xformSrc.isAffine() && !xformSrc.isRotating()
        && std::abs(xformSrc.determinant()) > 1e-9)
        src = xformSrc.mapRect(src);
    if (t == EmrAlphaBlend) {
        const int constantAlpha = int((rop >> 16) & 0xFF);
        const bool perPixel = (rop >> 24) & 1;
        m_dc.alphaBlend(dest, image, src, constantAlpha, perPixel);
    } else if (t == EmrTransparentBlt) {
        // dwRop holds the colour that stays transparent.
        const QColor key = m_dc.color(rop);
        image = image.convertToFormat(QImage::Format_ARGB32);
        const QRgb keyRgb = key.rgb() & 0xFFFFFF;
        for (int y = 0; y < image.height(); ++y) {
            QRgb *line = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                if ((line[x] & 0xFFFFFF) == keyRgb)
                    line[x] = 0;
            }
        }
        m_dc.drawBitmap(dest, image, src, kSrcCopy);
    } else if (t == EmrMaskBlt) {
        // Where the mask is 0 the background operation applies; files use
        // it almost only to leave the destination alone (0xAA).
        const QImage mask = readDib(r, r.u32(112), r.u32(116), r.u32(120), r.u32(124), 0);
        if (!r.ok())
            return false;
        const bool keepBackground = ((rop >> 24) & 0xFF) == 0xAA;
        if (!mask.isNull() && keepBackground) {
            image = image.convertToFormat(QImage::Format_ARGB32);
            // Mask offset relative to the source; anything beyond the
            // bitmap sizes just misses the mask.
            const int mx = int(std::clamp<qint64>(qint64(r.i32(100)) - qint64(xSrc), -65536, 65536));
            const int my = int(std::clamp<qint64>(qint64(r.i32(104)) - qint64(ySrc), -65536, 65536));
            for (int y = 0; y < image.height(); ++y) {
                QRgb *line = reinterpret_cast<QRgb *>(image.scanLine(y));
                for (int x = 0; x < image.width(); ++x) {
                    const QPoint m(x + mx, y + my);
                    if (mask.rect().contains(m) && qGray(mask.pixel(m)) < 128)
                        line[x] = 0;
                }
            }
        }
        m_dc.drawBitmap(dest, image, src, (rop & 0x00FF0000) | 0x0020);
    } else {
        m_dc.drawBitmap(dest, image, src, rop);
    }
    return r.ok();
}

bool EmfPlayer::diBitsRecord(const EmfRecord &r)
{
    const quint32 t = r.type();
    const bool stretch = t == EmrStretchDiBits;
    const double xDest = r.i32(24), yDest = r.i32(28), xSrc = r.i32(32), ySrc = r.i32(36);
    const double cxSrc = r.i32(40), cySrc = r.i32(44);
    const quint32 offBmi = r.u32(48), cbBmi = r.u32(52), offBits = r.u32(56), cbBits = r.u32(60);
    const quint32 usage = r.u32(64);
    const quint32 rop = stretch ? r.u32(68) : kSrcCopy;
    const QSizeF destSize = stretch ? QSizeF(r.i32(72), r.i32(76)) : QSizeF(cxSrc, cySrc);
    if (!r.ok())
        return false;
    if (cbBmi == 0) {
        m_dc.patBlt(QRectF(QPointF(xDest, yDest), destSize), rop);
        return r.ok();
    }
    const QImage image = readDib(r, offBmi, cbBmi, offBits, cbBits, usage);
    if (!r.ok())
        return false;
    if (image.isNull())
        return r.ok();
    const std::optional<DibHeader> header
        = parseDibHeader(reinterpret_cast<const char *>(r.data() + offBmi), cbBmi);
    const bool topDown = header && header->topDown;
    const QRectF src
        = topDown ? QRectF(xSrc, ySrc, cxSrc, cySrc) : bottomUpSource(image, xSrc, ySrc, cxSrc, cySrc);
    m_dc.drawBitmap(QRectF(QPointF(xDest, yDest), destSize), image, src, rop);
    return r.ok();
}

bool EmfPlayer::gradientFillRecord(const EmfRecord &r)
{
    const quint32 nVer = r.u32(24), nTri = r.u32(28), mode = r.u32(32);
    const qint64 per = mode == 2 ? 3 : 2;
    if (nVer > 1'000'000 || nTri > 1'000'000 || !r.need(36, qint64(nVer) * 16)
        || !r.need(36 + qint64(nVer) * 16, qint64(nTri) * per * 4))
        return false;
    QList<GradientVertex> vertices;
    for (quint32 i = 0; i < nVer; ++i) {
        const qint64 off = 36 + qint64(i) * 16;
        vertices.append(
            { r.point32(off), QColor(r.u16(off + 8) >> 8, r.u16(off + 10) >> 8, r.u16(off + 12) >> 8) });
    }
    QList<int> indices;
    const qint64 at = 36 + qint64(nVer) * 16;
    for (qint64 i = 0; i < qint64(nTri) * per; ++i)
        indices.append(int(std::min<quint32>(r.u32(at + i * 4), INT_MAX)));
    m_dc.gradientFill(vertices, indices, int(mode));
    return r.ok();
}

bool EmfPlayer::drawText(const EmfRecord &r, qint64 base, bool wide)
{
    // EMRTEXT: reference, nChars, offString, options, rectangle, offDx.
    const QPointF reference = r.point32(base);
    const quint32 nChars = r.u32(base + 8), offString = r.u32(base + 12), options = r.u32(base + 16);
    const QRectF box = r.rect32(base + 20);
    const quint32 offDx = r.u32(base + 36);
    if (!r.ok() || nChars > kMaxTextChars)
        return false;
    const qint64 charSize = wide ? 2 : 1;
    if (nChars > 0 && !r.need(offString, qint64(nChars) * charSize))
        return false;
    QList<double> dx;
    const qint64 dxStride = (options & EtoPdy) ? 8 : 4;
    if (offDx != 0 && nChars > 0 && r.has(offDx, qint64(nChars) * dxStride)) {
        dx.reserve(nChars);
        for (quint32 i = 0; i < nChars; ++i)
            dx.append(r.i32(offDx + i * dxStride));
    }
    QString text;
    if (options & EtoGlyphIndex) {
        // Glyph numbers of the recording font: not mappable to characters
        // here, so only the background box is drawn.
        m_dc.textOut(reference, QString(), {}, options, box);
        return true;
    }
    const bool symbol = isSymbolFace(m_dc.state().font.faceName);
    if (wide) {
        text.reserve(nChars);
        QByteArray symbolCodes;
        for (quint32 i = 0; i < nChars; ++i) {
            const quint16 c = r.u16(offString + i * 2);
            // Symbol text comes as its 8-bit codes, bare or in the F0xx range.
            if (symbol && (c < 0x100 || (c >= 0xF000 && c < 0xF100)))
                symbolCodes.append(char(c & 0xFF));
            text += QChar(c);
        }
        if (symbol && symbolCodes.size() == qsizetype(nChars))
            text = decodeSymbolText(symbolCodes);
    } else {
        const QByteArray bytes(reinterpret_cast<const char *>(r.data() + offString), nChars);
        text = symbol ? decodeSymbolText(bytes)
                      : GdiContext::decodeText(bytes, m_dc.state().font.charSet, &dx);
    }
    m_dc.textOut(reference, text, dx, options, box);
    return r.ok();
}

bool EmfPlayer::polyTextOut(const EmfRecord &r)
{
    const quint32 count = r.u32(36);
    if (count > 100000 || !r.need(40, qint64(count) * 40))
        return false;
    for (quint32 i = 0; i < count; ++i) {
        if (!drawText(r, 40 + qint64(i) * 40, r.type() == EmrPolyTextOutW))
            return false;
    }
    return r.ok();
}

bool EmfPlayer::smallTextOut(const EmfRecord &r)
{
    // Reference, count, options, graphics mode and scales, an optional
    // clip rectangle, then 8-bit or 16-bit characters.
    const QPointF reference = r.point32(8);
    const quint32 nChars = r.u32(16), options = r.u32(20);
    const bool hasRect = !(options & kEtoNoRect);
    const QRectF box = hasRect ? r.rect32(36) : QRectF();
    const qint64 at = hasRect ? 52 : 36;
    const bool narrow = options & kEtoSmallChars;
    if (!r.ok() || nChars > kMaxTextChars || !r.need(at, qint64(nChars) * (narrow ? 1 : 2)))
        return false;
    QString text;
    if (narrow) {
        const QByteArray bytes(reinterpret_cast<const char *>(r.data() + at), nChars);
        text = isSymbolFace(m_dc.state().font.faceName)
            ? decodeSymbolText(bytes)
            : GdiContext::decodeText(bytes, m_dc.state().font.charSet);
    } else {
        for (quint32 i = 0; i < nChars; ++i)
            text += QChar(r.u16(at + qint64(i) * 2));
    }
    m_dc.textOut(reference, text, {}, options & (EtoOpaque | EtoClipped), box);
    return r.ok();
}

} // namespace vm

// Bitmap records: the DIB forms (StretchDIB, DIBStretchBlt, DIBBitBlt,
// SetDIBitsToDevice), the old device-dependent forms (BitBlt, StretchBlt
// with a Bitmap16), and PatBlt; blits without a bitmap are pattern
// operations.
#include <algorithm>

#include "platform/codecs/dib.h"
#include "platform/codecs/extent.h"
#include "platform/metafile/wmfplayer.h"

namespace vm {

namespace {

constexpr int kDibPalColors = 1;
constexpr int kDibPalIndices = 2;

// Blit records come in two lengths; the short one has no bitmap, and one
// reserved word more before the destination.
bool hasBitmap(quint16 function, const WmfParams &p)
{
    return p.size() + 6 != qsizetype(2) * ((function >> 8) + 3);
}

} // namespace

QImage WmfPlayer::readDib(const WmfParams &p, qsizetype offset, int colorUsage) const
{
    if (!p.has(offset, 0))
        return {};
    DibOptions options;
    if (colorUsage == kDibPalColors)
        options.paletteIndices = &m_dc.state().palette.entries;
    // No colour table: the pixels index the selected palette themselves.
    if (colorUsage == kDibPalIndices)
        options.indexColours = &m_dc.state().palette.entries;
    return decodePackedDib(p.data() + offset, p.size() - offset, options);
}

// A device-dependent bitmap: header at `offset`, bits at `bitsOffset`.
// One plane of 1, 24 or 32 bits per pixel; a 1-bpp bitmap comes back as
// Format_Mono so that it takes the text and background colours where drawn.
QImage WmfPlayer::readBitmap16(const WmfParams &p, qsizetype offset, qsizetype bitsOffset)
{
    if (!p.has(offset, 10))
        return {};
    const int width = p.s16(offset + 2);
    const int height = p.s16(offset + 4);
    const int widthBytes = p.s16(offset + 6);
    const int planes = p.u8(offset + 8);
    const int bpp = p.u8(offset + 9);
    if (width <= 0 || height <= 0 || planes != 1 || (bpp != 1 && bpp != 24 && bpp != 32)
        || width > kMaxPictureSide || height > kMaxPictureSide || qint64(width) * height > kMaxPicturePixels)
        return {};
    if (widthBytes < (qint64(width) * bpp + 7) / 8 || !p.has(bitsOffset, qsizetype(widthBytes) * height))
        return {};
    QImage image(width, height, bpp == 1 ? QImage::Format_Mono : QImage::Format_RGB32);
    if (image.isNull())
        return {};
    if (bpp == 1) {
        image.setColorCount(2);
        image.setColor(0, qRgb(0, 0, 0));
        image.setColor(1, qRgb(255, 255, 255));
    }
    const auto *bits = reinterpret_cast<const uchar *>(p.data() + bitsOffset);
    for (int y = 0; y < height; ++y) {
        const uchar *row = bits + qsizetype(widthBytes) * y;
        if (bpp == 1) {
            std::copy_n(row, (width + 7) / 8, image.scanLine(y));
            continue;
        }
        auto *out = reinterpret_cast<QRgb *>(image.scanLine(y));
        const int step = bpp / 8;
        for (int x = 0; x < width; ++x)
            out[x]
                = qRgb(row[qsizetype(x) * step + 2], row[qsizetype(x) * step + 1], row[qsizetype(x) * step]);
    }
    return image;
}

QImage WmfPlayer::readBitmap16(const WmfParams &p, qsizetype offset)
{
    return readBitmap16(p, offset, offset + 10);
}

void WmfPlayer::blit(const QRectF &dest, const QImage &image, QRectF source, quint32 rop)
{
    if (image.isNull())
        return;
    QImage drawn = image;
    if (image.format() == QImage::Format_Mono) {
        // A monochrome bitmap: 0 bits take the text colour, 1 bits the background.
        drawn.setColor(0, m_dc.color(m_dc.state().textColor).rgb());
        drawn.setColor(1, m_dc.color(m_dc.state().bkColor).rgb());
        drawn = drawn.convertToFormat(QImage::Format_RGB32);
    }
    if (source.isEmpty() && source.width() >= 0 && source.height() >= 0)
        source = QRectF(drawn.rect());
    m_dc.drawBitmap(dest, drawn, source, rop);
}

bool WmfPlayer::bitmapRecord(quint16 function, const WmfParams &p)
{
    const quint32 rop = p.u32(0);
    switch (function) {
    case WmfPatBlt:
        if (p.has(0, 12))
            m_dc.patBlt(QRectF(p.word(5), p.word(4), p.word(3), p.word(2)), rop);
        return true;
    case WmfStretchDib: {
        if (!p.has(0, 22))
            return true;
        const QImage image = readDib(p, 22, p.u16(4));
        const QRectF dest(p.word(10), p.word(9), p.word(8), p.word(7));
        QRectF source(p.word(6), p.word(5), p.word(4), p.word(3));
        // StretchDIBits measures the source from the bottom of a bottom-up DIB.
        const std::optional<DibHeader> h = parseDibHeader(p.data() + 22, p.size() - 22);
        if (h && !h->topDown)
            source.moveTop(h->height - source.top() - source.height());
        blit(dest, image, source, rop);
        return true;
    }
    case WmfDibStretchBlt:
    case WmfStretchBlt: {
        if (!hasBitmap(function, p)) {
            if (p.has(0, 22))
                m_dc.patBlt(QRectF(p.word(10), p.word(9), p.word(8), p.word(7)), rop);
            return true;
        }
        if (!p.has(0, 20))
            return true;
        const QImage image = function == WmfDibStretchBlt ? readDib(p, 20, 0) : readBitmap16(p, 20);
        blit(QRectF(p.word(9), p.word(8), p.word(7), p.word(6)), image,
            QRectF(p.word(5), p.word(4), p.word(3), p.word(2)), rop);
        return true;
    }
    case WmfDibBitBlt:
    case WmfBitBlt: {
        if (!hasBitmap(function, p)) {
            if (p.has(0, 18))
                m_dc.patBlt(QRectF(p.word(8), p.word(7), p.word(6), p.word(5)), rop);
            return true;
        }
        if (!p.has(0, 16))
            return true;
        const QImage image = function == WmfDibBitBlt ? readDib(p, 16, 0) : readBitmap16(p, 16);
        const QSizeF size(p.word(5), p.word(4));
        blit(QRectF(QPointF(p.word(7), p.word(6)), size), image, QRectF(QPointF(p.word(3), p.word(2)), size),
            rop);
        return true;
    }
    case WmfSetDibToDev: {
        if (!p.has(0, 18))
            return true;
        const QImage image = readDib(p, 18, p.u16(0));
        const std::optional<DibHeader> h = parseDibHeader(p.data() + 18, p.size() - 18);
        const QSizeF size(p.word(6), p.word(5));
        QRectF source(QPointF(p.word(4), p.word(3)), size);
        if (h && !h->topDown)
            source.moveTop(h->height - source.top() - source.height());
        blit(QRectF(QPointF(p.word(8), p.word(7)), size), image, source, 0x00CC0020);
        return true;
    }
    default:
        return false;
    }
}

} // namespace vm

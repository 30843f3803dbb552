#include "platform/codecs/dib.h"

#include <QBuffer>
#include <QImageReader>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <limits>
#include <bit>
#include <vector>

#include "platform/codecs/extent.h"
#include "platform/codecs/pngchunks.h"

namespace vm {

namespace {

quint16 u16(const char *p)
{
    return qFromLittleEndian<quint16>(p);
}
quint32 u32(const char *p)
{
    return qFromLittleEndian<quint32>(p);
}
qint32 s32(const char *p)
{
    return qFromLittleEndian<qint32>(p);
}

bool sizeWithinBounds(qint64 w, qint64 h)
{
    return w > 0 && h > 0 && pictureSizeFits(w, h);
}

template <typename T> T fail(DibError *error, DibError why, T result = {})
{
    if (error)
        *error = why;
    return result;
}

// One colour channel of a bit-field pixel, scaled to 8 bits.
struct Channel {
    quint32 mask = 0;
    int shift = 0;
    quint64 max = 0;

    explicit Channel(quint32 m)
        : mask(m)
    {
        if (!m)
            return;
        shift = std::countr_zero(m);
        const int bits = int(std::bit_width(m >> shift));
        max = (quint64(1) << bits) - 1;
    }
    int operator()(quint32 pixel) const
    {
        if (!max)
            return 0;
        return int((quint64((pixel & mask) >> shift) * 255 + max / 2) / max);
    }
};

std::vector<QRgb> readColorTable(
    const DibHeader &h, const char *info, qsizetype infoSize, const DibOptions &options)
{
    std::vector<QRgb> table;
    if (h.bitCount > 8)
        return table;
    table.assign(size_t(1) << h.bitCount, qRgb(0, 0, 0));
    if (options.indexColours) {
        for (size_t i = 0; i < table.size() && qsizetype(i) < options.indexColours->size(); ++i)
            table[i] = options.indexColours->at(qsizetype(i)) | 0xff000000u;
        return table;
    }
    const qint64 start = h.headerSize + h.maskBytes;
    for (int i = 0; i < h.paletteEntries; ++i) {
        const qint64 at = start + qint64(i) * h.paletteEntrySize;
        if (at + h.paletteEntrySize > infoSize)
            break; // a short table leaves the rest black
        const char *e = info + at;
        if (options.paletteIndices) {
            const int index = u16(e);
            if (index < options.paletteIndices->size())
                table[i] = options.paletteIndices->at(index) | 0xff000000u;
        } else {
            table[i] = qRgb(quint8(e[2]), quint8(e[1]), quint8(e[0]));
        }
    }
    return table;
}

// Run-length bits. `row` counts rows as they come in the stream (bottom first).
QImage decodeRle(const DibHeader &h, const std::vector<QRgb> &table, const char *bits, qsizetype size,
    const DibOptions &options, DibError *error)
{
    // Skipped pixels that take index 0 leave nothing transparent.
    QImage image(
        h.width, h.height, options.rleSkipTransparent ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (image.isNull())
        return fail<QImage>(error, DibError::OutOfMemory);
    image.fill(options.rleSkipTransparent ? 0u : table[0]);
    // 256 entries, so the pixel loop indexes by the byte without a division
    // (the table holds 16 or 256 colours).
    std::array<QRgb, 256> colours {};
    for (size_t i = 0; i < colours.size(); ++i)
        colours[i] = table[i % table.size()];
    const auto *p = reinterpret_cast<const quint8 *>(bits);
    const quint8 *end = p + size;
    const bool four = h.compression == DibRle4;
    int x = 0;
    int row = 0;
    auto line = [&](int r) { return reinterpret_cast<QRgb *>(image.scanLine(h.height - 1 - r)); };
    QRgb *out = line(0);
    auto put = [&](int index) {
        if (x < h.width) // past the row's end, pixels are dropped until its end-of-line
            out[x++] = colours[size_t(index) & 0xFF];
    };
    while (end - p >= 2) {
        const int count = p[0];
        const int value = p[1];
        p += 2;
        if (count > 0) {
            if (!four) {
                const int n = std::min(count, h.width - x);
                std::fill_n(out + x, std::max(n, 0), colours[size_t(value)]);
                x += std::max(n, 0);
                continue;
            }
            for (int i = 0; i < count && x < h.width; ++i)
                put((i & 1) ? value & 15 : value >> 4);
            continue;
        }
        if (value == 0) { // end of line
            x = 0;
            if (++row >= h.height)
                break;
            out = line(row);
        } else if (value == 1) { // end of bitmap
            break;
        } else if (value == 2) { // delta
            if (end - p < 2)
                break;
            x = std::min(x + p[0], h.width);
            row += p[1];
            p += 2;
            if (row >= h.height)
                break;
            out = line(row);
        } else { // absolute run of `value` pixels, padded to a word
            const qint64 bytes = four ? (value + 1) / 2 : value;
            const qint64 have = std::min<qint64>(bytes, end - p);
            if (options.rle8CutRunIsDamage && !four && have < std::min(value, std::max(h.width - x, 0)))
                return fail<QImage>(error, DibError::Malformed);
            for (int i = 0; i < value; ++i) {
                const qint64 at = four ? i / 2 : i;
                if (at >= have)
                    break;
                put(four ? ((i & 1) ? p[at] & 15 : p[at] >> 4) : p[at]);
            }
            p += std::min<qint64>((bytes + 1) & ~qint64(1), end - p);
        }
    }
    return image;
}

QImage decodeEmbedded(const DibHeader &h, const char *bits, qsizetype size)
{
    if (h.sizeImage > 0 && h.sizeImage < quint64(size))
        size = h.sizeImage;
    QByteArray data = QByteArray::fromRawData(bits, size);
    if (h.compression != DibJpeg && !pngChunksFit(data))
        return {};
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, h.compression == DibJpeg ? "jpeg" : "png");
    const QSize natural = reader.size();
    if (!natural.isValid() || !sizeWithinBounds(natural.width(), natural.height()))
        return {};
    QImage image;
    if (!reader.read(&image) || image.isNull())
        return {};
    image = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (image.size() != QSize(h.width, h.height))
        image = image.scaled(h.width, h.height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image;
}

} // namespace

std::optional<DibHeader> parseDibHeader(
    const char *info, qsizetype infoSize, const DibOptions &options, DibError *error)
{
    if (error)
        *error = DibError::Malformed;
    if (!info || infoSize < 12)
        return std::nullopt;
    DibHeader h;
    const quint32 headerSize = u32(info);
    if (headerSize == 12) {
        h.headerSize = 12;
        h.core = true;
        h.width = u16(info + 4);
        h.height = u16(info + 6);
        h.bitCount = u16(info + 10);
        h.paletteEntrySize = 3;
    } else {
        // Anything from the 16-byte OS/2 header up to V5 and a little beyond;
        // fields a short header leaves out read as zero.
        if (headerSize < 16 || headerSize > 256 || headerSize > quint64(infoSize))
            return std::nullopt;
        h.headerSize = int(headerSize);
        char field[40] = {};
        std::copy_n(info, std::min<quint32>(headerSize, 40), field);
        const qint32 width = s32(field + 4);
        const qint32 height = s32(field + 8);
        if (height == std::numeric_limits<qint32>::min())
            return std::nullopt;
        h.width = width;
        h.height = height < 0 ? -height : height;
        h.topDown = height < 0;
        h.bitCount = u16(field + 14);
        h.compression = u32(field + 16);
        h.sizeImage = u32(field + 20);
        h.colorsUsed = u32(field + 32);
        const bool os2 = headerSize != 40 && headerSize != 52 && headerSize != 56 && headerSize <= 64;
        // OS/2 2.x reuses 3 and 4 for Huffman 1D and RLE24, which we do not
        // read. Huffman is for 1 bpp only: 3 with 16 or 32 bpp can only mean
        // bit fields.
        if (os2 && ((h.compression == 3 && h.bitCount == 1) || h.compression == 4))
            return std::nullopt;
    }
    if (h.width <= 0 || h.height <= 0)
        return std::nullopt;
    if (!sizeWithinBounds(h.width, h.height))
        return fail(error, DibError::TooLarge, std::optional<DibHeader>());

    switch (h.compression) {
    case DibRgb:
        if (h.bitCount != 1 && h.bitCount != 2 && h.bitCount != 4 && h.bitCount != 8 && h.bitCount != 16
            && h.bitCount != 24 && h.bitCount != 32)
            return std::nullopt;
        break;
    case DibRle8:
    case DibRle4:
        if (h.bitCount != (h.compression == DibRle8 ? 8 : 4) || h.topDown)
            return std::nullopt;
        break;
    case DibBitfields:
    case DibAlphaBitfields: {
        if (h.bitCount != 16 && h.bitCount != 32)
            return std::nullopt;
        const int count = h.compression == DibAlphaBitfields ? 4 : 3;
        if (h.headerSize >= 52) {
            for (int i = 0; i < 3; ++i)
                h.masks[i] = u32(info + 40 + qsizetype(4) * i);
            if (h.headerSize >= 56)
                h.masks[3] = u32(info + 52);
        } else {
            if (h.headerSize + 4 * count > infoSize)
                return std::nullopt;
            for (int i = 0; i < count; ++i)
                h.masks[i] = u32(info + h.headerSize + qsizetype(4) * i);
            h.maskBytes = 4 * count;
        }
        break;
    }
    case DibJpeg:
    case DibPng:
        break;
    default:
        return std::nullopt;
    }
    if (h.compression == DibRgb && h.bitCount == 16) {
        h.masks[0] = 0x7c00;
        h.masks[1] = 0x03e0;
        h.masks[2] = 0x001f;
    } else if (h.compression == DibRgb && h.bitCount == 32) {
        h.masks[0] = 0xff0000;
        h.masks[1] = 0x00ff00;
        h.masks[2] = 0x0000ff;
        h.masks[3] = options.alpha32 ? 0xff000000u : 0;
    }

    if (options.paletteIndices)
        h.paletteEntrySize = 2;
    if (h.bitCount >= 1 && h.bitCount <= 8) {
        const quint32 full = 1u << h.bitCount;
        h.paletteEntries = int(h.core || h.colorsUsed == 0 ? full : std::min(h.colorsUsed, full));
    } else {
        // A hint table before true-colour bits; only its size matters.
        if (h.colorsUsed > 65536)
            return std::nullopt;
        h.paletteEntries = int(h.colorsUsed);
    }
    if (options.indexColours)
        h.paletteEntries = 0; // the bits follow the header
    h.stride = ((qint64(h.width) * h.bitCount + 31) / 32) * 4;
    if (error)
        *error = DibError::None;
    return h;
}

QImage decodeDib(const char *info, qsizetype infoSize, const char *bits, qsizetype bitsSize,
    const DibOptions &options, DibError *error)
{
    const std::optional<DibHeader> parsed = parseDibHeader(info, infoSize, options, error);
    if (!parsed)
        return {};
    if (!bits || bitsSize < 0 || (bitsSize == 0 && options.needOneRow))
        return fail<QImage>(error, DibError::Malformed);
    const DibHeader &h = *parsed;
    const qint64 source = options.sourceBytes > 0 ? options.sourceBytes : qint64(infoSize) + bitsSize;
    if (!pixelsFitBytes(h.width, h.height, source))
        return fail<QImage>(error, DibError::Malformed);
    QImage image;
    if (h.compression == DibJpeg || h.compression == DibPng) {
        image = decodeEmbedded(h, bits, bitsSize);
        return image.isNull() ? fail<QImage>(error, DibError::Malformed) : image;
    }
    const std::vector<QRgb> table = readColorTable(h, info, infoSize, options);
    if (h.compression == DibRle4 || h.compression == DibRle8)
        return decodeRle(h, table, bits, bitsSize, options, error);

    if (bitsSize < h.stride && options.needOneRow)
        return fail<QImage>(error, DibError::Malformed);
    // Missing rows, and the rest of a row cut short, read as zero bytes.
    const int rowsPresent = int(std::min<qint64>(h.height, bitsSize / h.stride));
    const qint64 partialBytes
        = rowsPresent < h.height ? std::min<qint64>(bitsSize - rowsPresent * h.stride, h.stride) : 0;

    const bool alpha = h.masks[3] != 0 && h.bitCount >= 16;
    image = QImage(h.width, h.height, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (image.isNull())
        return fail<QImage>(error, DibError::OutOfMemory);
    const Channel red(h.masks[0]), green(h.masks[1]), blue(h.masks[2]), alphaChannel(h.masks[3]);
    bool anyAlpha = false;
    std::vector<char> blank; // the row cut short, completed with zero bytes
    if (rowsPresent < h.height)
        blank.assign(size_t(h.stride), '\0');
    // What a zero pixel decodes to, for the rows wholly missing.
    const QRgb zero = h.bitCount <= 8 ? table[0] : alpha ? 0u : 0xff000000u;
    for (int r = 0; r < h.height; ++r) {
        if (r > rowsPresent) {
            auto *out = reinterpret_cast<QRgb *>(image.scanLine(h.topDown ? r : h.height - 1 - r));
            std::fill_n(out, h.width, zero);
            continue;
        }
        if (r == rowsPresent)
            std::copy_n(bits + h.stride * r, partialBytes, blank.data());
        const char *row = r < rowsPresent ? bits + h.stride * r : blank.data();
        const auto *src = reinterpret_cast<const quint8 *>(row);
        auto *out = reinterpret_cast<QRgb *>(image.scanLine(h.topDown ? r : h.height - 1 - r));
        switch (h.bitCount) {
        case 1:
        case 2:
        case 4:
        case 8: {
            const int bpp = h.bitCount;
            const int perByte = 8 / bpp;
            const int mask = (1 << bpp) - 1;
            for (int x = 0; x < h.width; ++x) {
                const int shift = 8 - bpp * (x % perByte + 1);
                out[x] = table[(src[x / perByte] >> shift) & mask];
            }
            break;
        }
        case 24:
            for (int x = 0; x < h.width; ++x, src += 3)
                out[x] = qRgb(src[2], src[1], src[0]);
            break;
        case 16:
        case 32:
            for (int x = 0; x < h.width; ++x) {
                const quint32 px = h.bitCount == 16
                    ? u16(reinterpret_cast<const char *>(src) + qsizetype(2) * x)
                    : u32(reinterpret_cast<const char *>(src) + qsizetype(4) * x);
                const int a = alpha ? alphaChannel(px) : 255;
                anyAlpha = anyAlpha || a != 0;
                out[x] = qRgba(red(px), green(px), blue(px), a);
            }
            break;
        }
    }
    if (alpha && !anyAlpha) { // an all-zero alpha channel means "no alpha"
        for (int y = 0; y < h.height; ++y) {
            auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = 0; x < h.width; ++x)
                line[x] |= 0xff000000u;
        }
        image.reinterpretAsFormat(QImage::Format_RGB32);
    }
    return image;
}

QImage decodeDib(const QByteArray &info, const QByteArray &bits, const DibOptions &options)
{
    return decodeDib(info.constData(), info.size(), bits.constData(), bits.size(), options);
}

QImage decodePackedDib(const char *data, qsizetype size, const DibOptions &options)
{
    const std::optional<DibHeader> h = parseDibHeader(data, size, options);
    if (!h || h->infoSize() >= size)
        return {};
    const qint64 offset = h->infoSize();
    return decodeDib(data, offset, data + offset, size - offset, options);
}

QImage decodePackedDib(const QByteArray &packed, const DibOptions &options)
{
    return decodePackedDib(packed.constData(), packed.size(), options);
}

} // namespace vm

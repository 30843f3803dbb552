// Device-independent bitmaps: a header (BITMAPCOREHEADER, BITMAPINFOHEADER,
// V4 or V5, or an OS/2 2.x variant), optional colour masks, a colour table,
// then the bits. The one decoder of them, whether they come in a bitmap file,
// an icon or cursor entry, or a metafile record. Every read is checked
// against the bytes given and the picture bounds of extent.h apply; a bitmap
// that cannot be decoded safely comes back as a null QImage, never as an
// exception, so a player can skip one bad bitmap and go on, and a loader can
// raise the error that DibError names.
//
// What the decoder chooses where the format leaves room:
// - Pixels that an RLE4/RLE8 stream skips (delta, end of line, end of bitmap
//   before the last row) are transparent, as GDI leaves the destination
//   untouched there. Set DibOptions::rleSkipTransparent to false to have them
//   take colour index 0 instead (as bitmap files are shown).
// - Truncated bits: the rows that are present are decoded and the missing
//   ones read as zero bytes (index 0, or black). A bitmap whose bits do not
//   hold even one complete row is refused, unless DibOptions::needOneRow is
//   false.
// - More than 16 million pixels must come with at least one byte for every
//   4096 of them (see pixelsFitBytes in extent.h).
// - A colour table shorter than the header promises leaves the missing
//   entries black.
// - biClrUsed is capped at 1 << bpp for palette formats.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QRgb>

#include <optional>

namespace vm {

struct DibOptions {
    // Colour table holds 16-bit indices into this logical palette
    // (DIB_PAL_COLORS) instead of RGBQUADs. Indices past its end are black.
    const QList<QRgb> *paletteIndices = nullptr;
    // No colour table at all (DIB_PAL_INDICES): index i takes entry i of
    // this list, black past its end.
    const QList<QRgb> *indexColours = nullptr;
    // Treat the fourth byte of 32-bpp BI_RGB pixels as alpha (AlphaBlend
    // sources). When every such byte is zero the bitmap is taken as opaque.
    bool alpha32 = false;
    bool rleSkipTransparent = true;
    // An RLE8 stream that ends inside an absolute run (counting the pixels
    // left on its row) is refused instead of shown up to there: a bitmap
    // file cut there has always been taken as damaged.
    bool rle8CutRunIsDamage = false;
    bool needOneRow = true;
    // Size of the file the bitmap came in, for the pixels-per-byte bound;
    // 0: the bytes given to the decoder.
    qint64 sourceBytes = 0;
};

// Why a decode gave a null image.
enum class DibError {
    None,
    Malformed, // header, compression or bits that cannot be decoded
    TooLarge, // a side or the pixel count past the picture bounds
    OutOfMemory,
};

struct DibHeader {
    int headerSize = 0;
    int width = 0;
    int height = 0; // always positive; see topDown
    bool topDown = false;
    int bitCount = 0;
    quint32 compression = 0;
    quint32 sizeImage = 0;
    quint32 colorsUsed = 0;
    bool core = false; // BITMAPCOREHEADER: 3-byte colour table entries
    quint32 masks[4] = { 0, 0, 0, 0 }; // R, G, B, A when given in or after the header
    int maskBytes = 0; // mask bytes that follow the header
    int paletteEntries = 0; // colour table entries that follow the masks
    int paletteEntrySize = 4;
    qint64 stride = 0; // bytes per row of uncompressed bits
    // Size of header + masks + colour table, where a packed DIB's bits start.
    qint64 infoSize() const { return headerSize + maskBytes + qint64(paletteEntries) * paletteEntrySize; }
};

enum DibCompression : quint32 {
    DibRgb = 0,
    DibRle8 = 1,
    DibRle4 = 2,
    DibBitfields = 3,
    DibJpeg = 4,
    DibPng = 5,
    DibAlphaBitfields = 6,
};

// Reads and checks the header; nothing when it is malformed or out of bounds.
std::optional<DibHeader> parseDibHeader(
    const char *info, qsizetype infoSize, const DibOptions &options = {}, DibError *error = nullptr);

// Header and colour table in `info`, bits separately (as metafile records
// store them).
QImage decodeDib(const char *info, qsizetype infoSize, const char *bits, qsizetype bitsSize,
    const DibOptions &options = {}, DibError *error = nullptr);
QImage decodeDib(const QByteArray &info, const QByteArray &bits, const DibOptions &options = {});

// A packed DIB: header, colour table and bits back to back.
QImage decodePackedDib(const char *data, qsizetype size, const DibOptions &options = {});
QImage decodePackedDib(const QByteArray &packed, const DibOptions &options = {});

} // namespace vm

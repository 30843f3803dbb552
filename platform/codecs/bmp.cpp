// Windows and OS/2 bitmap files, RLE4 and RLE8 included. The file header
// and what a file may and may not be are judged here, before anything is
// allocated; the DIB decoder (dib.h) then reads the pixels. For a file, the
// pixels that a delta or an early end of line skips take palette index 0,
// and the rows missing from a truncated file read as zero bytes (index 0,
// or black). The colour profile a version 5 header may embed is applied.
#include <QtEndian>

#include <algorithm>

#include "platform/codecs/codecs.h"
#include "platform/codecs/colorprofile.h"
#include "platform/codecs/rowconverter.h"
#include "platform/codecs/dib.h"
#include "platform/codecs/extent.h"
#include "platform/runtimeerror.h"

namespace vm {

namespace {

constexpr int kFileHeaderSize = 14;
constexpr int kCoreHeaderSize = 12; // OS/2 1.x and Windows 2.x
constexpr int kV2HeaderSize = 52; // the first to hold the bit-field masks
constexpr int kV4HeaderSize = 108;
constexpr int kV5HeaderSize = 124;

enum Compression : quint32 { Rgb = 0, Rle8 = 1, Rle4 = 2, BitFields = 3 };
// bV5CSType: a profile inside the file. Its sibling 'LINK' names a file
// elsewhere, which a picture must never make us open: such a bitmap is shown
// as sRGB, like those that say 'sRGB' or 'Win '.
constexpr quint32 kProfileEmbedded = 0x4D424544; // 'MBED'

struct BmpHeader {
    quint32 pixelOffset = 0;
    quint32 headerSize = 0;
    qint64 width = 0;
    qint64 height = 0; // negative: rows stored top-down
    quint16 planes = 1;
    quint16 bitCount = 0;
    quint32 compression = Rgb;
    qint32 dotsPerMetreX = 0;
    qint32 dotsPerMetreY = 0;
    quint32 colorsUsed = 0;
    quint32 alphaMask = 0;
    quint32 colourSpace = 0; // bV5CSType
    quint32 profileOffset = 0; // from the start of the header
    quint32 profileSize = 0;
};

template <typename T> T readLE(const QByteArray &data, qsizetype offset)
{
    return qFromLittleEndian<T>(data.constData() + offset);
}

BmpHeader parseHeader(const QByteArray &file)
{
    if (file.size() < kFileHeaderSize + 4 || !file.startsWith("BM"))
        raise(Err::DamagedPicture);
    BmpHeader h;
    h.pixelOffset = readLE<quint32>(file, 10);
    h.headerSize = readLE<quint32>(file, 14);
    if (h.headerSize != kCoreHeaderSize && (h.headerSize < 16 || h.headerSize > kV5HeaderSize))
        raise(Err::DamagedPicture);
    if (file.size() < kFileHeaderSize + qsizetype(h.headerSize))
        raise(Err::DamagedPicture);

    if (h.headerSize == kCoreHeaderSize) {
        h.width = readLE<quint16>(file, 18);
        h.height = readLE<quint16>(file, 20);
        h.planes = readLE<quint16>(file, 22);
        h.bitCount = readLE<quint16>(file, 24);
        return h;
    }
    // Longer headers share the first fields; OS/2 2.x headers may stop early,
    // and what they leave out reads as zero.
    auto field = [&](int offset, int size) -> quint32 {
        if (offset + size > kFileHeaderSize + int(h.headerSize))
            return 0;
        return size == 2 ? readLE<quint16>(file, offset) : readLE<quint32>(file, offset);
    };
    h.width = qint32(field(18, 4));
    h.height = qint32(field(22, 4));
    h.planes = quint16(field(26, 2));
    h.bitCount = quint16(field(28, 2));
    h.compression = field(30, 4);
    h.dotsPerMetreX = qint32(field(38, 4));
    h.dotsPerMetreY = qint32(field(42, 4));
    h.colorsUsed = field(46, 4);
    if (h.headerSize >= kV4HeaderSize) {
        h.alphaMask = field(66, 4);
        h.colourSpace = field(70, 4);
    }
    if (h.headerSize >= kV5HeaderSize) {
        h.profileOffset = field(126, 4);
        h.profileSize = field(130, 4);
    }
    return h;
}

void validate(const BmpHeader &h, qsizetype fileSize)
{
    const bool depthOk = h.bitCount == 1 || h.bitCount == 4 || h.bitCount == 8 || h.bitCount == 16
        || h.bitCount == 24 || h.bitCount == 32;
    if (h.bitCount == 2 || h.bitCount == 64)
        raise(Err::InvalidPicture); // legal, but rare enough that we do not read them
    if (!depthOk || h.planes != 1)
        raise(Err::DamagedPicture);
    switch (h.compression) {
    case Rgb:
        break;
    case Rle8:
    case Rle4:
        if (h.bitCount != (h.compression == Rle8 ? 8 : 4))
            raise(Err::DamagedPicture);
        // Run-length data is always stored bottom-up; a top-down RLE bitmap
        // is not a valid file.
        if (h.height < 0)
            raise(Err::DamagedPicture);
        break;
    case BitFields:
        if (h.bitCount != 16 && h.bitCount != 32)
            raise(Err::DamagedPicture);
        break;
    default:
        // JPEG or PNG inside a bitmap, OS/2 Huffman or RLE24, or garbage.
        raise(Err::InvalidPicture);
    }
    if (h.bitCount <= 8 && h.colorsUsed > 256)
        raise(Err::DamagedPicture);
    checkPictureSize(h.width, h.height < 0 ? -h.height : h.height);
    checkPixelsAgainstFileSize(h.width, h.height < 0 ? -h.height : h.height, fileSize);
    if (h.pixelOffset >= quint64(fileSize))
        raise(Err::DamagedPicture); // no pixel data at all
}

// Where the colour table ends: the table is as long as biClrUsed says, or
// the full depth when it says 0; a full table that would run into the pixel
// data is taken as holding only the entries that fit before it. A table cut
// short by the end of the file, with nothing after it, is damage.
qint64 colourTableEnd(const BmpHeader &h, qint64 maskBytes, qsizetype fileSize)
{
    const qint64 start = kFileHeaderSize + qint64(h.headerSize) + maskBytes;
    if (start > fileSize)
        raise(Err::DamagedPicture); // masks cut short
    if (h.bitCount > 8)
        return start;
    const bool core = h.headerSize == kCoreHeaderSize;
    const int entrySize = core ? 3 : 4;
    qint64 entries = h.colorsUsed && !core ? h.colorsUsed : qint64(1) << h.bitCount;
    if (!core && h.colorsUsed == 0 && h.pixelOffset > start) {
        const qint64 room = (h.pixelOffset - start) / entrySize;
        if (room >= 1 && room < entries)
            entries = room;
    }
    const qint64 end = start + entries * entrySize;
    if (end >= fileSize)
        raise(Err::DamagedPicture);
    return end;
}

QImage decodePixels(const QByteArray &file, const BmpHeader &h)
{
    // Bit-field masks follow a shorter header.
    const qint64 maskBytes = h.compression == BitFields && h.headerSize < kV2HeaderSize ? 12 : 0;
    const qint64 infoEnd = colourTableEnd(h, maskBytes, file.size());
    // An offset that points back into the header or the table is ignored:
    // the pixels follow the table.
    const qint64 bitsAt = std::max<qint64>(h.pixelOffset, infoEnd);
    DibOptions options;
    options.rleSkipTransparent = false; // a file's skipped pixels take index 0
    options.rle8CutRunIsDamage = true;
    options.needOneRow = false;
    options.sourceBytes = file.size();
    QByteArray info(file.constData() + kFileHeaderSize, infoEnd - kFileHeaderSize);
    if (h.bitCount > 8 && h.headerSize >= 36) {
        // A colour count before true-colour pixels only sizes a table that
        // bfOffBits already skips; whatever it says, it is not an error.
        qToLittleEndian<quint32>(0, info.data() + 32);
    }
    DibError error = DibError::None;
    QImage image = decodeDib(
        info.constData(), info.size(), file.constData() + bitsAt, file.size() - bitsAt, options, &error);
    if (image.isNull())
        raise(error == DibError::OutOfMemory  ? Err::OutOfMemory
                : error == DibError::TooLarge ? Err::PictureTooLarge
                                              : Err::DamagedPicture);
    return image;
}

// The embedded profile when it lies wholly inside the file; else none.
QByteArray embeddedProfile(const QByteArray &file, const BmpHeader &h)
{
    if (h.colourSpace != kProfileEmbedded || h.profileSize == 0 || h.profileSize > kMaxIccProfileSize)
        return {};
    const qint64 at = qint64(kFileHeaderSize) + h.profileOffset;
    if (at + h.profileSize > file.size())
        return {};
    return file.mid(at, h.profileSize);
}

} // namespace

Picture decodeBmp(const QByteArray &file)
{
    const BmpHeader header = parseHeader(file);
    validate(header, file.size());
    QImage image = toDisplayFormat(decodePixels(file, header));
    applyColorProfile(image, embeddedProfile(file, header));
    const QSize extent = extentHimetric(image.size(), header.dotsPerMetreX, header.dotsPerMetreY);
    return Picture(std::move(image), extent);
}

} // namespace vm

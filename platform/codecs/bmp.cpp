// Windows and OS/2 bitmaps, RLE4 and RLE8 included. We read the header
// ourselves, to refuse what Qt's reader would mishandle and to know the size
// before anything is allocated; Qt's reader then decodes the pixels into an
// image we allocated zero-filled. That matters: its RLE decoder leaves the
// pixels that a delta or an early end of line skips untouched, and its
// uncompressed path stops at the end of a truncated file, so whatever it does
// not write must already be palette index 0 (or black). Our own header
// reading also gives the true height of a top-down bitmap, which Qt's
// reader reports as negative, and the colour profile a version 5 header may
// embed, which Qt's reader does not look at.
#include <QBuffer>
#include <QImageReader>
#include <QtEndian>

#include <cstring>
#include <new>

#include "platform/codecs/codecs.h"
#include "platform/codecs/colorprofile.h"
#include "platform/codecs/extent.h"
#include "platform/runtimeerror.h"

namespace vm {

namespace {

constexpr int kFileHeaderSize = 14;
constexpr int kCoreHeaderSize = 12; // OS/2 1.x and Windows 2.x
constexpr int kInfoHeaderSize = 40;
constexpr int kOs2HeaderSize = 64;
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

template<typename T>
T readLE(const QByteArray &data, qsizetype offset)
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
    const bool depthOk = h.bitCount == 1 || h.bitCount == 4 || h.bitCount == 8
        || h.bitCount == 16 || h.bitCount == 24 || h.bitCount == 32;
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

// Qt reads the three standard header sizes and the 64-byte OS/2 one. Every
// other size (OS/2 2.x short headers, the 52- and 56-byte Windows variants)
// is rewritten to a 40-byte header followed by the same colour table and
// pixels; the first 40 bytes of all of them share one layout.
QByteArray normalised(const QByteArray &file, const BmpHeader &h)
{
    const quint32 size = h.headerSize;
    if (size == kCoreHeaderSize)
        return file;
    QByteArray out;
    if (size == kInfoHeaderSize || size == kOs2HeaderSize || size == kV4HeaderSize
        || size == kV5HeaderSize) {
        out = file;
    } else if (size > kInfoHeaderSize) {
        // The 52- and 56-byte headers carry their masks inside the header,
        // where a 40-byte header with BITFIELDS has them after it: the bytes
        // need not move, only the size field changes.
        out = file;
        qToLittleEndian<quint32>(kInfoHeaderSize, out.data() + 14);
    } else {
        out.reserve(file.size() + kInfoHeaderSize);
        out.append(file.constData(), kFileHeaderSize);
        out.append(file.constData() + kFileHeaderSize, size);
        out.append(QByteArray(kInfoHeaderSize - size, '\0'));
        out.append(file.constData() + kFileHeaderSize + size, file.size() - kFileHeaderSize - size);
        qToLittleEndian<quint32>(kInfoHeaderSize, out.data() + 14);
        qToLittleEndian<quint32>(h.pixelOffset + (kInfoHeaderSize - size), out.data() + 10);
    }
    // A palette shorter than the depth implies, with no count given: Qt
    // would read the full table on into the pixels. Count what fits before
    // the pixel data instead.
    if (h.bitCount <= 8 && h.colorsUsed == 0 && h.pixelOffset > kFileHeaderSize + size) {
        const quint32 room = (h.pixelOffset - kFileHeaderSize - size) / 4;
        if (room >= 1 && room < (1u << h.bitCount))
            qToLittleEndian<quint32>(room, out.data() + 46);
    }
    return out;
}

// The format Qt's reader gives the image; when ours matches, it reuses the
// image we pass in instead of allocating one of its own.
QImage::Format qtFormat(const BmpHeader &h)
{
    if (h.bitCount >= 16)
        return h.compression == BitFields && h.alphaMask ? QImage::Format_ARGB32
                                                         : QImage::Format_RGB32;
    return h.bitCount == 1 ? QImage::Format_Mono : QImage::Format_Indexed8;
}

bool readInto(const QByteArray &file, QImage *image)
{
    QBuffer buffer;
    buffer.setData(file);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "bmp");
    // Our own size bound has been applied; Qt's default of 128 MB would
    // refuse a large photo that we accept.
    reader.setAllocationLimit(int(kMaxPicturePixels * 4 / (1024 * 1024)) + 1);
    return reader.read(image);
}

QImage decodePixels(const QByteArray &file, const BmpHeader &h)
{
    const QSize size(int(h.width), int(h.height < 0 ? -h.height : h.height));
    QImage::Format format = qtFormat(h);
    for (int attempt = 0; attempt < 2; ++attempt) {
        QImage image(size, format);
        if (image.isNull())
            raise(Err::OutOfMemory);
        image.fill(0);
        const uchar *ours = image.constBits();
        if (!readInto(file, &image))
            raise(Err::DamagedPicture);
        if (image.constBits() == ours)
            return image;
        // Qt chose another format and allocated uninitialised memory: try
        // again with an image of the format it wants.
        if (image.size() != size)
            raise(Err::DamagedPicture);
        format = image.format();
    }
    raise(Err::DamagedPicture);
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
    QByteArray data = normalised(file, header);
    if (header.compression == Rle4 || header.compression == Rle8) {
        // Qt's run-length decoder does not check reads inside a delta escape
        // and would use an uninitialised byte when the file ends there; an
        // end-of-bitmap marker after the data ends any cut-off stream cleanly.
        data.append("\0\0\0\0\0\1", 6);
    }
    QImage image = toDisplayFormat(decodePixels(data, header));
    applyColorProfile(image, embeddedProfile(file, header));
    const QSize extent = extentHimetric(image.size(), header.dotsPerMetreX, header.dotsPerMetreY);
    return Picture(std::move(image), extent);
}

} // namespace vm

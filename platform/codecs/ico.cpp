// Icons and cursors: the largest image of the directory, the deepest colour
// among equals. Entries are judged by their own headers, not by the
// directory, whose bytes for depth hold the hotspot in a cursor and whose
// sizes stop at 256. A PNG entry's colour chunks (iCCP, sRGB, gAMA, cHRM)
// are honoured; Qt's PNG reader only records them.
#include <QBuffer>
#include <QColorSpace>
#include <QImageReader>
#include <QList>
#include <QtEndian>

#include <algorithm>
#include <utility>

#include "platform/codecs/codecs.h"
#include "platform/codecs/colorprofile.h"
#include "platform/codecs/rowconverter.h"
#include "platform/codecs/dib.h"
#include "platform/codecs/extent.h"
#include "platform/codecs/pngchunks.h"
#include "platform/runtimeerror.h"

namespace vm {

namespace {

constexpr int kDirHeaderSize = 6;
constexpr int kDirEntrySize = 16;
constexpr int kIconHeaderSize = 40;
constexpr int kMaxAttempts = 4;
const char kPngSignature[] = "\x89PNG\r\n\x1a\n";

struct Entry {
    QByteArrayView bytes;
    bool png = false;
    qint64 width = 0;
    qint64 height = 0;
    int depth = 0;
};

template <typename T> T readLE(QByteArrayView data, qsizetype offset)
{
    return qFromLittleEndian<T>(data.data() + offset);
}

template <typename T> T readBE(QByteArrayView data, qsizetype offset)
{
    return qFromBigEndian<T>(data.data() + offset);
}

// Reads the entry's own header; false when it is not a usable image.
bool probe(Entry &e)
{
    if (e.bytes.size() >= 33 && e.bytes.startsWith(QByteArrayView(kPngSignature, 8))) {
        e.png = true;
        e.width = readBE<quint32>(e.bytes, 16);
        e.height = readBE<quint32>(e.bytes, 20);
        const int bits = quint8(e.bytes[24]);
        const int colourType = quint8(e.bytes[25]);
        const int channels = colourType == 2 ? 3 : colourType == 4 ? 2 : colourType == 6 ? 4 : 1;
        e.depth = bits * channels;
        return e.width > 0 && e.height > 0;
    }
    if (e.bytes.size() < kIconHeaderSize)
        return false;
    const quint32 headerSize = readLE<quint32>(e.bytes, 0);
    if (headerSize < kIconHeaderSize || headerSize > quint32(e.bytes.size()))
        return false;
    e.width = readLE<qint32>(e.bytes, 4);
    e.height = readLE<qint32>(e.bytes, 8) / 2; // colour rows, then mask rows
    e.depth = readLE<quint16>(e.bytes, 14);
    return e.width > 0 && e.height > 0;
}

QImage decodePng(const Entry &e)
{
    checkPictureSize(e.width, e.height);
    checkPixelsAgainstFileSize(e.width, e.height, e.bytes.size());
    if (!pngChunksFit(e.bytes))
        raise(Err::DamagedPicture);
    QByteArray copy = e.bytes.toByteArray();
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    reader.setAllocationLimit(int(kMaxPicturePixels * 8 / (qint64(1024) * 1024)) + 1);
    QImage image;
    if (!reader.read(&image) || image.size() != QSize(int(e.width), int(e.height)))
        raise(Err::DamagedPicture);
    // Qt records the colour chunks it saw; decodeIco converts the pixels
    // itself, after which they are plain sRGB (or the display's) like every
    // other picture.
    image.setColorSpace(QColorSpace());
    return image;
}

// The colour rows are a bottom-up DIB of half the height the header states;
// the AND mask follows them.
QImage decodeIconDib(const Entry &e)
{
    const QByteArrayView d = e.bytes;
    const quint32 headerSize = readLE<quint32>(d, 0);
    const int depth = e.depth;
    const quint32 compression = readLE<quint32>(d, 16);
    if (readLE<quint16>(d, 12) != 1 || compression != DibRgb)
        raise(Err::DamagedPicture);
    if (depth != 1 && depth != 4 && depth != 8 && depth != 16 && depth != 24 && depth != 32)
        raise(Err::DamagedPicture);
    checkPictureSize(e.width, e.height);
    const int w = int(e.width);
    const int h = int(e.height);

    qint64 colours = 0;
    if (depth <= 8) {
        colours = readLE<quint32>(d, 32);
        if (colours == 0 || colours > (qint64(1) << depth))
            colours = qint64(1) << depth;
    }
    const qint64 paletteAt = headerSize;
    const qint64 colourAt = paletteAt + colours * 4;
    const qint64 colourStride = (qint64(w) * depth + 31) / 32 * 4;
    const qint64 maskAt = colourAt + colourStride * h;
    const qint64 maskStride = (qint64(w) + 31) / 32 * 4;
    if (maskAt > d.size())
        raise(Err::DamagedPicture); // colour rows cut short
    // Some writers leave the mask out when the alpha channel says it all.
    const bool hasMask = maskAt + maskStride * h <= d.size();

    // Only the first 40 bytes of the header matter here, whatever its size.
    QByteArray info(d.data(), kIconHeaderSize);
    info.append(d.data() + paletteAt, colours * 4);
    qToLittleEndian<quint32>(kIconHeaderSize, info.data());
    qToLittleEndian<qint32>(h, info.data() + 8);
    qToLittleEndian<quint32>(quint32(colours), info.data() + 32);
    DibOptions options;
    options.alpha32 = true; // the alpha channel of a 32-bit entry, unless all zero
    DibError error = DibError::None;
    QImage image
        = decodeDib(info.constData(), info.size(), d.data() + colourAt, colourStride * h, options, &error);
    if (image.isNull())
        raise(error == DibError::OutOfMemory  ? Err::OutOfMemory
                : error == DibError::TooLarge ? Err::PictureTooLarge
                                              : Err::DamagedPicture);
    if (image.format() == QImage::Format_ARGB32)
        return image; // the alpha channel rules; the mask is for old systems
    image.reinterpretAsFormat(QImage::Format_ARGB32); // every pixel is opaque
    if (!hasMask)
        return image;
    for (int y = 0; y < h; ++y) {
        QRgb *out = reinterpret_cast<QRgb *>(image.scanLine(y));
        const auto *mask = reinterpret_cast<const uchar *>(d.data() + maskAt + maskStride * (h - 1 - y));
        for (int x = 0; x < w; ++x) {
            if (mask[x / 8] >> (7 - x % 8) & 1)
                out[x] = 0u;
        }
    }
    return image;
}

QList<Entry> readDirectory(const QByteArray &file)
{
    if (file.size() < kDirHeaderSize)
        raise(Err::DamagedPicture);
    const int count = readLE<quint16>(file, 4);
    if (count == 0 || kDirHeaderSize + qint64(count) * kDirEntrySize > file.size())
        raise(Err::DamagedPicture);
    QList<Entry> entries;
    for (int i = 0; i < count; ++i) {
        const qsizetype at = kDirHeaderSize + qsizetype(i) * kDirEntrySize;
        const quint32 offset = readLE<quint32>(file, at + 12);
        if (offset >= quint64(file.size()))
            continue;
        // The entry's byte count is often wrong (too small in cursors that
        // load everywhere), so an entry runs to the end of the file; the
        // decoders check that what they need is present.
        Entry e;
        e.bytes = QByteArrayView(file.constData() + offset, file.size() - offset);
        if (probe(e))
            entries.append(e);
    }
    return entries;
}

} // namespace

Picture decodeIco(const QByteArray &file)
{
    QList<Entry> entries = readDirectory(file);
    std::stable_sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) {
        // A PNG entry states 32-bit sides, whose product overflows; sides past
        // the limit are refused later anyway, so they only need to sort first.
        const auto area = [](const Entry &e) {
            return qMin(e.width, kMaxPictureSide + 1) * qMin(e.height, kMaxPictureSide + 1);
        };
        const qint64 areaA = area(a);
        const qint64 areaB = area(b);
        return areaA != areaB ? areaA > areaB : a.depth > b.depth;
    });
    // Should the best entry be broken, the next one still shows the icon;
    // but a directory of thousands of broken entries must not cost
    // thousands of decodes.
    if (entries.size() > kMaxAttempts)
        entries.resize(kMaxAttempts);
    for (const Entry &e : std::as_const(entries)) {
        try {
            QImage image = toDisplayFormat(e.png ? decodePng(e) : decodeIconDib(e));
            if (e.png) {
                bool grey = false;
                const QByteArray icc = pngColourProfile(e.bytes, &grey);
                applyColorProfile(image, icc, grey ? PixelModel::Grey : PixelModel::Rgb);
            }
            const QSize extent = extentHimetricAt96Dpi(image.size());
            return Picture(std::move(image), extent);
        } catch (const RuntimeError &error) {
            if (error.number() == Err::OutOfMemory)
                throw;
        }
    }
    raise(Err::DamagedPicture);
}

} // namespace vm

// GIF: the first frame, composited onto the logical screen, transparency
// kept. The format records no resolution, so the extent is that of the
// screen at 96 dpi. A colour profile comes in an ICCRGBG1 application
// extension ahead of the frame.
#include <QBuffer>
#include <QImageReader>
#include <QtEndian>

#include "platform/codecs/codecs.h"
#include "platform/codecs/colorprofile.h"
#include "platform/codecs/rowconverter.h"
#include "platform/codecs/extent.h"
#include "platform/runtimeerror.h"

namespace vm {

namespace {

constexpr int kHeaderSize = 13; // signature, logical screen descriptor

qsizetype colourTableSize(quint8 flags)
{
    return (flags & 0x80) ? 3 * (qsizetype(2) << (flags & 7)) : 0;
}

// Skips a chain of data sub-blocks; -1 when the file ends inside it.
qsizetype skipSubBlocks(const QByteArray &file, qsizetype at)
{
    while (at < file.size()) {
        const quint8 length = quint8(file[at]);
        if (length == 0)
            return at + 1;
        at += 1 + length;
    }
    return -1;
}

// The profile in an ICCRGBG1 application extension starting at `at`
// (its introducer); empty when it is another extension or cut off.
QByteArray iccExtension(const QByteArray &file, qsizetype at)
{
    static const QByteArrayView kIdentifier("\x0bICCRGBG1012", 12);
    if (quint8(file[at + 1]) != 0xFF || !QByteArrayView(file).sliced(at + 2).startsWith(kIdentifier))
        return {};
    QByteArray profile;
    qsizetype block = at + 2 + 12;
    while (block < file.size()) {
        const quint8 length = quint8(file[block]);
        if (length == 0)
            return profile;
        if (block + 1 + length > file.size() || profile.size() + length > kMaxIccProfileSize)
            return {};
        profile.append(file.constData() + block + 1, length);
        block += 1 + length;
    }
    return {};
}

// Qt's reader paints whatever part of a frame arrived and calls that a
// success; we want a file cut off inside its first frame refused. So walk
// the block structure up to the end of the first image, keeping the colour
// profile met on the way.
QByteArray checkFirstFrameComplete(const QByteArray &file)
{
    QByteArray profile;
    qsizetype at = kHeaderSize + colourTableSize(quint8(file[10]));
    while (at >= 0 && at < file.size()) {
        switch (quint8(file[at])) {
        case 0x21: // extension: label, then sub-blocks
            if (at + 2 <= file.size() && profile.isEmpty())
                profile = iccExtension(file, at);
            at = at + 2 > file.size() ? -1 : skipSubBlocks(file, at + 2);
            break;
        case 0x2C: { // image descriptor, local table, code size, sub-blocks
            if (at + 11 > file.size())
                raise(Err::DamagedPicture);
            const qsizetype data = at + 10 + colourTableSize(quint8(file[at + 9])) + 1;
            if (data > file.size() || skipSubBlocks(file, data) < 0)
                raise(Err::DamagedPicture);
            return profile;
        }
        default: // the trailer, or junk, before any image
            raise(Err::DamagedPicture);
        }
    }
    raise(Err::DamagedPicture);
}

} // namespace

Picture decodeGif(const QByteArray &file)
{
    if (file.size() < kHeaderSize)
        raise(Err::DamagedPicture);
    const int width = qFromLittleEndian<quint16>(file.constData() + 6);
    const int height = qFromLittleEndian<quint16>(file.constData() + 8);
    // The screen bounds what Qt allocates: frames are drawn onto it.
    checkPictureSize(width, height);
    checkPixelsAgainstFileSize(width, height, file.size());
    const QByteArray profile = checkFirstFrameComplete(file);

    QBuffer buffer;
    buffer.setData(file);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "gif");
    reader.setAllocationLimit(int(kMaxPicturePixels * 4 / (qint64(1024) * 1024)) + 1);
    QImage image;
    if (!reader.read(&image) || image.isNull())
        raise(Err::DamagedPicture);
    image = toDisplayFormat(std::move(image));
    applyColorProfile(image, profile);
    const QSize extent = extentHimetricAt96Dpi(image.size());
    return Picture(std::move(image), extent);
}

} // namespace vm

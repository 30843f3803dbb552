// LoadPicture: reads the file, tells the format from its first bytes (never
// from the name), and hands it to the matching decoder.
#include <QByteArray>

#include <new>

#include "platform/codecs/codecs.h"
#include "platform/codecs/filereader.h"
#include "platform/metafile/metafile.h"
#include "platform/picture.h"
#include "platform/runtimeerror.h"

namespace vm {

namespace {

enum class Format { Unknown, Bmp, Icon, Jpeg, Gif, Emf, Wmf };

Format sniff(const QByteArray &head)
{
    if (head.startsWith("BM"))
        return Format::Bmp;
    if (head.startsWith("\xFF\xD8\xFF"))
        return Format::Jpeg;
    if (head.startsWith("GIF87a") || head.startsWith("GIF89a"))
        return Format::Gif;
    if (looksLikeEmf(head))
        return Format::Emf;
    if (looksLikeWmf(head))
        return Format::Wmf;
    // Icons (type 1) and cursors (type 2) have only this short signature;
    // it is tested last so that the others win where both would match.
    if (head.size() >= 6 && head.startsWith(QByteArrayView("\0\0", 2)) && head[3] == '\0'
        && (head[2] == '\1' || head[2] == '\2')) {
        return Format::Icon;
    }
    return Format::Unknown;
}

// A box that shows the picture at one size needs it played at that size
// only; playing it at its natural size as well would be wasted.
Picture metafilePicture(std::shared_ptr<const Metafile> metafile, QSize maxSize)
{
    return maxSize.isEmpty() ? Picture(std::move(metafile)) : Picture(std::move(metafile), maxSize);
}

Picture decode(QByteArray file, QSize maxSize)
{
    switch (sniff(file)) {
    case Format::Bmp:
        return decodeBmp(file);
    case Format::Icon:
        return decodeIco(file);
    case Format::Jpeg:
        return decodeJpeg(file, maxSize);
    case Format::Gif:
        return decodeGif(file);
    case Format::Emf:
        return metafilePicture(openEmf(std::move(file)), maxSize);
    case Format::Wmf:
        return metafilePicture(openWmf(std::move(file)), maxSize);
    case Format::Unknown:
        break;
    }
    raise(Err::InvalidPicture);
}

} // namespace

Picture LoadPictureForSize(const QString &name, QSize maxSize)
{
    try {
        return decode(readPictureFile(name), maxSize);
    } catch (const std::bad_alloc &) {
        raise(Err::OutOfMemory);
    }
}

Picture LoadPicture(const QString &name)
{
    return LoadPictureForSize(name, QSize());
}

} // namespace vm

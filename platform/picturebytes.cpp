// Format detection and dispatch to the decoders. The format is told from the
// first bytes only; the name a file carries says nothing we can trust.
#include "platform/picturebytes.h"

#include <new>

#include "platform/codecs/codecs.h"
#include "platform/metafile/metafile.h"
#include "platform/runtimeerror.h"

namespace vm {

namespace {

enum class Format { Unknown, Bmp, Icon, Jpeg, Gif, Emf, Wmf };

Format sniff(const QByteArray &head)
{
    if (head.startsWith("BM"))
        return Format::Bmp;
    // libjpeg needs only the start-of-image marker and skips fill and junk
    // bytes before the next marker, as every peer decoder does.
    if (head.startsWith("\xFF\xD8"))
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

Picture decode(const QByteArray &bytes, QSize maxSize)
{
    switch (sniff(bytes)) {
    case Format::Bmp:
        return decodeBmp(bytes);
    case Format::Icon:
        return decodeIco(bytes);
    case Format::Jpeg:
        return decodeJpeg(bytes, maxSize);
    case Format::Gif:
        return decodeGif(bytes);
    case Format::Emf:
        return metafilePicture(openEmf(bytes), maxSize);
    case Format::Wmf:
        return metafilePicture(openWmf(bytes), maxSize);
    case Format::Unknown:
        break;
    }
    raise(Err::InvalidPicture);
}

} // namespace

Picture pictureFromBytes(const QByteArray &bytes, QSize maxSize)
{
    try {
        return decode(bytes, maxSize);
    } catch (const std::bad_alloc &) {
        raise(Err::OutOfMemory);
    }
}

} // namespace vm

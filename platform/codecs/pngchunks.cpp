#include "platform/codecs/pngchunks.h"

#include <QtEndian>

namespace vm {

bool pngChunksFit(QByteArrayView data)
{
    static constexpr char kSignature[] = "\x89PNG\r\n\x1a\n";
    constexpr qsizetype kSignatureSize = 8;
    if (data.size() < kSignatureSize
        || data.first(kSignatureSize) != QByteArrayView(kSignature, kSignatureSize))
        return false;
    qsizetype offset = kSignatureSize;
    // Length and type, the data, then the CRC.
    while (data.size() - offset >= 8) {
        const quint32 length = qFromBigEndian<quint32>(data.data() + offset);
        if (length > 0x7fffffffu || qint64(length) + 12 > data.size() - offset)
            return false;
        if (QByteArrayView(data.data() + offset + 4, 4) == QByteArrayView("IEND"))
            return true;
        offset += 12 + qsizetype(length);
    }
    return true;
}

} // namespace vm

#include "platform/metafile/metafile.h"

#include <QtEndian>

namespace vm {

bool looksLikeEmf(const QByteArray &head)
{
    // EMR_HEADER record type 1, then " EMF" at offset 40.
    return head.size() >= 44 && qFromLittleEndian<quint32>(head.constData()) == 1
        && head.mid(40, 4) == QByteArrayLiteral(" EMF");
}

bool looksLikeWmf(const QByteArray &head)
{
    if (head.size() >= 4 && qFromLittleEndian<quint32>(head.constData()) == 0x9AC6CDD7u)
        return true; // placeable header
    if (head.size() < 18)
        return false;
    const quint16 type = qFromLittleEndian<quint16>(head.constData());
    const quint16 headerWords = qFromLittleEndian<quint16>(head.constData() + 2);
    const quint16 version = qFromLittleEndian<quint16>(head.constData() + 4);
    return (type == 1 || type == 2) && headerWords == 9 && (version == 0x0100 || version == 0x0300);
}

} // namespace vm

// An EMF carried inside a WMF: writers that convert an enhanced metafile
// down to WMF keep the original in META_ESCAPE MFCOMMENT records ("WMFC"),
// split in chunks. The WMF records are a lossy copy of it, so when the
// carried EMF is whole and its checksum holds, it is the picture.
#include <QtEndian>

#include "platform/metafile/wmfembedded.h"

namespace vm {

namespace {

constexpr quint16 kMfComment = 0x000F;
constexpr quint32 kWmfcIdentifier = 0x43464D57; // "WMFC"
constexpr qsizetype kChunkHead = 38; // escape head and the comment's fields
constexpr qsizetype kPlaceableHeader = 22;

quint16 wordSum(const QByteArray &bytes, qsizetype from)
{
    quint16 sum = 0;
    for (qsizetype i = from; i + 1 < bytes.size(); i += 2)
        sum += qFromLittleEndian<quint16>(bytes.constData() + i);
    if ((bytes.size() - from) % 2)
        sum += quint8(bytes[bytes.size() - 1]);
    return sum;
}

quint16 wordXor(const QByteArray &bytes)
{
    quint16 x = 0;
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2)
        x ^= qFromLittleEndian<quint16>(bytes.constData() + i);
    return x;
}

// Two conventions are found in files: GDI makes the words of the whole
// metafile (after a placeable header) add up to zero; other writers store
// the negated exclusive-or of the EMF's words in the first chunk.
bool checksumHolds(const WmfDocument &doc, const QByteArray &emf, quint16 checksum)
{
    if (wordSum(doc.data, doc.placeable ? kPlaceableHeader : 0) == 0)
        return true;
    return quint16(wordXor(emf) + checksum) == 0;
}

} // namespace

QByteArray embeddedEmf(const WmfDocument &doc)
{
    QByteArray emf;
    qint64 expected = -1;
    quint32 chunks = 0, announced = 0;
    quint16 checksum = 0;
    for (const WmfRecord &r : doc.records) {
        if (r.function != WmfEscape || r.size < kChunkHead)
            continue;
        const WmfParams p(doc.data, r);
        if (p.u16(0) != kMfComment || p.u32(4) != kWmfcIdentifier || p.u32(8) != 1)
            continue;
        // Checksum, flags, chunk count, this chunk's size, bytes still to
        // come after it, the EMF's size.
        const quint32 count = p.u32(22), chunk = p.u32(26), remaining = p.u32(30), total = p.u32(34);
        if (expected < 0) {
            expected = total;
            announced = count;
            checksum = p.u16(16);
        }
        if (total != expected || count != announced || !p.has(kChunkHead, chunk)
            || emf.size() + qint64(chunk) > expected
            || qint64(remaining) != expected - emf.size() - qint64(chunk))
            return {};
        emf.append(p.data() + kChunkHead, chunk);
        ++chunks;
    }
    if (expected <= 0 || emf.size() != expected || chunks != announced || !checksumHolds(doc, emf, checksum))
        return {};
    return emf;
}

} // namespace vm

// The EMF+ player on arbitrary bytes. The input is an EMF, seeded with the
// corpus files that carry EMF+ records, so mutations land in their EMF+
// comments as often as in the rest. Input that does not start as an EMF is
// taken for bare EMF+ records and wrapped in one (a header comment first),
// so the fuzzer can also grow record streams of its own.
#include <QImage>
#include <QSize>
#include <QtEndian>

#include "fuzzsupport.h"
#include "platform/metafile/metafile.h"

namespace {

void put(QByteArray &out, quint32 v)
{
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

// A 100 x 100 mm EMF holding one comment of EMF+ records: an EMF+ header
// (dual, 96 dpi), then `records`.
QByteArray wrapped(const QByteArray &records)
{
    QByteArray emf;
    put(emf, 1);
    put(emf, 88);
    for (quint32 v : { 0u, 0u, 378u, 378u, 0u, 0u, 10000u, 10000u, 0x464D4520u, 0x10000u, 0u, 0u, 0u, 0u, 0u,
             0u, 1000u, 1000u, 264u, 264u })
        put(emf, v);
    QByteArray body("EMF+", 4);
    for (quint32 v : { 0x00014001u, 28u, 16u, 0xDBC01002u, 1u, 96u, 96u })
        put(body, v);
    body.append(records);
    body.append(QByteArray((4 - body.size() % 4) % 4, '\0'));
    put(emf, 70);
    put(emf, quint32(12 + body.size()));
    put(emf, quint32(body.size()));
    emf.append(body);
    for (quint32 v : { 14u, 20u, 0u, 16u, 20u })
        put(emf, v);
    return emf;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = vmfuzz::bytesOf(data, size);
    vmfuzz::refusalIsFine([&] {
        const auto metafile = vm::openEmf(vm::looksLikeEmf(bytes) ? bytes : wrapped(bytes));
        metafile->render(metafile->naturalSize().boundedTo(QSize(256, 256)));
    });
    return 0;
}

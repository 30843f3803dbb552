// The EMF parser and player on arbitrary bytes. The records are played at
// no more than 256 pixels a side: the record walk is the same at any size,
// and a small image keeps the fuzzer fast.
#include <QImage>
#include <QSize>

#include "fuzzsupport.h"
#include "platform/metafile/metafile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    vmfuzz::refusalIsFine([&] {
        const auto metafile = vm::openEmf(vmfuzz::bytesOf(data, size));
        metafile->render(metafile->naturalSize().boundedTo(QSize(256, 256)));
    });
    return 0;
}

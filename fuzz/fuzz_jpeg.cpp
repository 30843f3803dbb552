// The JPEG decoder on arbitrary bytes, at full size and, chosen by the
// input's last byte, at a reduced DCT scale as the preview asks for.
#include <QSize>

#include "fuzzsupport.h"
#include "platform/codecs/codecs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QSize maxSize = size > 0 && (data[size - 1] & 1) ? QSize(64, 48) : QSize();
    vmfuzz::refusalIsFine([&] { vm::decodeJpeg(vmfuzz::bytesOf(data, size), maxSize); });
    return 0;
}

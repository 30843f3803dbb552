// The icon and cursor decoder on arbitrary bytes.
#include "fuzzsupport.h"
#include "platform/codecs/codecs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    vmfuzz::refusalIsFine([&] { vm::decodeIco(vmfuzz::bytesOf(data, size)); });
    return 0;
}

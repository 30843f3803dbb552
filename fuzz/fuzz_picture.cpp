// The whole loader behind LoadPicture on arbitrary bytes: format detection
// and every decoder, metafiles played at their natural size as a picture
// box receives them, and the stretched rendering the preview asks for.
#include <QImage>
#include <QSize>

#include "fuzzsupport.h"
#include "platform/picture.h"
#include "platform/picturebytes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    vmfuzz::refusalIsFine([&] {
        const vm::Picture picture = vm::pictureFromBytes(vmfuzz::bytesOf(data, size));
        picture.render(QSize(97, 61));
    });
    return 0;
}

// Placeholder until the picture loader lands.
#include "platform/picture.h"
#include "platform/runtimeerror.h"

namespace vm {
Picture LoadPicture(const QString &name)
{
    if (name.isEmpty())
        raise(Err::BadFileName);
    raise(Err::InvalidPicture);
}
} // namespace vm

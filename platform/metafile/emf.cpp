// Placeholder until the EMF player lands: every EMF is refused.
#include "platform/metafile/metafile.h"
#include "platform/runtimeerror.h"

namespace vm {
std::shared_ptr<const Metafile> openEmf(QByteArray) { raise(Err::InvalidPicture); }
} // namespace vm

// Placeholder until the WMF player lands: every WMF is refused.
#include "platform/metafile/metafile.h"
#include "platform/runtimeerror.h"

namespace vm {
std::shared_ptr<const Metafile> openWmf(QByteArray) { raise(Err::InvalidPicture); }
} // namespace vm

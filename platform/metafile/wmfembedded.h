// Enhanced metafiles carried in WMF comment records (wmfembedded.cpp).
#pragma once

#include <QByteArray>

#include "platform/metafile/wmfformat.h"

namespace vm {

// The carried EMF, whole, or empty when there is none, its chunks do not
// add up to the size and count they announce, or its checksum fails.
QByteArray embeddedEmf(const WmfDocument &doc);

} // namespace vm

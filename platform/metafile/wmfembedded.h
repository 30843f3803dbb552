// Enhanced metafiles carried in WMF comment records (wmfembedded.cpp).
#pragma once

#include <QByteArray>

#include "platform/metafile/wmfformat.h"

namespace vm {

// True when no record of the file draws anything.
bool drawsNothing(const WmfDocument &doc);

// The carried EMF, whole, or empty when there is none or its chunks do not
// add up to the size they announce.
QByteArray embeddedEmf(const WmfDocument &doc);

} // namespace vm

// A structural check of PNG data before it reaches the PNG library, which
// allocates a chunk's claimed length (up to 2 GiB) before it reads the
// chunk: a few bytes claiming a vast text or profile chunk must not cost
// gigabytes.
#pragma once

#include <QByteArrayView>

namespace vm {

// True when `data` starts with the PNG signature and every chunk up to IEND
// (or the end of the data) lies wholly inside it.
bool pngChunksFit(QByteArrayView data);

} // namespace vm

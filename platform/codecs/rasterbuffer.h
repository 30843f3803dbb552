// Memory for large decoded pictures. A 24-megapixel photo is a 96 MB raster;
// touching it for the first time page by page costs about a third of a full
// decode. Backed by transparent huge pages (2 MB-aligned, MADV_HUGEPAGE) the
// kernel faults it in 2 MB at a time. Where the system refuses, plain memory.
// Only with VELMORA_HUGEPAGES=1: with a raster already held, the next one can
// stall in the kernel's compaction (see rasterbuffer.cpp).
#pragma once

#include <QImage>

namespace vm {

// Rasters from this size on get huge-page backing where the system allows.
inline constexpr qsizetype kHugePageRasterBytes = qsizetype(4) * 1024 * 1024;

// An uninitialised 32-bit raster of w x h pixels in `format` (a 4-byte
// format); a null image when memory is short.
QImage allocateRaster(int width, int height, QImage::Format format);

// How many rasters got huge-page backing since the start (tests, benchmark).
quint64 hugePageRasterCount();

} // namespace vm

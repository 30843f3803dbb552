#include "platform/codecs/rasterbuffer.h"

#include <atomic>
#include <climits>
#include <cstdlib>

#include <sys/mman.h>

namespace vm {

namespace {

constexpr size_t kHugePage = size_t(2) * 1024 * 1024;
std::atomic<quint64> s_hugeRasters { 0 };

void freeRaster(void *memory)
{
    std::free(memory);
}

} // namespace

QImage allocateRaster(int width, int height, QImage::Format format)
{
    if (width <= 0 || height <= 0)
        return QImage();
    const qsizetype bytesPerLine = qsizetype(width) * 4;
    const qsizetype bytes = bytesPerLine * height;
    // Off unless VELMORA_HUGEPAGES=1. Measured on a busy 2-core machine: the
    // first raster faults in 2.5x faster (40 ms instead of 100), but while one
    // is held the next one stalls in the kernel's compaction (850 ms instead of
    // 270), and stepping always holds more than one.
    static const bool plainOnly = qEnvironmentVariableIntValue("VELMORA_HUGEPAGES") != 1;
    if (plainOnly || bytes / height != bytesPerLine || bytes < kHugePageRasterBytes || bytesPerLine > INT_MAX)
        return QImage(width, height, format);
    const size_t rounded = (size_t(bytes) + kHugePage - 1) / kHugePage * kHugePage;
    void *memory = std::aligned_alloc(kHugePage, rounded);
    if (!memory)
        return QImage(width, height, format);
        // Refused (no transparent huge pages here): the memory works all the same.
#ifdef MADV_HUGEPAGE
    if (::madvise(memory, rounded, MADV_HUGEPAGE) == 0)
        s_hugeRasters.fetch_add(1, std::memory_order_relaxed);
#endif
    QImage image(static_cast<uchar *>(memory), width, height, bytesPerLine, format, freeRaster, memory);
    if (image.isNull())
        std::free(memory);
    return image;
}

quint64 hugePageRasterCount()
{
    return s_hugeRasters.load(std::memory_order_relaxed);
}

} // namespace vm

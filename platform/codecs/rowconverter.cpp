#include "platform/codecs/rowconverter.h"

#include <algorithm>
#include <system_error>

#include "platform/runtimeerror.h"

namespace vm {

namespace {

// Below this many pixels the conversion takes well under a millisecond:
// not worth a thread.
constexpr qint64 kPixelsForWorkers = qint64(64) * 1024;
constexpr int kMaxWorkers = 7;
constexpr int kBandRows = 32;

} // namespace

RowConverter::RowConverter(std::shared_ptr<const ColorConversion> conversion, QImage &image)
    : m_conversion(std::move(conversion))
{
    if (!m_conversion || image.isNull() || image.depth() != 32)
        return;
    m_bits = image.bits();
    m_bytesPerLine = image.bytesPerLine();
    m_width = image.width();
    m_height = image.height();
    if (qint64(m_width) * m_height < kPixelsForWorkers)
        return; // finish() does it all
    const int cores = int(std::thread::hardware_concurrency());
    const int workers = std::clamp(cores - 1, 1, kMaxWorkers);
    for (int i = 0; i < workers; ++i) {
        try {
            m_workers.emplace_back([this] { work(false); });
        } catch (const std::system_error &) {
            break; // the caller's thread does the rest
        }
    }
}

RowConverter::~RowConverter()
{
    stop();
}

void RowConverter::stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    for (std::thread &t : m_workers)
        t.join();
    m_workers.clear();
}

void RowConverter::rowsReady(int rows)
{
    {
        std::lock_guard lock(m_mutex);
        if (rows <= m_ready)
            return;
        m_ready = std::min(rows, m_height);
    }
    m_wake.notify_one();
}

void RowConverter::finish()
{
    if (!m_bits)
        return;
    {
        std::lock_guard lock(m_mutex);
        m_finishing = true;
        m_ready = m_height;
    }
    m_wake.notify_all();
    work(true);
    for (std::thread &t : m_workers)
        t.join();
    m_workers.clear();
}

bool RowConverter::claim(int &from, int &count, bool caller)
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_stopping || m_next >= m_height)
            return false;
        if (m_next < m_ready) {
            from = m_next;
            count = std::min(kBandRows, m_ready - m_next);
            m_next += count;
            return true;
        }
        if (caller || m_finishing)
            return false;
        m_wake.wait(lock);
    }
}

void RowConverter::work(bool caller)
{
    int from = 0;
    int count = 0;
    while (claim(from, count, caller))
        m_conversion->convertRows(m_bits + qsizetype(from) * m_bytesPerLine, m_bytesPerLine, m_width, count);
}

void applyColorProfile(QImage &image, const QByteArray &icc, PixelModel model)
{
    if (icc.isEmpty() || image.isNull())
        return;
    const QImage::Format format = image.format();
    if (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32_Premultiplied)
        return;
    std::shared_ptr<const ColorConversion> conversion = ColorConversion::find(icc, model);
    if (!conversion)
        return;
    // The profile describes the colours, not colours already weighted by
    // their coverage: convert them unpremultiplied. Qt does both steps in
    // place.
    const bool premultiplied = format == QImage::Format_ARGB32_Premultiplied;
    if (premultiplied)
        image.convertTo(QImage::Format_ARGB32);
    if (image.isNull())
        raise(Err::OutOfMemory);
    {
        RowConverter rows(conversion, image);
        rows.finish();
    }
    if (premultiplied)
        image.convertTo(QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        raise(Err::OutOfMemory);
}

} // namespace vm

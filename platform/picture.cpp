#include "platform/picture.h"

#include "platform/metafile/metafile.h"
#include "platform/runtimeerror.h"

#include <atomic>

namespace vm {

namespace {
std::atomic<quint64> s_metafilePlays { 0 };

QImage play(const Metafile &metafile, QSize size)
{
    s_metafilePlays.fetch_add(1, std::memory_order_relaxed);
    return metafile.render(size);
}
} // namespace

quint64 metafilePlayCount()
{
    return s_metafilePlays.load(std::memory_order_relaxed);
}

Picture::Picture(QImage raster, QSize extentHimetric)
    : m_raster(std::move(raster))
    , m_extent(extentHimetric)
{
}

Picture::Picture(std::shared_ptr<const Metafile> metafile)
    : m_extent(metafile->extentHimetric())
    , m_metafile(std::move(metafile))
    , m_played(std::make_shared<Played>())
{
    m_played->natural = play(*m_metafile, m_metafile->naturalSize());
}

Picture::Picture(std::shared_ptr<const Metafile> metafile, QSize playSize)
    : m_extent(metafile->extentHimetric())
    , m_metafile(std::move(metafile))
    , m_played(std::make_shared<Played>())
{
    // Damaged records were refused when the metafile was opened; a size the
    // player will not take leaves the box to try again, and show nothing.
    // A picture too complex to draw is refused like a damaged one: the work
    // it asks for is the same at every size.
    try {
        m_played->sized = play(*m_metafile, playSize);
    } catch (const RuntimeError &e) {
        if (e.number() == Err::PictureTooComplex)
            throw;
    }
}

const QImage &Picture::image() const
{
    if (!m_metafile)
        return m_raster;
    if (m_played->natural.isNull()) {
        try {
            m_played->natural = play(*m_metafile, m_metafile->naturalSize());
        } catch (const RuntimeError &) {
        }
    }
    return m_played->natural;
}

QSize Picture::pixelSize() const
{
    return m_metafile ? m_metafile->naturalSize() : m_raster.size();
}

QImage Picture::render(QSize size) const
{
    if (isNull() || size.isEmpty())
        return QImage();
    if (m_metafile) {
        if (size == m_played->sized.size())
            return m_played->sized;
        if (size == pixelSize())
            return image();
        return play(*m_metafile, size);
    }
    if (size == m_raster.size())
        return m_raster;
    return m_raster.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

} // namespace vm

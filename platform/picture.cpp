#include "platform/picture.h"

#include "platform/metafile/metafile.h"
#include "platform/runtimeerror.h"

namespace vm {

Picture::Picture(QImage raster, QSize extentHimetric)
    : m_raster(std::move(raster))
    , m_extent(extentHimetric)
{
}

Picture::Picture(std::shared_ptr<const Metafile> metafile)
    : m_extent(metafile->extentHimetric())
    , m_metafile(std::move(metafile))
{
    m_raster = m_metafile->render(m_metafile->naturalSize());
}

QImage Picture::render(QSize size) const
{
    if (m_raster.isNull() || size.isEmpty())
        return QImage();
    if (size == m_raster.size())
        return m_raster;
    if (m_metafile)
        return m_metafile->render(size);
    return m_raster.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

} // namespace vm

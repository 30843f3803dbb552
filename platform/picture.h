// The picture object that LoadPicture returns and the image and picture boxes
// hold. A raster picture is one decoded QImage at its natural size; a metafile
// keeps its records too, so it can be drawn again at any size. Copies share the
// same data (the viewer's two boxes hold one raster, not two).
#pragma once

#include <QImage>
#include <QMetaType>
#include <QSize>
#include <QString>

#include <memory>

namespace vm {

class Metafile;

class Picture {
public:
    Picture() = default; // the empty picture (nothing loaded)
    Picture(QImage raster, QSize extentHimetric);
    Picture(std::shared_ptr<const Metafile> metafile);

    bool isNull() const { return m_raster.isNull(); }

    // Physical extent, in hundredths of a millimetre.
    int Width() const { return m_extent.width(); }
    int Height() const { return m_extent.height(); }
    QSize extent() const { return m_extent; }

    // The picture at its natural size, in device pixels. Raster pictures are
    // RGB32, or premultiplied ARGB32 where they carry transparency.
    const QImage &image() const { return m_raster; }
    QSize pixelSize() const { return m_raster.size(); }

    // The picture drawn to fill exactly `size` pixels (proportions not kept):
    // metafiles are played again at that size, rasters are smoothly scaled.
    QImage render(QSize size) const;

    bool isMetafile() const { return m_metafile != nullptr; }
    const std::shared_ptr<const Metafile> &metafile() const { return m_metafile; }

private:
    QImage m_raster;
    QSize m_extent;
    std::shared_ptr<const Metafile> m_metafile;
};

// Loads a picture file by name, choosing the format from the file's content.
// Throws RuntimeError on any failure.
Picture LoadPicture(const QString &name);

// The same, for a caller that will show the picture no larger than maxSize:
// a JPEG may then be decoded at a reduced DCT scale (never below what covers
// maxSize), which is much faster for large photos. The extent is always that
// of the full picture. Other formats load at their natural size.
Picture LoadPictureForSize(const QString &name, QSize maxSize);

} // namespace vm

Q_DECLARE_METATYPE(vm::Picture)

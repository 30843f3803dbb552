// The picture object that LoadPicture returns and the image and picture boxes
// hold. A raster picture is one decoded QImage at its natural size; a metafile
// keeps its records too, so it can be drawn again at any size. Copies share the
// same data (the viewer's two boxes hold one raster, not two).
#pragma once

#include "platform/units.h"

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
    // A metafile played at its natural size now.
    Picture(std::shared_ptr<const Metafile> metafile);
    // A metafile played at `playSize` now, for a box that shows it at that
    // size; its natural-size raster is played when first asked for.
    Picture(std::shared_ptr<const Metafile> metafile, QSize playSize);

    bool isNull() const { return m_raster.isNull() && !m_metafile; }

    // Physical extent; extent() gives both in hundredths of a millimetre.
    HiMetric Width() const { return HiMetric(m_extent.width()); }
    HiMetric Height() const { return HiMetric(m_extent.height()); }
    QSize extent() const { return m_extent; }

    // The picture at its natural size, in device pixels. Raster pictures are
    // RGB32, or premultiplied ARGB32 where they carry transparency.
    // A metafile that cannot be played at that size gives a null image.
    const QImage &image() const;
    QSize pixelSize() const;

    // The picture drawn to fill exactly `size` pixels (proportions not kept):
    // metafiles are played again at that size, rasters are smoothly scaled.
    QImage render(QSize size) const;

    bool isMetafile() const { return m_metafile != nullptr; }
    const std::shared_ptr<const Metafile> &metafile() const { return m_metafile; }

private:
    // A metafile's rasters, shared by the copies of the picture.
    struct Played {
        QImage natural; // made on first use when not played at load
        QImage sized; // played at load at the size a box asked for
    };

    QImage m_raster; // raster pictures only
    QSize m_extent;
    std::shared_ptr<const Metafile> m_metafile;
    std::shared_ptr<Played> m_played;
};

// How many times pictures have played a metafile's records since the start,
// for tests and benchmarks that check nothing is played twice.
quint64 metafilePlayCount();

// Loads a picture file by name, choosing the format from the file's content.
// Throws RuntimeError on any failure.
Picture LoadPicture(const QString &name);

// The same, for a caller that will show the picture no larger than maxSize:
// a JPEG may then be decoded at a reduced DCT scale (never below what covers
// maxSize), which is much faster for large photos, and a metafile is played
// at exactly maxSize instead of its natural size. The extent is always that
// of the full picture. Other formats load at their natural size. Failures are
// found as LoadPicture finds them.
Picture LoadPictureForSize(const QString &name, QSize maxSize);

} // namespace vm

Q_DECLARE_METATYPE(vm::Picture)

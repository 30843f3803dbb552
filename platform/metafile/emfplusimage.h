// EMF+ images: bitmap and metafile image objects, image attributes, and
// what DrawImage, DrawImagePoints and texture brushes make of them.
//
// Bitmaps come raw (a pixel format, a stride and rows, with a palette for
// the indexed formats) or compressed (PNG, JPEG, GIF or BMP, through the
// same decoders as picture files). Metafile images (WMF, EMF, EMF+) are kept
// as their bytes and played when drawn, one nesting level deeper, onto a
// transparent canvas of the size they cover.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QRectF>

#include "platform/metafile/emfplusobjects.h"

namespace vm {

struct EmfPlusImage {
    enum Kind { Bitmap, Emf, Wmf };
    Kind kind = Bitmap;
    QImage pixels; // bitmaps: ARGB32 premultiplied or RGB32
    QByteArray data; // metafiles: the EMF or WMF (placeable header included)
    // The image's own coordinate space, in pixels: a bitmap's is
    // (0, 0, width, height); a metafile's is its frame at 96 dpi, which need
    // not start at the origin. Source rectangles are read against it.
    QRectF bounds;
    int depth = 0; // metafiles: the nesting depth they play at
};

struct EmfPlusImageAttributes {
    int wrap = 4; // WrapModeClamp: nothing outside the image
    QColor clamp { 0, 0, 0, 0 }; // drawn outside the image when clamped
};

// Decodes the pixel data of a raw EMF+ bitmap (exposed for the tests):
// `stride` bytes a row, rows top to bottom, `palette` for indexed formats.
// Null when the format is unknown or the data too short for the rows.
QImage decodeEmfPlusPixels(quint32 pixelFormat, int width, int height, qint64 stride, const uchar *rows,
    qint64 size, const QList<QRgb> &palette);

} // namespace vm

// The raster decoders behind LoadPicture, one per file format. Each takes
// the whole file and returns the picture in a format that paints without
// conversion, or throws RuntimeError.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

#include "platform/picture.h"

namespace vm {

Picture decodeBmp(const QByteArray &file);
Picture decodeIco(const QByteArray &file); // icons and cursors
Picture decodeGif(const QByteArray &file);
// `maxSize` empty: full size. Otherwise the picture may be decoded at a
// reduced DCT scale, but never smaller than needed to cover maxSize; the
// extent stays that of the full picture.
Picture decodeJpeg(const QByteArray &file, QSize maxSize = QSize());

// RGB32, or premultiplied ARGB32 when some pixel is not opaque. Palette
// images are expanded here; indices past the end of a short palette come out
// black rather than reading past the table.
QImage toDisplayFormat(QImage image);

// Refuses (DamagedPicture) a picture that claims many more pixels than its
// file could describe: pixelsFitBytes of extent.h.
void checkPixelsAgainstFileSize(qint64 width, qint64 height, qint64 fileBytes);

} // namespace vm

// What the WMF and EMF players share about sizes and nesting: the natural
// size of a picture, the bounds every rendering keeps to, and the depth of
// metafiles carried inside metafiles (WMF in EMF comments, EMF in WMF
// escapes, EMF+ metafile images), passed down explicitly.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

#include <memory>

#include "platform/metafile/metafile.h"

namespace vm {

// How many metafiles deep a carried metafile may sit below the file opened.
// A chain of EMF in WMF in EMF... is cut off there, so hostile files cannot
// recurse without end.
inline constexpr int kMetafileMaxNesting = 4;

// The extent (hundredths of a millimetre) at 96 dpi, rounded to whole
// pixels; a vast extent is scaled down, keeping its shape, to at most
// kMetafileMaxSide a side and kMetafileMaxPixels in all, rounded down then
// so the bounds hold after rounding.
QSize metafileNaturalSize(QSize himetric);

// False for an empty size; throws RuntimeError (PictureTooLarge) for a size
// past the bounds.
bool checkMetafileRenderSize(QSize size);

// A new white image of `size` for a rendering: a null image for an empty
// size; throws RuntimeError (PictureTooLarge) past the bounds and
// (OutOfMemory) when the pixels cannot be had.
QImage newMetafileCanvas(QSize size, QImage::Format format);

// openEmf and openWmf for a metafile found `depth` levels inside another
// (0 for the file itself). Past kMetafileMaxNesting they return nullptr;
// they throw RuntimeError as openEmf and openWmf do.
std::shared_ptr<const Metafile> openEmfAt(QByteArray data, int depth);
std::shared_ptr<const Metafile> openWmfAt(QByteArray data, int depth);

} // namespace vm

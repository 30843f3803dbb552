// Physical extent of a raster picture and the size bounds every decoder
// applies before it allocates anything: a loaded picture, an icon entry and a
// bitmap inside a metafile alike.
#pragma once

#include <QSize>

namespace vm {

// The screen resolution assumed when a file records none we can believe.
inline constexpr double kDefaultDpi = 96.0;

// Decoded pictures are held as 32-bit pixels. 200 million pixels (800 MB)
// admits a 100-megapixel photo with room to spare, while a small file that
// claims 65535 x 65535 is refused before a single byte is allocated.
inline constexpr qint64 kMaxPicturePixels = 200'000'000;
// No side may exceed this either, so that a 1-pixel-high strip cannot be
// a million screens wide.
inline constexpr qint64 kMaxPictureSide = 1 << 20;
// Any picture up to this size is accepted whatever its file size; beyond it,
// no format we read packs more than kMaxPixelsPerByte pixels into one byte in
// practice (flat JPEG and GIF stay well under it). A few hundred bytes cannot
// hold tens of megapixels, and allocating them would only paint a blank area.
inline constexpr qint64 kFreePixels = 16'000'000;
inline constexpr qint64 kMaxPixelsPerByte = 4096;

// Within the bounds above; sides are taken as positive.
constexpr bool pictureSizeFits(qint64 width, qint64 height)
{
    return width <= kMaxPictureSide && height <= kMaxPictureSide && width * height <= kMaxPicturePixels;
}
// False when `bytes` are too few for a picture of this many pixels.
constexpr bool pixelsFitBytes(qint64 width, qint64 height, qint64 bytes)
{
    const qint64 pixels = width * height;
    return pixels <= kFreePixels || pixels / kMaxPixelsPerByte <= bytes;
}

// Throws DamagedPicture for a side of 0 or less, PictureTooLarge beyond the
// bounds above.
void checkPictureSize(qint64 width, qint64 height);

// A resolution is believed only when a pixel comes out between 1 micrometre
// and 2.54 mm (10 to 25 400 dpi). Files in the wild record 0, 1 or 3 px/m
// ("unknown" or an aspect ratio written as a density) and fuzzed values in
// the millions; taken literally they give pictures metres wide or thinner
// than a hair. The same test applies to every format and to each axis.
bool isPlausibleDensity(double dotsPerMetre);

double dotsPerMetreFromDpi(double dpi);
double dotsPerMetreFromDotsPerCm(double dotsPerCm);

// Extent in hundredths of a millimetre of `pixels` at the given densities
// (dots per metre); an axis whose density is not plausible uses 96 dpi.
QSize extentHimetric(QSize pixels, double dotsPerMetreX, double dotsPerMetreY);
// The same at 96 dpi on both axes.
QSize extentHimetricAt96Dpi(QSize pixels);

} // namespace vm

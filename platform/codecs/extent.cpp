#include "platform/codecs/extent.h"

#include <cmath>
#include <limits>

#include "platform/runtimeerror.h"

namespace vm {

namespace {

constexpr double kMinDotsPerMetre = 10.0 * 5000.0 / 127.0; // 10 dpi
constexpr double kMaxDotsPerMetre = 1'000'000.0; // 1 µm per pixel

int himetric(int pixels, double dotsPerMetre)
{
    const double value = std::round(double(pixels) * 100000.0 / dotsPerMetre);
    return value > double(std::numeric_limits<int>::max()) ? std::numeric_limits<int>::max() : int(value);
}

} // namespace

void checkPictureSize(qint64 width, qint64 height)
{
    if (width <= 0 || height <= 0)
        raise(Err::DamagedPicture);
    if (!pictureSizeFits(width, height))
        raise(Err::PictureTooLarge);
}

bool isPlausibleDensity(double dotsPerMetre)
{
    return std::isfinite(dotsPerMetre) && dotsPerMetre >= kMinDotsPerMetre
        && dotsPerMetre <= kMaxDotsPerMetre;
}

double dotsPerMetreFromDpi(double dpi)
{
    return dpi * 5000.0 / 127.0;
}

double dotsPerMetreFromDotsPerCm(double dotsPerCm)
{
    return dotsPerCm * 100.0;
}

QSize extentHimetric(QSize pixels, double dotsPerMetreX, double dotsPerMetreY)
{
    const double fallback = dotsPerMetreFromDpi(kDefaultDpi);
    const double x = isPlausibleDensity(dotsPerMetreX) ? dotsPerMetreX : fallback;
    const double y = isPlausibleDensity(dotsPerMetreY) ? dotsPerMetreY : fallback;
    return QSize(himetric(pixels.width(), x), himetric(pixels.height(), y));
}

QSize extentHimetricAt96Dpi(QSize pixels)
{
    return extentHimetric(pixels, 0, 0);
}

} // namespace vm

// Lengths in the units the windows' procedures count in. Windows and the
// screen are measured in twips (1440 to the inch); controls and a window's
// inner scale in device pixels (see controls/devicepixels.h); a picture's
// extent in hundredths of a millimetre; Qt itself in logical pixels. Each of
// the first three is its own type, so a length in one unit cannot be given
// where another is meant: the number comes out only through value(), and a
// length goes from one unit to another only through a function that takes
// the screen's scale.
#pragma once

#include <cmath>

namespace vm {

template <typename Unit> class Length {
public:
    constexpr Length() = default;
    constexpr explicit Length(int value)
        : m_value(value)
    {
    }

    constexpr int value() const { return m_value; }

    friend constexpr Length operator+(Length a, Length b) { return Length(a.m_value + b.m_value); }
    friend constexpr Length operator-(Length a, Length b) { return Length(a.m_value - b.m_value); }
    friend constexpr bool operator==(const Length &, const Length &) = default;
    friend constexpr auto operator<=>(const Length &, const Length &) = default;

private:
    int m_value = 0;
};

using Twips = Length<struct TwipsUnit>;
using DevicePixels = Length<struct DevicePixelsUnit>;
// Hundredths of a millimetre: a picture's physical extent.
using HiMetric = Length<struct HiMetricUnit>;

// Twips and Qt's logical pixels, at the screen's twips per logical pixel
// (twipsPerPixelX() or twipsPerPixelY()), rounded to the nearest.
inline Twips twipsFromPixels(int logicalPixels, double twipsPerPixel)
{
    return Twips(int(std::lround(logicalPixels * twipsPerPixel)));
}
inline int pixelsFromTwips(Twips twips, double twipsPerPixel)
{
    return int(std::lround(twips.value() / twipsPerPixel));
}

} // namespace vm

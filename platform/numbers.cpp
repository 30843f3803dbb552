#include "platform/numbers.h"

#include "platform/runtimeerror.h"

#include <cmath>
#include <limits>

namespace vm {

namespace {
template <typename T> T roundChecked(double value)
{
    if (!std::isfinite(value))
        raise(Err::Overflow);
    const double r = std::nearbyint(value); // default rounding mode: halves to even
    if (r < double(std::numeric_limits<T>::min()) || r > double(std::numeric_limits<T>::max()))
        raise(Err::Overflow);
    return static_cast<T>(r);
}
} // namespace

qint16 roundToInt16(double value)
{
    return roundChecked<qint16>(value);
}
qint32 roundToInt32(double value)
{
    return roundChecked<qint32>(value);
}

} // namespace vm

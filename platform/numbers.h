// Rounding the procedures' floating-point results to integers. The controls
// keep 16-bit integers; lengths are single precision. A value that does not
// fit raises the overflow error instead of wrapping silently.
#pragma once

#include <QtGlobal>

namespace vm {

// Rounds to the nearest integer, halves to even, into 16 bits; throws
// RuntimeError(Overflow) when out of range or not a number.
qint16 roundToInt16(double value);
// The same into 32 bits.
qint32 roundToInt32(double value);

} // namespace vm

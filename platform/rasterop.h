// Raster operations as GDI codes them. Files and calls carry the full 32-bit
// code; its third byte is the ternary operation's truth table (the result
// for each combination of pattern, source and destination bits), which is
// all that carrying an operation out needs.
#pragma once

#include <QtGlobal>

namespace vm {

inline constexpr quint32 kSrcCopy = 0x00CC0020;

constexpr quint32 ternaryOp(quint32 rop)
{
    return (rop >> 16) & 0xFF;
}

} // namespace vm

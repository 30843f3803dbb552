// What every fuzz target shares: the toolkit started once (metafile text
// needs fonts, and fonts need a GUI application), and a way to run one
// decode so that only a RuntimeError counts as a clean refusal.
#pragma once

#include <QByteArray>

#include <cstddef>
#include <cstdint>

namespace vmfuzz {

// The fuzzer's input as a QByteArray that owns no copy.
inline QByteArray bytesOf(const uint8_t *data, size_t size)
{
    return QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
}

// Runs `decode`; a RuntimeError is the expected way to refuse a file.
// Anything else thrown escapes and ends the run as a crash.
template <typename F> void refusalIsFine(F &&decode);

} // namespace vmfuzz

#include "platform/runtimeerror.h"

template <typename F> void vmfuzz::refusalIsFine(F &&decode)
{
    try {
        decode();
    } catch (const vm::RuntimeError &) {
    }
}

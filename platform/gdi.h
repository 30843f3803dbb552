// Device contexts and the bit-block copy between them. A device context is a
// drawing surface: the persistent image of a box with AutoRedraw, or the
// on-screen surface of a box without it. Coordinates are device pixels.
#pragma once

#include <QImage>
#include <QtGlobal>

#include "platform/rasterop.h"

class QWidget;

namespace vm {

struct DeviceContext {
    QImage *surface = nullptr; // the pixels drawn into
    QWidget *widget = nullptr; // repainted after a copy, when on screen
};
using HDC = DeviceContext *;

// The name BitBlt callers know it by.
inline constexpr quint32 SRCCOPY = kSrcCopy;

// Copies a w x h block from (xSrc, ySrc) of `src` to (x, y) of `dest`,
// clipped to both surfaces. Returns non-zero on success, zero when a handle
// is invalid or the operation is not supported.
int BitBlt(HDC dest, int x, int y, int w, int h, HDC src, int xSrc, int ySrc, quint32 rop);

} // namespace vm

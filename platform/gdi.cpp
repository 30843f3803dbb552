#include "platform/gdi.h"

#include "platform/controls/devicepixels.h"

#include <QPainter>
#include <QWidget>

#include <algorithm>
#include <cstring>

namespace vm {

int BitBlt(HDC dest, int x, int y, int w, int h, HDC src, int xSrc, int ySrc, quint32 rop)
{
    if (!dest || !src || !dest->surface || !src->surface || rop != SRCCOPY)
        return 0;
    QImage &to = *dest->surface;
    const QImage &from = *src->surface;
    if (to.isNull() || from.isNull())
        return 0;

    // Clip the block to the source and the destination.
    if (xSrc < 0) {
        x -= xSrc;
        w += xSrc;
        xSrc = 0;
    }
    if (ySrc < 0) {
        y -= ySrc;
        h += ySrc;
        ySrc = 0;
    }
    if (x < 0) {
        xSrc -= x;
        w += x;
        x = 0;
    }
    if (y < 0) {
        ySrc -= y;
        h += y;
        y = 0;
    }
    w = std::min({ w, from.width() - xSrc, to.width() - x });
    h = std::min({ h, from.height() - ySrc, to.height() - y });
    if (w > 0 && h > 0) {
        if (to.format() == from.format() && to.depth() == 32) {
            // The common case: one row copy per line, no conversion, no allocation.
            const qsizetype bytes = qsizetype(w) * 4;
            for (int row = 0; row < h; ++row)
                std::memcpy(to.scanLine(y + row) + qsizetype(x) * 4,
                    from.constScanLine(ySrc + row) + qsizetype(xSrc) * 4, size_t(bytes));
        } else {
            QPainter p(&to);
            p.setCompositionMode(QPainter::CompositionMode_Source);
            p.drawImage(QPoint(x, y), from, QRect(xSrc, ySrc, w, h));
        }
        // Surfaces are in device pixels, the widget repaints logical ones.
        if (dest->widget)
            dest->widget->update(toLogicalPixels(QRect(x, y, w, h), pixelRatio(dest->widget)));
    }
    return 1;
}

} // namespace vm

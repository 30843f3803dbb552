// Shared by the EMF+ player's tests (tst_emfplus*.cpp): rendering at
// 100 x 100 (one world unit a pixel), colour checks and common records.
#pragma once

#include <QImage>
#include <QString>

#include "platform/metafile/metafile.h"
#include "support/emfplusbuilder.h"

namespace vmtest {

inline constexpr qint64 kNullPen = 0x80000000LL | 8;
inline const QColor kRed(255, 0, 0), kBlue(0, 0, 255), kGreen(0, 160, 0), kWhite(255, 255, 255);

inline QImage render(const QByteArray &bytes)
{
    return vm::openEmf(bytes)->render(QSize(100, 100));
}

inline bool near(const QImage &image, QPoint p, QColor want, int tolerance = 60)
{
    const QColor c = image.pixelColor(p);
    return std::abs(c.red() - want.red()) <= tolerance && std::abs(c.green() - want.green()) <= tolerance
        && std::abs(c.blue() - want.blue()) <= tolerance;
}

inline QString describe(const QImage &image, QPoint p)
{
    return QStringLiteral("(%1,%2) is %3").arg(p.x()).arg(p.y()).arg(image.pixelColor(p).name());
}

// FillRects of one rectangle with an ARGB colour (the S flag) or a brush object.
inline QByteArray fillRect(QRectF r, quint32 brush)
{
    return PlusData().u32(brush).u32(1).rect(r);
}

inline EmfPlusBuilder &fill(EmfPlusBuilder &b, QRectF r, QColor c)
{
    return b.plus(vm::EmfPlusFillRects, vm::FlagColor, fillRect(r, c.rgba()));
}

// A red GDI rectangle at (60,60)-(90,90).
inline EmfPlusBuilder &gdiRedSquare(EmfPlusBuilder &b)
{
    b.gdi(EmrCreateBrushIndirect, { 1, 0, 0x0000FF, 0 });
    b.gdi(EmrSelectObject, { 1 });
    b.gdi(EmrSelectObject, { kNullPen });
    return b.gdi(EmrRectangle, { 60, 60, 90, 90 });
}

// DrawLines data: a line across the middle.
inline QByteArray horizontalLine()
{
    return PlusData().u32(2).points({ { 10, 50 }, { 90, 50 } });
}

inline int gapsAlong(const QImage &image, int y, int x0, int x1)
{
    int gaps = 0;
    bool inked = false;
    for (int x = x0; x <= x1; ++x) {
        const bool ink = qGray(image.pixel(x, y)) < 200;
        gaps += inked && !ink;
        inked = ink;
    }
    return gaps;
}

} // namespace vmtest

#include "platform/codecs/codecs.h"

#include <QList>

#include "platform/codecs/extent.h"
#include "platform/runtimeerror.h"

namespace vm {

namespace {

QImage expandPalette(QImage image)
{
    QList<QRgb> table = image.colorTable();
    const int entries = image.format() == QImage::Format_Indexed8 ? 256 : 2;
    while (table.size() < entries)
        table.append(qRgb(0, 0, 0));
    image.setColorTable(table);
    return image;
}

bool allTransparent(const QImage &image)
{
    for (int y = 0; y < image.height(); ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(line[x]) != 0)
                return false;
        }
    }
    return true;
}

} // namespace

QImage toDisplayFormat(QImage image)
{
    if (image.isNull())
        raise(Err::OutOfMemory);
    if (image.format() == QImage::Format_Indexed8 || image.format() == QImage::Format_Mono
        || image.format() == QImage::Format_MonoLSB) {
        image = expandPalette(std::move(image));
    }
    if (image.format() == QImage::Format_ARGB32 && allTransparent(image)) {
        // A 32-bit bitmap whose alpha channel is all zero was written by a
        // program that left the fourth byte unused; shown literally it would
        // be invisible.
        for (int y = 0; y < image.height(); ++y) {
            QRgb *line = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                line[x] |= 0xff000000u;
        }
        image.reinterpretAsFormat(QImage::Format_RGB32);
    }
    const QImage::Format target
        = image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    if (image.format() != target)
        image.convertTo(target);
    if (image.isNull() || image.format() != target)
        raise(Err::OutOfMemory);
    return image;
}

void checkPixelsAgainstFileSize(qint64 width, qint64 height, qint64 fileBytes)
{
    if (!pixelsFitBytes(width, height, fileBytes))
        raise(Err::DamagedPicture);
}

} // namespace vm

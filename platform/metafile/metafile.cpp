#include "platform/metafile/metafile.h"
#include "platform/metafile/metafilebounds.h"
#include "platform/runtimeerror.h"

#include <QtEndian>

#include <algorithm>
#include <cmath>

namespace vm {

bool looksLikeEmf(const QByteArray &head)
{
    // EMR_HEADER record type 1, then " EMF" at offset 40.
    return head.size() >= 44 && qFromLittleEndian<quint32>(head.constData()) == 1
        && head.mid(40, 4) == QByteArrayLiteral(" EMF");
}

bool looksLikeWmf(const QByteArray &head)
{
    if (head.size() >= 4 && qFromLittleEndian<quint32>(head.constData()) == 0x9AC6CDD7u)
        return true; // placeable header
    if (head.size() < 18)
        return false;
    const quint16 type = qFromLittleEndian<quint16>(head.constData());
    const quint16 headerWords = qFromLittleEndian<quint16>(head.constData() + 2);
    const quint16 version = qFromLittleEndian<quint16>(head.constData() + 4);
    return (type == 1 || type == 2) && headerWords == 9 && (version == 0x0100 || version == 0x0300);
}

QSize metafileNaturalSize(QSize himetric)
{
    const double w = std::max(1.0, himetric.width() * 96.0 / 2540);
    const double h = std::max(1.0, himetric.height() * 96.0 / 2540);
    double scale = std::min({ 1.0, kMetafileMaxSide / w, kMetafileMaxSide / h });
    if (w * h * scale * scale > double(kMetafileMaxPixels))
        scale = std::sqrt(double(kMetafileMaxPixels) / (w * h));
    const auto side = [scale](double v) {
        return std::clamp(scale < 1 ? int(std::floor(v * scale)) : int(std::lround(v)), 1, kMetafileMaxSide);
    };
    return QSize(side(w), side(h));
}

bool checkMetafileRenderSize(QSize size)
{
    if (size.width() <= 0 || size.height() <= 0)
        return false;
    if (size.width() > kMetafileMaxSide || size.height() > kMetafileMaxSide
        || qint64(size.width()) * size.height() > kMetafileMaxPixels)
        raise(Err::PictureTooLarge);
    return true;
}

QImage newMetafileCanvas(QSize size, QImage::Format format)
{
    if (!checkMetafileRenderSize(size))
        return {};
    QImage image(size, format);
    if (image.isNull())
        raise(Err::OutOfMemory);
    image.fill(Qt::white);
    return image;
}

std::shared_ptr<const Metafile> openEmf(QByteArray data)
{
    return openEmfAt(std::move(data), 0);
}

std::shared_ptr<const Metafile> openWmf(QByteArray data)
{
    return openWmfAt(std::move(data), 0);
}

} // namespace vm

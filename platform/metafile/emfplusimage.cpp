// EMF+ image objects (raw and compressed bitmaps, metafiles), image
// attributes, and the DrawImage and DrawImagePoints records.
#include "platform/metafile/emfplusimage.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <new>

#include "platform/codecs/codecs.h"
#include "platform/codecs/pngchunks.h"
#include "platform/codecs/dib.h"
#include "platform/codecs/extent.h"
#include "platform/metafile/emfplayer.h"
#include "platform/metafile/emfpluseffects.h"
#include "platform/metafile/emfplusplayer.h"
#include "platform/metafile/metafilebounds.h"
#include "platform/metafile/wmfformat.h"
#include "platform/metafile/wmfplayer.h"
#include "platform/runtimeerror.h"

namespace vm {

namespace {

// Pixel formats by their index (the low byte): bits per pixel, and whether
// indexed, with alpha, premultiplied. The other bits repeat what the index
// says and are not trusted.
struct PixelFormat {
    int bpp;
    bool indexed, alpha, premultiplied;
};
constexpr PixelFormat kFormats[15] = {
    { 0, false, false, false }, // undefined
    { 1, true, false, false }, { 4, true, false, false }, { 8, true, false, false }, // indexed
    { 16, false, false, false }, { 16, false, false, false }, { 16, false, false, false }, // grey, 555, 565
    { 16, false, true, false }, { 24, false, false, false }, { 32, false, false, false }, // 1555, RGB, RGB
    { 32, false, true, false }, { 32, false, true, true }, { 48, false, false, false }, // ARGB, PARGB, 48
    { 64, false, true, false }, { 64, false, true, true }, // ARGB, PARGB
};

PixelFormat pixelFormat(quint32 format)
{
    return (format & 0xFF) < 15 ? kFormats[format & 0xFF] : kFormats[0];
}

// A metafile image is played at no more than this many pixels each time it
// is drawn; beyond it the picture is drawn scaled up, as any bitmap.
constexpr int kMaxMetafileSide = 4096;
constexpr qint64 kMaxMetafilePixels = 8LL * 1024 * 1024;

bool sizeFits(qint64 width, qint64 height)
{
    return width > 0 && height > 0 && width <= kMaxPictureSide && height <= kMaxPictureSide
        && width * height <= kMaxPicturePixels;
}

// 48 and 64 bpp channels are linear light from 0 to 8192; the picture is sRGB.
int fromLinear(quint16 v)
{
    const double x = std::clamp(v / 8192.0, 0.0, 1.0);
    const double s = x <= 0.0031308 ? 12.92 * x : 1.055 * std::pow(x, 1 / 2.4) - 0.055;
    return int(std::lround(s * 255));
}

// PNG data, after its size and chunks are checked, through the PNG library.
QImage decodePng(const QByteArray &data)
{
    // Signature, IHDR length and type, then width and height.
    if (data.size() < 33 || !pngChunksFit(data))
        return {};
    const qint64 width = qFromBigEndian<quint32>(data.constData() + 16);
    const qint64 height = qFromBigEndian<quint32>(data.constData() + 20);
    if (!sizeFits(width, height))
        return {};
    QByteArray copy = data;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    reader.setAllocationLimit(int(kMaxPicturePixels * 8 / (qint64(1024) * 1024)) + 1);
    QImage image;
    if (!reader.read(&image) || image.size() != QSize(int(width), int(height)))
        return {};
    return image;
}

// A compressed bitmap: the file's bytes, told apart by their signature.
QImage decodeCompressed(const QByteArray &data)
{
    try {
        if (data.startsWith("\x89PNG\r\n\x1a\n"))
            return decodePng(data);
        if (data.startsWith("\xFF\xD8\xFF"))
            return decodeJpeg(data).image();
        if (data.startsWith("GIF87a") || data.startsWith("GIF89a"))
            return decodeGif(data).image();
        if (data.startsWith("BM"))
            return decodeBmp(data).image();
    } catch (const RuntimeError &) {
    } catch (const std::bad_alloc &) {
    }
    return {}; // TIFF, Exif, icons and damaged data: not drawn
}

std::shared_ptr<EmfPlusImage> parseBitmap(const EmfPlusReader &r)
{
    // Width, height, stride, pixel format, type (0 pixels, 1 compressed).
    const qint32 width = r.i32(8), height = r.i32(12), stride = r.i32(16);
    const quint32 format = r.u32(20), type = r.u32(24);
    if (!r.ok())
        return nullptr;
    auto image = std::make_shared<EmfPlusImage>();
    if (type == 1) {
        image->pixels
            = decodeCompressed(QByteArray(reinterpret_cast<const char *>(r.data() + 28), r.size() - 28));
    } else if (type == 0) {
        if (!sizeFits(width, height))
            return nullptr;
        qint64 at = 28;
        QList<QRgb> palette;
        if (pixelFormat(format).indexed) {
            // Palette flags, count, ARGB entries.
            const quint32 count = r.u32(at + 4);
            if (!r.ok() || count > 256 || !r.has(at + 8, qint64(count) * 4))
                return nullptr;
            for (quint32 i = 0; i < count; ++i)
                palette.append(r.u32(at + 8 + qint64(i) * 4));
            at += 8 + qint64(count) * 4;
        }
        image->pixels
            = decodeEmfPlusPixels(format, width, height, stride, r.data() + at, r.size() - at, palette);
    }
    if (image->pixels.isNull())
        return nullptr;
    image->bounds = QRectF(QPointF(0, 0), image->pixels.size());
    return image;
}

std::shared_ptr<EmfPlusImage> parseMetafile(const EmfPlusReader &r, int depth)
{
    // Type (1 WMF, 2 placeable WMF, 3 EMF, 4 EMF+ only, 5 EMF+ dual), size, data.
    const quint32 type = r.u32(8), size = r.u32(12);
    if (!r.ok() || type < 1 || type > 5 || !r.has(16, size) || depth + 1 > kMetafileMaxNesting)
        return nullptr;
    // GDI+ writes the placeable header padded to 24 bytes: two zero bytes
    // sit between it and the WMF header (type 1 or 2, nine header words).
    const bool padded = type == 2 && r.has(16, 24 + 18) && r.u16(16 + 22) == 0 && r.u16(16 + 26) == 9
        && (r.u16(16 + 24) == 1 || r.u16(16 + 24) == 2);
    // It also gives the size of the WMF without that header, which cuts
    // off the last records; the WMF header's own size in words says how
    // far it really goes, and is taken when the object holds that much.
    qint64 length = size;
    const qint64 wmfStart = padded ? 24 : 22;
    if (type == 2 && r.has(16 + wmfStart, 18)) {
        const qint64 whole = wmfStart + 2 * qint64(r.u32(16 + wmfStart + 6));
        if (whole > length && r.has(16, whole))
            length = whole;
    }
    auto image = std::make_shared<EmfPlusImage>();
    image->data = QByteArray(reinterpret_cast<const char *>(r.data() + 16), length);
    image->depth = depth + 1;
    if (padded && image->data.size() >= 24 + 18)
        image->data.remove(22, 2);
    try {
        if (type >= 3) {
            const EmfHeader header = parseEmfHeader(image->data);
            image->kind = EmfPlusImage::Emf;
            image->bounds = header.deviceFrame;
        } else {
            const WmfDocument doc = parseWmf(image->data);
            image->kind = EmfPlusImage::Wmf;
            // A placeable WMF's source rectangles are in its bounding box's
            // logical units; a plain one's in pixels at 96 dpi.
            image->bounds = doc.placeable && doc.window.isValid()
                ? doc.window
                : QRectF(QPointF(0, 0), metafileNaturalSize(doc.extentHimetric));
        }
    } catch (const RuntimeError &) {
        return nullptr;
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
    if (!image->bounds.isValid())
        return nullptr;
    return image;
}

// Pixels per `unit` for an image's source rectangle (images are taken at 96 dpi).
double sourceScale(int unit)
{
    switch (unit) {
    case UnitPoint:
        return 96.0 / 72;
    case UnitInch:
        return 96.0;
    case UnitDocument:
        return 96.0 / 300;
    case UnitMillimeter:
        return 96.0 / 25.4;
    default:
        return 1;
    }
}

// The transform taking `src` onto the parallelogram with corners p0 (its
// top left), p1 (top right) and p2 (bottom left).
QTransform fitParallelogram(const QRectF &src, QPointF p0, QPointF p1, QPointF p2)
{
    const double m11 = (p1.x() - p0.x()) / src.width(), m12 = (p1.y() - p0.y()) / src.width();
    const double m21 = (p2.x() - p0.x()) / src.height(), m22 = (p2.y() - p0.y()) / src.height();
    return QTransform(
        m11, m12, m21, m22, p0.x() - m11 * src.x() - m21 * src.y(), p0.y() - m12 * src.x() - m22 * src.y());
}

} // namespace

QImage decodeEmfPlusPixels(quint32 format, int width, int height, qint64 stride, const uchar *rows,
    qint64 size, const QList<QRgb> &palette)
{
    const PixelFormat pf = pixelFormat(format);
    const int bpp = pf.bpp;
    if (!sizeFits(width, height) || !rows)
        return {};
    const qint64 rowBytes = (qint64(width) * bpp + 7) / 8;
    const bool bottomUp = stride < 0;
    stride = std::abs(stride);
    if (bpp == 0 || stride < rowBytes || stride > (qint64(1) << 30)
        || size < stride * (height - 1) + rowBytes)
        return {};
    const bool alpha = pf.alpha;
    const bool premultiplied = pf.premultiplied;
    QImage image(width, height, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (image.isNull())
        return {};
    const auto indexed = [&](int i) { return i < palette.size() ? palette[i] : qRgb(0, 0, 0); };
    for (int y = 0; y < height; ++y) {
        const uchar *row = rows + stride * (bottomUp ? height - 1 - y : y);
        auto *out = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const uchar *p = row + qint64(x) * bpp / 8;
            const auto w16 = [p](int i) { return qFromLittleEndian<quint16>(p + qsizetype(2) * i); };
            QRgb c = 0;
            switch (format & 0xFF) {
            case 1:
                c = indexed((row[x / 8] >> (7 - x % 8)) & 1);
                break;
            case 2:
                c = indexed((row[x / 2] >> (x % 2 ? 0 : 4)) & 15);
                break;
            case 3:
                c = indexed(p[0]);
                break;
            case 4: {
                const int g = w16(0) >> 8;
                c = qRgb(g, g, g);
                break;
            } // 16 bpp grey
            case 5: {
                const int v = w16(0);
                c = qRgb((v >> 7 & 0xF8) | (v >> 12 & 7), (v >> 2 & 0xF8) | (v >> 7 & 7),
                    (v << 3 & 0xF8) | (v >> 2 & 7));
                break;
            }
            case 6: {
                const int v = w16(0);
                c = qRgb((v >> 8 & 0xF8) | (v >> 13), (v >> 3 & 0xFC) | (v >> 9 & 3),
                    (v << 3 & 0xF8) | (v >> 2 & 7));
                break;
            }
            case 7: {
                const int v = w16(0);
                c = qRgba((v >> 7 & 0xF8) | (v >> 12 & 7), (v >> 2 & 0xF8) | (v >> 7 & 7),
                    (v << 3 & 0xF8) | (v >> 2 & 7), v & 0x8000 ? 255 : 0);
                break;
            }
            case 8:
            case 9:
                c = qRgb(p[2], p[1], p[0]);
                break;
            case 10:
            case 11:
                c = qRgba(p[2], p[1], p[0], p[3]);
                break;
            case 12:
                c = qRgb(fromLinear(w16(2)), fromLinear(w16(1)), fromLinear(w16(0)));
                break;
            case 13:
            case 14:
                c = qRgba(fromLinear(w16(2)), fromLinear(w16(1)), fromLinear(w16(0)),
                    std::min(255, w16(3) * 255 / 8192));
                break;
            default:
                return {};
            }
            if (premultiplied && qAlpha(c) > 0 && qAlpha(c) < 255) {
                // Stored premultiplied: undo it (values past alpha are damage).
                const int a = qAlpha(c);
                c = qRgba(std::min(255, qRed(c) * 255 / a), std::min(255, qGreen(c) * 255 / a),
                    std::min(255, qBlue(c) * 255 / a), a);
            }
            out[x] = c;
        }
    }
    return alpha ? image.convertToFormat(QImage::Format_ARGB32_Premultiplied) : image;
}

std::shared_ptr<const EmfPlusImage> parseEmfPlusImage(const EmfPlusReader &r, int depth)
{
    // Version, type (1 bitmap, 2 metafile), then the image's own data.
    const quint32 type = r.u32(4);
    if (!r.ok())
        return nullptr;
    try {
        if (type == 1)
            return parseBitmap(r);
        if (type == 2)
            return parseMetafile(r, depth);
    } catch (const std::bad_alloc &) {
    }
    return nullptr;
}

std::shared_ptr<const EmfPlusImageAttributes> parseEmfPlusImageAttributes(const EmfPlusReader &r)
{
    // Version, reserved, wrap mode, clamp colour, object clamp, reserved.
    auto a = std::make_shared<EmfPlusImageAttributes>();
    a->wrap = int(r.u32(8));
    a->clamp = r.argb(12);
    if (!r.ok() || a->wrap > 4)
        return nullptr;
    return a;
}

// Plays a metafile image onto a transparent canvas of `size`; `used`
// receives the work the play did, for the caller's budget. Null when it
// cannot be played or its own budget ran out.
// `reference` is the canvas's size in pixels of the picture at its natural
// size, in which the nested play's work is priced.
static QImage renderEmfPlusMetafile(const EmfPlusImage &image, QSize size, QSize reference, double *used)
{
    if (image.kind == EmfPlusImage::Bitmap || size.isEmpty() || image.depth > kMetafileMaxNesting)
        return {};
    // Played onto a transparent canvas, so what lies under the image shows.
    QImage canvas(size, QImage::Format_ARGB32_Premultiplied);
    if (canvas.isNull())
        return {};
    canvas.fill(Qt::transparent);
    try {
        if (image.kind == EmfPlusImage::Emf) {
            const EmfHeader header = parseEmfHeader(image.data);
            const QRectF f = header.deviceFrame;
            QTransform deviceToImage = QTransform::fromTranslate(-f.x(), -f.y());
            deviceToImage *= QTransform::fromScale(size.width() / f.width(), size.height() / f.height());
            GdiContext context(&canvas, deviceToImage, header.pxPerMm, image.data.size(), reference);
            EmfPlayer(image.data, header, context, image.depth).play();
            *used = context.budget().used();
            if (context.budget().spent())
                return {};
        } else {
            const WmfDocument doc = parseWmf(image.data);
            GdiContext context(
                &canvas, QTransform(), QSizeF(96 / 25.4, 96 / 25.4), image.data.size(), reference);
            WmfPlayer(doc, context).play();
            *used = context.budget().used();
            if (context.budget().spent())
                return {};
        }
    } catch (const RuntimeError &) {
        return {};
    } catch (const std::bad_alloc &) {
        return {};
    }
    return canvas;
}

QImage emfPlusImagePixels(const EmfPlusImage *image)
{
    if (!image)
        return {};
    if (image->kind == EmfPlusImage::Bitmap)
        return image->pixels;
    // A metafile texture is played at its own size (kept modest: it tiles).
    const QSize size = image->bounds.size().toSize().boundedTo(QSize(1024, 1024)).expandedTo(QSize(1, 1));
    double used = 0;
    return renderEmfPlusMetafile(*image, size, size, &used);
}

// ---- records --------------------------------------------------------------

EmfPlusResult EmfPlusPlayer::imageRecord(const EmfPlusRecord &r)
{
    const EmfPlusReader &d = r.data;
    const quint32 attributesId = d.u32(0);
    const int srcUnit = d.i32(4);
    QRectF src = d.rectF(8);
    QPolygonF points;
    if (r.type == EmfPlusDrawImage) {
        const QRectF dest = (r.flags & FlagInt16) ? d.rect16(24) : d.rectF(24);
        points = { dest.topLeft(), dest.topRight(), dest.bottomLeft() };
    } else {
        // The parallelogram's top left, top right and bottom left corners.
        const quint32 count = d.u32(24);
        if (d.ok() && count != 3)
            return EmfPlusResult::Stop;
        if (readEmfPlusPoints(d, 28, 3, r.flags & FlagInt16, r.flags & FlagRelative, &points) < 0)
            return EmfPlusResult::Stop;
    }
    if (!d.ok())
        return EmfPlusResult::Stop;
    const auto *entry = objects().find<EmfPlusOpaque<EmfPlusImage>>(r.flags & 0xFF);
    if (!entry || !entry->parsed || srcUnit < 0 || srcUnit > UnitMillimeter)
        return EmfPlusResult::NotDrawn;
    const EmfPlusImage &image = *entry->parsed;
    EmfPlusImageAttributes attributes;
    if (const auto *a = objects().find<EmfPlusOpaque<EmfPlusImageAttributes>>(attributesId); a && a->parsed)
        attributes = *a->parsed;
    const double unit = sourceScale(srcUnit);
    src = QRectF(src.x() * unit, src.y() * unit, src.width() * unit, src.height() * unit);
    if (std::abs(src.width()) < 1e-6 || std::abs(src.height()) < 1e-6)
        return EmfPlusResult::NotDrawn;
    const QTransform srcToImage = fitParallelogram(src, points[0], points[1], points[2]) * worldToImage();
    const QRectF reach = srcToImage.mapRect(src);
    const double limit = 1e7;
    if (!std::isfinite(srcToImage.determinant()) || std::abs(srcToImage.determinant()) < 1e-12
        || std::abs(reach.left()) > limit || std::abs(reach.right()) > limit || std::abs(reach.top()) > limit
        || std::abs(reach.bottom()) > limit) {
        return EmfPlusResult::NotDrawn;
    }
    if (!reach.intersects(QRectF(dc().target()->rect())))
        return EmfPlusResult::Done;

    // What the picture is drawn from, and how its pixels map onto the bounds.
    QImage pixels = image.pixels;
    QTransform pixelsToBounds;
    // The pixels' size at the picture's natural size, in which work on them
    // is priced (as all drawing is, so that the preview and the viewer decide
    // alike): a bitmap's are its own, a metafile is played at the size it
    // covers.
    QSize reference = pixels.size();
    if (image.kind != EmfPlusImage::Bitmap) {
        // Played at the size the whole picture covers, within bounds.
        const QTransform b = srcToImage;
        double w = image.bounds.width() * std::hypot(b.m11(), b.m12());
        double h = image.bounds.height() * std::hypot(b.m21(), b.m22());
        const double shrink
            = std::min({ 1.0, kMaxMetafileSide / std::max(w, 1.0), kMaxMetafileSide / std::max(h, 1.0),
                std::sqrt(double(kMaxMetafilePixels) / std::max(w * h, 1.0)) });
        const QSize size(std::max(1, int(std::ceil(w * shrink))), std::max(1, int(std::ceil(h * shrink))));
        if (dc().tooBusy())
            return EmfPlusResult::Stop;
        const double f = std::sqrt(
            dc().referenceArea(srcToImage.mapRect(image.bounds)) / (double(size.width()) * size.height()));
        const auto side = [f](int s) { return int(std::clamp(std::ceil(s * f), 1.0, double(1 << 20))); };
        reference = QSize(side(size.width()), side(size.height()));
        double used = 0;
        pixels = renderEmfPlusMetafile(image, size, reference, &used);
        // The nested play's work is this play's too.
        if (!dc().charge(used))
            return EmfPlusResult::Stop;
        if (pixels.isNull())
            return EmfPlusResult::NotDrawn;
        pixelsToBounds = QTransform::fromScale(
                             image.bounds.width() / size.width(), image.bounds.height() / size.height())
            * QTransform::fromTranslate(image.bounds.x(), image.bounds.y());
    }
    if (pixels.isNull())
        return EmfPlusResult::NotDrawn;
    const QRectF own = image.bounds;
    const bool tiled = attributes.wrap != 4 && !own.contains(src.normalized());
    QRectF clip = src.normalized();
    if (r.type == EmfPlusDrawImagePoints && (r.flags & FlagEffect) && m_effect) {
        // Radii are in pixels of the image: a metafile's are its bounds'.
        const double scale = image.kind == EmfPlusImage::Bitmap ? 1 : pixels.width() / own.width();
        EmfPlusEffect effect = *m_effect;
        effect.expandEdge = effect.expandEdge && !tiled; // tiles do not grow
        const double pricedScale = scale * reference.width() / pixels.width();
        if (!dc().charge(emfPlusEffectCost(effect, reference, pricedScale)))
            return EmfPlusResult::Stop;
        int margin = 0;
        QImage applied = applyEmfPlusEffect(effect, pixels, scale, &margin);
        if (!applied.isNull()) {
            // A grown image spreads past the picture's own bounds (only where
            // the source reaches them).
            const double mx = margin * pixelsToBounds.m11(), my = margin * pixelsToBounds.m22();
            if (margin > 0 && clip.contains(own))
                clip.adjust(-mx, -my, mx, my);
            pixelsToBounds = QTransform::fromTranslate(-margin, -margin) * pixelsToBounds;
            pixels = std::move(applied);
        }
    }
    QPainterPath covered;
    covered.addPolygon(srcToImage.map(QPolygonF(src)));
    if (!dc().chargeDrawing(covered, 0) || !beginDraw())
        return EmfPlusResult::Done;
    QPainter &p = dc().painter();
    p.setTransform(srcToImage);
    p.setClipRect(clip, Qt::IntersectClip);
    if (tiled) {
        // Tiled (flipping is left out: the tiles repeat unturned).
        QBrush tiles(pixels);
        tiles.setTransform(pixelsToBounds);
        p.fillRect(src.normalized(), tiles);
    } else {
        if (attributes.clamp.alpha() > 0)
            p.fillRect(src.normalized(), attributes.clamp);
        p.setTransform(pixelsToBounds * srcToImage);
        p.drawImage(QPointF(0, 0), pixels);
    }
    endDraw();
    return EmfPlusResult::Done;
}

} // namespace vm

// Picture files made on the fly for the loader tests: hand-written bitmap
// and icon bytes, JPEGs written with libjpeg (with chosen density, EXIF and
// colour model), and a temporary folder to hold them.
#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QList>
#include <QTemporaryDir>
#include <QtEndian>

#include <cstdio>

#include <jpeglib.h>

namespace vmtest {

inline void putLE16(QByteArray &b, quint16 v)
{
    char d[2];
    qToLittleEndian(v, d);
    b.append(d, 2);
}

inline void putLE32(QByteArray &b, quint32 v)
{
    char d[4];
    qToLittleEndian(v, d);
    b.append(d, 4);
}

inline QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        return QString();
    return path;
}

// A BMP with a 40-byte header. `rows` is the pixel data exactly as stored
// (bottom-up unless height < 0); `palette` entries are written as BGRx.
struct Bmp {
    qint32 width = 1;
    qint32 height = 1;
    quint16 bitCount = 24;
    quint32 compression = 0;
    qint32 dotsPerMetreX = 2835;
    qint32 dotsPerMetreY = 2835;
    QList<QRgb> palette;
    QByteArray rows;

    QByteArray bytes() const
    {
        QByteArray b("BM");
        const quint32 offset = 14 + 40 + quint32(palette.size()) * 4;
        putLE32(b, offset + quint32(rows.size()));
        putLE32(b, 0);
        putLE32(b, offset);
        putLE32(b, 40);
        putLE32(b, quint32(width));
        putLE32(b, quint32(height));
        putLE16(b, 1);
        putLE16(b, bitCount);
        putLE32(b, compression);
        putLE32(b, quint32(rows.size()));
        putLE32(b, quint32(dotsPerMetreX));
        putLE32(b, quint32(dotsPerMetreY));
        putLE32(b, quint32(palette.size()));
        putLE32(b, 0);
        for (QRgb c : palette) {
            b.append(char(qBlue(c)));
            b.append(char(qGreen(c)));
            b.append(char(qRed(c)));
            b.append('\0');
        }
        return b + rows;
    }
};

// An EXIF APP1 payload (little-endian TIFF) with IFD0 holding the given
// orientation (0: none) and, when xRes > 0, X/YResolution and the unit.
inline QByteArray exifPayload(int orientation, quint32 xRes = 0, quint32 yRes = 0, int unit = 2)
{
    struct Field {
        quint16 tag, type;
        quint32 value;
    };
    QList<Field> fields;
    const bool resolution = xRes > 0;
    if (orientation)
        fields.append({0x0112, 3, quint32(orientation)});
    // Rationals live after the IFD: 8 (header) + 2 + 12 n + 4.
    const int count = int(fields.size()) + (resolution ? 3 : 0);
    const quint32 extra = 8 + 2 + 12 * count + 4;
    if (resolution) {
        fields.append({0x011A, 5, extra});
        fields.append({0x011B, 5, extra + 8});
        fields.append({0x0128, 3, quint32(unit)});
    }
    QByteArray t("II*\0", 4);
    putLE32(t, 8);
    putLE16(t, quint16(fields.size()));
    for (const Field &f : fields) {
        putLE16(t, f.tag);
        putLE16(t, f.type);
        putLE32(t, 1);
        if (f.type == 3) {
            putLE16(t, quint16(f.value));
            putLE16(t, 0);
        } else {
            putLE32(t, f.value);
        }
    }
    putLE32(t, 0);
    if (resolution) {
        putLE32(t, xRes);
        putLE32(t, 1);
        putLE32(t, yRes);
        putLE32(t, 1);
    }
    return QByteArray("Exif\0\0", 6) + t;
}

struct Jpeg {
    enum Model { Rgb, Grey, Cmyk };
    Model model = Rgb;
    bool jfif = true;
    int densityUnit = 0; // 0 aspect only, 1 dpi, 2 dots/cm
    int xDensity = 1;
    int yDensity = 1;
    bool progressive = false;
    QByteArray exif; // APP1 payload, written when not empty

    // Encodes `image` (any format; taken as RGB). For CMYK each pixel is
    // written the Adobe way (inverted), as the encoder's Adobe marker says.
    QByteArray encode(const QImage &image) const
    {
        const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
        jpeg_compress_struct c {};
        jpeg_error_mgr err {};
        c.err = jpeg_std_error(&err);
        jpeg_create_compress(&c);
        unsigned char *out = nullptr;
        unsigned long outSize = 0;
        jpeg_mem_dest(&c, &out, &outSize);
        c.image_width = JDIMENSION(rgb.width());
        c.image_height = JDIMENSION(rgb.height());
        c.input_components = model == Grey ? 1 : model == Cmyk ? 4 : 3;
        c.in_color_space = model == Grey ? JCS_GRAYSCALE : model == Cmyk ? JCS_CMYK : JCS_RGB;
        jpeg_set_defaults(&c);
        jpeg_set_quality(&c, 95, TRUE);
        c.write_JFIF_header = jfif ? TRUE : FALSE;
        c.density_unit = UINT8(densityUnit);
        c.X_density = UINT16(xDensity);
        c.Y_density = UINT16(yDensity);
        if (progressive)
            jpeg_simple_progression(&c);
        jpeg_start_compress(&c, TRUE);
        if (!exif.isEmpty())
            jpeg_write_marker(&c, JPEG_APP0 + 1, reinterpret_cast<const JOCTET *>(exif.constData()),
                unsigned(exif.size()));
        QByteArray row(rgb.width() * 4, '\0');
        while (c.next_scanline < c.image_height) {
            const uchar *src = rgb.constScanLine(int(c.next_scanline));
            auto *dst = reinterpret_cast<JSAMPLE *>(row.data());
            for (int x = 0; x < rgb.width(); ++x) {
                const uchar r = src[3 * x], g = src[3 * x + 1], b = src[3 * x + 2];
                if (model == Grey) {
                    dst[x] = JSAMPLE(qGray(r, g, b));
                } else if (model == Cmyk) {
                    const uchar k = qMax(r, qMax(g, b)); // inverted: 255 = no black ink
                    dst[4 * x] = k ? JSAMPLE(r * 255 / k) : 0;
                    dst[4 * x + 1] = k ? JSAMPLE(g * 255 / k) : 0;
                    dst[4 * x + 2] = k ? JSAMPLE(b * 255 / k) : 0;
                    dst[4 * x + 3] = JSAMPLE(k);
                } else {
                    dst[3 * x] = r;
                    dst[3 * x + 1] = g;
                    dst[3 * x + 2] = b;
                }
            }
            JSAMPROW rows[1] = {dst};
            jpeg_write_scanlines(&c, rows, 1);
        }
        jpeg_finish_compress(&c);
        jpeg_destroy_compress(&c);
        QByteArray result(reinterpret_cast<const char *>(out), qsizetype(outSize));
        free(out);
        return result;
    }
};

// A picture with four differently coloured quadrants, to tell every turn
// and mirror apart: red top-left, green top-right, blue bottom-left, white
// bottom-right.
inline QImage quadrants(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool right = x >= width / 2;
            const bool bottom = y >= height / 2;
            image.setPixel(x, y, !bottom ? (right ? qRgb(0, 255, 0) : qRgb(255, 0, 0))
                                         : (right ? qRgb(255, 255, 255) : qRgb(0, 0, 255)));
        }
    }
    return image;
}

// True when the colours are within `tolerance` per channel (lossy codecs).
inline bool similar(QRgb a, QRgb b, int tolerance = 40)
{
    return qAbs(qRed(a) - qRed(b)) <= tolerance && qAbs(qGreen(a) - qGreen(b)) <= tolerance
        && qAbs(qBlue(a) - qBlue(b)) <= tolerance;
}

} // namespace vmtest

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
#include <QObject>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <cstdio>

#include <jpeglib.h>

#include "platform/picture.h"
#include "platform/runtimeerror.h"
#include "support/filebytes.h"

namespace vmtest {

inline QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        return QString();
    return path;
}

// The base of the tests of one picture kind: each case's bytes are written
// under one file name in a temporary folder and loaded from there.
class LoaderTest : public QObject {
public:
    explicit LoaderTest(const QString &fileName)
        : m_fileName(fileName)
    {
    }

protected:
    vm::Picture load(const QByteArray &bytes) const
    {
        return vm::LoadPicture(writeFile(m_dir, m_fileName, bytes));
    }
    // Checks that loading `bytes` fails with `error`.
    void verifyRefused(const QByteArray &bytes, vm::Err error) const
    {
        try {
            load(bytes);
            QFAIL("loaded");
        } catch (const vm::RuntimeError &e) {
            QCOMPARE(e.number(), error);
        }
    }

private:
    QTemporaryDir m_dir;
    QString m_fileName;
};

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
        const quint32 offset = 14 + 40 + quint32(palette.size()) * 4;
        QByteArray b = bmpFileHeader(offset + quint32(rows.size()), offset);
        putBmpInfoHeader(b, width, height, bitCount, compression, quint32(rows.size()), dotsPerMetreX,
            dotsPerMetreY, quint32(palette.size()));
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
        fields.append({ 0x0112, 3, quint32(orientation) });
    // Rationals live after the IFD: 8 (header) + 2 + 12 n + 4.
    const int count = int(fields.size()) + (resolution ? 3 : 0);
    const quint32 extra = 8 + 2 + 12 * count + 4;
    if (resolution) {
        fields.append({ 0x011A, 5, extra });
        fields.append({ 0x011B, 5, extra + 8 });
        fields.append({ 0x0128, 3, quint32(unit) });
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
            jpeg_write_marker(
                &c, JPEG_APP0 + 1, reinterpret_cast<const JOCTET *>(exif.constData()), unsigned(exif.size()));
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
            JSAMPROW rows[1] = { dst };
            jpeg_write_scanlines(&c, rows, 1);
        }
        jpeg_finish_compress(&c);
        jpeg_destroy_compress(&c);
        QByteArray result(reinterpret_cast<const char *>(out), qsizetype(outSize));
        free(out);
        return result;
    }
};

// A GIF89a with a 4-colour global table. Each frame is a rectangle of
// palette indices; the LZW stream is written without compression (a clear
// code every two pixels keeps codes at 3 bits), which every decoder reads.
struct GifFrame {
    int left = 0, top = 0, width = 1, height = 1;
    QByteArray indices; // width * height bytes, values 0..3
    int transparent = -1;
};

inline QByteArray gifLzw(const QByteArray &indices)
{
    QByteArray out;
    quint32 acc = 0;
    int bits = 0;
    auto put = [&](int code) {
        acc |= quint32(code) << bits;
        bits += 3;
        while (bits >= 8) {
            out.append(char(acc & 0xff));
            acc >>= 8;
            bits -= 8;
        }
    };
    for (qsizetype i = 0; i < indices.size(); ++i) {
        if (i % 2 == 0)
            put(4); // clear
        put(quint8(indices[i]) & 3);
    }
    put(5); // end of information
    if (bits > 0)
        out.append(char(acc & 0xff));
    return out;
}

inline QByteArray gifBytes(int width, int height, const QList<QRgb> &palette, const QList<GifFrame> &frames)
{
    QByteArray b("GIF89a");
    putLE16(b, quint16(width));
    putLE16(b, quint16(height));
    b.append(char(0x81)); // global table of 4 entries
    b.append('\0');
    b.append('\0');
    for (int i = 0; i < 4; ++i) {
        const QRgb c = i < palette.size() ? palette[i] : 0;
        b.append(char(qRed(c)));
        b.append(char(qGreen(c)));
        b.append(char(qBlue(c)));
    }
    for (const GifFrame &f : frames) {
        if (f.transparent >= 0) {
            b.append("\x21\xf9\x04\x01\x00\x00", 6);
            b.append(char(f.transparent));
            b.append('\0');
        }
        b.append(char(0x2c));
        putLE16(b, quint16(f.left));
        putLE16(b, quint16(f.top));
        putLE16(b, quint16(f.width));
        putLE16(b, quint16(f.height));
        b.append('\0');
        b.append(char(2)); // LZW minimum code size
        const QByteArray data = gifLzw(f.indices);
        for (qsizetype at = 0; at < data.size(); at += 255) {
            const QByteArray chunk = data.mid(at, 255);
            b.append(char(chunk.size()));
            b.append(chunk);
        }
        b.append('\0');
    }
    b.append(char(0x3b));
    return b;
}

// An icon image as a DIB: 32-bit BGRA colour rows and a 1-bit AND mask
// (set bits transparent), both bottom-up, height doubled in the header.
inline QByteArray iconDib(const QImage &argb, const QImage &mask = QImage())
{
    const int w = argb.width();
    const int h = argb.height();
    QByteArray b;
    putBmpInfoHeader(b, w, 2 * h, 32, 0, 0, 0, 0, 0);
    for (int y = h - 1; y >= 0; --y) {
        for (int x = 0; x < w; ++x) {
            const QRgb c = argb.pixel(x, y);
            b.append(char(qBlue(c)));
            b.append(char(qGreen(c)));
            b.append(char(qRed(c)));
            b.append(char(qAlpha(c)));
        }
    }
    const int stride = (w + 31) / 32 * 4;
    for (int y = h - 1; y >= 0; --y) {
        QByteArray row(stride, '\0');
        for (int x = 0; x < w; ++x) {
            if (!mask.isNull() && mask.pixelIndex(x, y))
                row[x / 8] = char(quint8(row[x / 8]) | (0x80 >> (x % 8)));
        }
        b.append(row);
    }
    return b;
}

// An 8-bit icon DIB of one palette colour, with an empty mask.
inline QByteArray iconDib8(int w, int h, QRgb colour)
{
    QByteArray b;
    putBmpInfoHeader(b, w, 2 * h, 8, 0, 0, 0, 0, 0);
    for (int i = 0; i < 256; ++i) {
        const QRgb c = i == 1 ? colour : 0;
        b.append(char(qBlue(c)));
        b.append(char(qGreen(c)));
        b.append(char(qRed(c)));
        b.append('\0');
    }
    b.append(QByteArray((w + 3) / 4 * 4 * h, '\1'));
    b.append(QByteArray((w + 31) / 32 * 4 * h, '\0'));
    return b;
}

// An icon (type 1) or cursor (type 2) file from entry images, in order.
inline QByteArray iconFile(const QList<QByteArray> &images, const QList<QSize> &sizes, int type = 1)
{
    QByteArray b;
    putLE16(b, 0);
    putLE16(b, quint16(type));
    putLE16(b, quint16(images.size()));
    quint32 offset = 6 + 16 * quint32(images.size());
    for (qsizetype i = 0; i < images.size(); ++i) {
        b.append(char(sizes[i].width() >= 256 ? 0 : sizes[i].width()));
        b.append(char(sizes[i].height() >= 256 ? 0 : sizes[i].height()));
        b.append('\0');
        b.append('\0');
        putLE16(b, 1);
        putLE16(b, 32);
        putLE32(b, quint32(images[i].size()));
        putLE32(b, offset);
        offset += quint32(images[i].size());
    }
    for (const QByteArray &image : images)
        b.append(image);
    return b;
}

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
            image.setPixel(x, y,
                !bottom ? (right ? qRgb(0, 255, 0) : qRgb(255, 0, 0))
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

#include "inputs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>

#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <vector>

#include <jpeglib.h>

#include "platform/codecs/colorprofile.h"

namespace bench {

namespace {

// xorshift32: fast, and the same pictures on every machine.
struct Noise {
    quint32 s;
    quint32 next()
    {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return s;
    }
    // Roughly normal, mean 0, spread about +-3 * amplitude / 2.
    int sample(int amplitude)
    {
        const quint32 r = next();
        return (int(r & 0xff) + int((r >> 8) & 0xff) + int((r >> 16) & 0xff) - 382) * amplitude / 128;
    }
};

unsigned char clampByte(int v)
{
    return static_cast<unsigned char>(v < 0 ? 0 : v > 255 ? 255 : v);
}

// One row of RGB: a sky-to-ground gradient, soft hills, a few bright discs,
// a band of fine texture (foliage) and noise everywhere.
void photoRow(std::vector<unsigned char> &row, int y, int width, int height, Noise &noise)
{
    const double fy = double(y) / height;
    for (int x = 0; x < width; ++x) {
        const double fx = double(x) / width;
        const double hill = 0.55 + 0.08 * std::sin(fx * 9.0) + 0.04 * std::sin(fx * 23.0 + 1.3);
        int r, g, b;
        if (fy < hill) { // sky
            r = int(90 + 80 * fy + 20 * fx);
            g = int(140 + 70 * fy);
            b = int(230 - 40 * fy);
        } else { // ground with texture
            const double t = std::sin(x * 0.37 + std::sin(y * 0.11) * 3) * std::cos(y * 0.29 + x * 0.05);
            r = int(70 + 50 * t + 30 * fx);
            g = int(110 + 60 * t - 20 * fy);
            b = int(40 + 25 * t);
        }
        for (int k = 0; k < 3; ++k) { // sun and two round objects
            const double cx = 0.2 + 0.3 * k;
            const double cy = 0.25 + 0.3 * k;
            const double d = std::hypot((fx - cx) * width, (fy - cy) * height) / (height * (0.05 + 0.03 * k));
            if (d < 1) {
                r = int(r * d + (255 - 60 * k) * (1 - d));
                g = int(g * d + (220 - 50 * k) * (1 - d));
                b = int(b * d + (120 + 50 * k) * (1 - d));
            }
        }
        row[size_t(x) * 3] = clampByte(r + noise.sample(10));
        row[size_t(x) * 3 + 1] = clampByte(g + noise.sample(10));
        row[size_t(x) * 3 + 2] = clampByte(b + noise.sample(12));
    }
}

void writeFile(const QString &name, const QByteArray &data)
{
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size())
        throw std::runtime_error("cannot write " + name.toStdString());
}

void put16(QByteArray &b, int v)
{
    b.append(char(v & 0xff)).append(char((v >> 8) & 0xff));
}

void put32(QByteArray &b, qint64 v)
{
    put16(b, int(v & 0xffff));
    put16(b, int((v >> 16) & 0xffff));
}

QByteArray bmpHeader(int width, int height, int bits, int compression, qint64 dataSize, int colours)
{
    QByteArray b;
    const qint64 offset = 14 + 40 + qint64(colours) * 4;
    b.append("BM");
    put32(b, offset + dataSize);
    put32(b, 0);
    put32(b, offset);
    put32(b, 40);
    put32(b, width);
    put32(b, height);
    put16(b, 1);
    put16(b, bits);
    put32(b, compression);
    put32(b, dataSize);
    put32(b, 3780); // 96 dpi
    put32(b, 3780);
    put32(b, colours);
    put32(b, 0);
    return b;
}

void writeBitmap24(const QString &file, int width, int height)
{
    const int stride = (width * 3 + 3) & ~3;
    QByteArray data = bmpHeader(width, height, 24, 0, qint64(stride) * height, 0);
    std::vector<unsigned char> row(size_t(width) * 3);
    Noise noise { 12345 };
    data.reserve(data.size() + qsizetype(stride) * height);
    for (int y = height - 1; y >= 0; --y) { // bottom-up
        photoRow(row, y, width, height, noise);
        for (int x = 0; x < width; ++x) // BGR
            std::swap(row[size_t(x) * 3], row[size_t(x) * 3 + 2]);
        data.append(reinterpret_cast<const char *>(row.data()), qsizetype(row.size()));
        data.append(QByteArray(stride - width * 3, '\0'));
    }
    writeFile(file, data);
}

// An 8-bit run-length bitmap of bands and stripes, as scanners and old
// paint programs wrote them.
void writeRle8(const QString &file, int width, int height)
{
    QByteArray pixels;
    for (int y = 0; y < height; ++y) {
        int x = 0;
        while (x < width) {
            const int band = (x / 37 + y / 23) % 256;
            const int run = std::min({ 255, width - x, 37 - x % 37 });
            pixels.append(char(run)).append(char(band));
            x += run;
        }
        pixels.append('\0').append('\0'); // end of line
    }
    pixels.append('\0').append('\1'); // end of bitmap
    QByteArray data = bmpHeader(width, height, 8, 1, pixels.size(), 256);
    for (int i = 0; i < 256; ++i) {
        data.append(char((i * 7) & 0xff)).append(char((i * 3) & 0xff)).append(char(255 - i)).append('\0');
    }
    data.append(pixels);
    writeFile(file, data);
}

// Names as they pile up in a real picture folder: camera numbers, scans,
// Japanese names, other files the pattern leaves out.
void writeBigFolder(const QString &folder, int count)
{
    static const char *const prefixes[] = { "IMG_", "DSC0", "写真 ", "scan-", "Holiday ", "P10" };
    static const char *const extensions[] = { "jpg", "JPG", "png", "gif", "bmp", "txt", "jpeg", "tif" };
    // Every name the pattern admits holds a 2 x 2 bitmap, so stepping through
    // the list costs the list's own work, not a decoder's.
    QByteArray tiny = bmpHeader(2, 2, 24, 0, 16, 0);
    tiny.append(QByteArray(16, '\x80'));
    QDir().mkpath(folder);
    for (int i = 0; i < count; ++i) {
        const QString name = QStringLiteral("%1%2.%3")
                                 .arg(QString::fromUtf8(prefixes[i % 6]))
                                 .arg((i * 7919) % 100003)
                                 .arg(QString::fromLatin1(extensions[i % 8]));
        writeFile(folder + QLatin1Char('/') + name, tiny);
    }
}

// A copy of a JPEG with an ICC profile in one APP2 segment after SOI.
void writeTagged(const QString &from, const QString &to, const QByteArray &profile)
{
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly) || profile.isEmpty() || profile.size() > 65000)
        throw std::runtime_error("cannot tag " + from.toStdString());
    const QByteArray jpeg = in.readAll();
    QByteArray segment("\xff\xe2", 2);
    const int length = 2 + 14 + int(profile.size());
    segment.append(char(length >> 8)).append(char(length & 0xff));
    segment.append("ICC_PROFILE\0\1\1", 14);
    segment.append(profile);
    writeFile(to, jpeg.left(2) + segment + jpeg.mid(2));
}

QString corpusFile(const QString &relative)
{
    QString dir = qEnvironmentVariable("VELMORA_CORPUS");
    if (dir.isEmpty())
        dir = QStringLiteral(VELMORA_CORPUS_DIR);
    const QString path = QDir(dir).filePath(relative);
    return QFileInfo::exists(path) ? QFileInfo(path).absoluteFilePath() : QString();
}

} // namespace

void writePhotoJpeg(const QString &file, int width, int height, unsigned seed)
{
    FILE *out = std::fopen(QFile::encodeName(file).constData(), "wb");
    if (!out)
        throw std::runtime_error("cannot write " + file.toStdString());
    jpeg_compress_struct cinfo {};
    jpeg_error_mgr err {};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, out);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    cinfo.density_unit = 1; // 300 dpi, as cameras write
    cinfo.X_density = 300;
    cinfo.Y_density = 300;
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<unsigned char> row(size_t(width) * 3);
    Noise noise { seed };
    while (cinfo.next_scanline < cinfo.image_height) {
        photoRow(row, int(cinfo.next_scanline), width, height, noise);
        JSAMPROW rows[1] = { row.data() };
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::fclose(out);
}

Inputs makeInputs(const QString &root)
{
    Inputs in;
    in.pictures = root + QStringLiteral("/pictures");
    QDir().mkpath(in.pictures);
    in.photo24mp = in.pictures + QStringLiteral("/camera-6000x4000.jpg");
    in.photo12mp = in.pictures + QStringLiteral("/camera-4000x3000.jpg");
    in.photo1mp = in.pictures + QStringLiteral("/photo-1280x800.jpg");
    in.bitmap = in.pictures + QStringLiteral("/scan-4000x3000.bmp");
    in.rle = in.pictures + QStringLiteral("/bands-2000x1500.rle");
    writePhotoJpeg(in.photo24mp, 6000, 4000, 1);
    in.photo24mpAdobeRgb = in.pictures + QStringLiteral("/camera-6000x4000-adobergb.jpg");
    writeTagged(in.photo24mp, in.photo24mpAdobeRgb, vm::adobeRgbProfile());
    writePhotoJpeg(in.photo12mp, 4000, 3000, 2);
    writePhotoJpeg(in.photo1mp, 1280, 800, 3);
    writeBitmap24(in.bitmap, 4000, 3000);
    writeRle8(in.rle, 2000, 1500);
    // Metafiles are read where they are, through links.
    const QString emf = corpusFile(QStringLiteral("emf/good/uemf-test_libuemf_ref30.emf"));
    const QString wmf = corpusFile(QStringLiteral("wmf/good/uemf-test_libuemf_ref.wmf"));
    if (!emf.isEmpty() && QFile::link(emf, in.pictures + QStringLiteral("/drawing.emf")))
        in.emf = in.pictures + QStringLiteral("/drawing.emf");
    if (!wmf.isEmpty() && QFile::link(wmf, in.pictures + QStringLiteral("/drawing.wmf")))
        in.wmf = in.pictures + QStringLiteral("/drawing.wmf");
    in.bigFolder = root + QStringLiteral("/folder-20000");
    writeBigFolder(in.bigFolder, 20000);
    in.manyFolders = root + QStringLiteral("/folders-20000");
    for (int i = 0; i < 20000; ++i) {
        if (!QDir().mkpath(in.manyFolders + QStringLiteral("/Folder %1").arg((i * 7919) % 100003)))
            throw std::runtime_error("cannot make the folder of folders");
    }
    return in;
}

} // namespace bench

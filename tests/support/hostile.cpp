#include "support/hostile.h"
#include "support/filebytes.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QtEndian>

#include <sys/resource.h>

namespace vmtest {

namespace {

constexpr int kW = 40;
constexpr int kH = 30;

void set16(QByteArray &b, int at, quint16 v)
{
    qToLittleEndian<quint16>(v, b.data() + at);
}
void set32(QByteArray &b, int at, quint32 v)
{
    qToLittleEndian<quint32>(v, b.data() + at);
}

// BITMAPINFOHEADER.
void putInfoHeader(
    QByteArray &b, qint32 w, qint32 h, quint16 bits, quint32 compression, quint32 imageBytes, quint32 colours)
{
    putBmpInfoHeader(b, w, h, bits, compression, imageBytes, 3780, 3780, colours);
}

QByteArray bmp24(qint32 w, qint32 h, int totalBytes = 0)
{
    const int stride = (w * 3 + 3) / 4 * 4;
    QByteArray pixels;
    if (totalBytes == 0) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < stride; ++x)
                pixels.append(char((x * 7 + y * 3) & 0xFF));
    }
    QByteArray b = bmpFileHeader(quint32(54 + pixels.size()), 54);
    putInfoHeader(b, w, h, 24, 0, quint32(pixels.size()), 0);
    b += pixels;
    if (totalBytes > b.size())
        b.append(totalBytes - b.size(), '\x5A');
    return b;
}

// RLE8: each row one run of a colour, ended by end-of-line, then end-of-bitmap.
QByteArray rle8()
{
    QByteArray data;
    for (int y = 0; y < kH; ++y) {
        data.append(char(kW)).append(char(y % 4));
        data.append('\0').append('\0');
    }
    data.append('\0').append('\1');
    const int palette = 4 * 4;
    QByteArray b = bmpFileHeader(quint32(54 + palette + data.size()), 54 + palette);
    putInfoHeader(b, kW, kH, 8, 1, quint32(data.size()), 4);
    for (int i = 0; i < 4; ++i)
        putLE32(b, quint32(0x00102030 * (i + 1)));
    return b + data;
}

// One 32-bit bitmap entry with its mask. For a cursor the planes and bits
// fields of the directory hold the hot spot.
QByteArray iconFile(quint16 type, qint32 w, qint32 dibHeight, int pixelBytes)
{
    QByteArray dib;
    putInfoHeader(dib, w, dibHeight, 32, 0, 0, 0);
    for (int i = 0; i < pixelBytes; ++i)
        dib.append(char(i % 3 == 0 ? 0xFF : 0x40));
    QByteArray b;
    putLE16(b, 0);
    putLE16(b, type);
    putLE16(b, 1);
    b.append(char(w >= 256 ? 0 : w))
        .append(char(dibHeight / 2 >= 256 ? 0 : dibHeight / 2))
        .append('\0')
        .append('\0');
    putLE16(b, type == 2 ? 3 : 1);
    putLE16(b, type == 2 ? 4 : 32);
    putLE32(b, quint32(dib.size()));
    putLE32(b, 22);
    return b + dib;
}

QByteArray iconGood(quint16 type)
{
    const int mask = (kW + 31) / 32 * 4 * kH;
    return iconFile(type, kW, kH * 2, kW * kH * 4 + mask);
}

QByteArray jpeg()
{
    QImage image(kW, kH, QImage::Format_RGB32);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            image.setPixel(x, y, qRgb(x * 6, y * 8, 128));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 90);
    return bytes;
}

// A GIF with two colours whose LZW stream sends a clear code before every
// pixel, so the code width never grows and no encoder is needed.
QByteArray gif(quint16 w, quint16 h)
{
    QByteArray b("GIF89a");
    putLE16(b, w);
    putLE16(b, h);
    b.append('\x80').append('\0').append('\0'); // global table of 2 colours
    b.append("\x00\x00\x00\xFF\xFF\xFF", 6);
    b.append(',');
    putLE16(b, 0);
    putLE16(b, 0);
    putLE16(b, quint16(qMin<int>(w, kW)));
    putLE16(b, quint16(qMin<int>(h, kH)));
    b.append('\0');
    b.append('\2'); // minimum code size: codes are 3 bits wide
    QByteArray lzw;
    quint32 acc = 0;
    int bits = 0;
    auto code = [&](quint32 c) {
        acc |= c << bits;
        bits += 3;
        while (bits >= 8) {
            lzw.append(char(acc & 0xFF));
            acc >>= 8;
            bits -= 8;
        }
    };
    for (int i = 0; i < kW * kH; ++i) {
        code(4);
        code(quint32((i / 3) % 2));
    }
    code(5);
    if (bits > 0)
        lzw.append(char(acc & 0xFF));
    for (qsizetype at = 0; at < lzw.size(); at += 255) {
        const QByteArray block = lzw.mid(at, 255);
        b.append(char(block.size())).append(block);
    }
    b.append('\0').append(';');
    return b;
}

// A placeable WMF: the 22-byte placeable header, the 18-byte header, then
// `records` (each a complete record) and EOF unless `eof` is false.
QByteArray wmf(const QByteArray &records, bool eof = true, quint32 claimedWords = 0)
{
    QByteArray place;
    putLE32(place, 0x9AC6CDD7u);
    putLE16(place, 0);
    putLE16(place, 0);
    putLE16(place, 0);
    putLE16(place, 1000);
    putLE16(place, 750);
    putLE16(place, 1440);
    putLE32(place, 0);
    quint16 sum = 0;
    for (int i = 0; i < 10; ++i)
        sum ^= qFromLittleEndian<quint16>(place.constData() + 2 * i);
    putLE16(place, sum);

    QByteArray body = records;
    if (eof) {
        putLE32(body, 3);
        putLE16(body, 0);
    }
    QByteArray header;
    putLE16(header, 1);
    putLE16(header, 9);
    putLE16(header, 0x0300);
    putLE32(header, claimedWords ? claimedWords : quint32((18 + body.size()) / 2));
    putLE16(header, 0);
    putLE32(header, 7);
    putLE16(header, 0);
    return place + header + body;
}

QByteArray wmfRectangle()
{
    QByteArray r;
    putLE32(r, 7);
    putLE16(r, 0x041B);
    putLE16(r, 700);
    putLE16(r, 900);
    putLE16(r, 100);
    putLE16(r, 100);
    return r;
}

QByteArray emf(qint32 frameRight, qint32 frameBottom)
{
    QByteArray rect;
    putLE32(rect, 43); // EMR_RECTANGLE
    putLE32(rect, 24);
    putLE32(rect, 10);
    putLE32(rect, 10);
    putLE32(rect, 30);
    putLE32(rect, 20);
    QByteArray eof;
    putLE32(eof, 14);
    putLE32(eof, 20);
    putLE32(eof, 0);
    putLE32(eof, 16);
    putLE32(eof, 20);

    QByteArray b;
    putLE32(b, 1);
    putLE32(b, 88);
    for (qint32 v : { 0, 0, kW - 1, kH - 1 }) // bounds, device pixels
        putLE32(b, quint32(v));
    for (qint32 v : { 0, 0, frameRight, frameBottom }) // frame, 0.01 mm
        putLE32(b, quint32(v));
    putLE32(b, 0x464D4520u);
    putLE32(b, 0x10000);
    putLE32(b, quint32(88 + rect.size() + eof.size()));
    putLE32(b, 3);
    putLE16(b, 1);
    putLE16(b, 0);
    putLE32(b, 0);
    putLE32(b, 0);
    putLE32(b, 0);
    putLE32(b, 1024); // reference device, pixels
    putLE32(b, 768);
    putLE32(b, 320); // and millimetres
    putLE32(b, 240);
    return b + rect + eof;
}

} // namespace

QList<QString> pictureKinds()
{
    return { QStringLiteral("bmp"), QStringLiteral("rle"), QStringLiteral("ico"), QStringLiteral("cur"),
        QStringLiteral("jpeg"), QStringLiteral("gif"), QStringLiteral("wmf"), QStringLiteral("emf") };
}

QByteArray goodPicture(const QString &kind)
{
    if (kind == QLatin1String("bmp"))
        return bmp24(kW, kH);
    if (kind == QLatin1String("rle"))
        return rle8();
    if (kind == QLatin1String("ico"))
        return iconGood(1);
    if (kind == QLatin1String("cur"))
        return iconGood(2);
    if (kind == QLatin1String("jpeg"))
        return jpeg();
    if (kind == QLatin1String("gif"))
        return gif(kW, kH);
    if (kind == QLatin1String("wmf"))
        return wmf(wmfRectangle());
    if (kind == QLatin1String("emf"))
        return emf(1058, 794); // 40 x 30 px at 96 dpi
    return QByteArray();
}

int headerBytes(const QString &kind)
{
    if (kind == QLatin1String("bmp") || kind == QLatin1String("rle"))
        return 54;
    if (kind == QLatin1String("ico") || kind == QLatin1String("cur"))
        return 22 + 40;
    if (kind == QLatin1String("jpeg"))
        return 20; // SOI and part of the first segment
    if (kind == QLatin1String("gif"))
        return 13 + 6;
    if (kind == QLatin1String("wmf"))
        return 22 + 18;
    if (kind == QLatin1String("emf"))
        return 88;
    return 0;
}

QByteArray bmpBomb()
{
    return bmp24(65535, 65535, 4096);
}

QByteArray gifBomb()
{
    QByteArray b = gif(kW, kH);
    set16(b, 6, 65535);
    set16(b, 8, 65535);
    // The image descriptor follows the header and the 2-colour table.
    set16(b, 13 + 6 + 5, 65535);
    set16(b, 13 + 6 + 7, 65535);
    return b;
}

QByteArray jpegBomb()
{
    QByteArray b = jpeg();
    for (qsizetype at = 2; at + 9 < b.size(); ++at) {
        if (quint8(b[at]) == 0xFF && (quint8(b[at + 1]) == 0xC0 || quint8(b[at + 1]) == 0xC2)) {
            qToBigEndian<quint16>(65535, b.data() + at + 5);
            qToBigEndian<quint16>(65535, b.data() + at + 7);
            break;
        }
    }
    b.append(4096 - qMin<qsizetype>(b.size(), 4096), '\0');
    return b;
}

QByteArray icoBomb()
{
    return iconFile(1, 65535, 131070, 4096);
}

QByteArray icoPngBomb()
{
    QImage image(kW, kH, QImage::Format_RGB32);
    image.fill(Qt::green);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    qToBigEndian<quint32>(65535, png.data() + 16);
    qToBigEndian<quint32>(65535, png.data() + 20);
    QByteArray b;
    putLE16(b, 0);
    putLE16(b, 1);
    putLE16(b, 1);
    b.append(4, '\0');
    putLE16(b, 1);
    putLE16(b, 32);
    putLE32(b, quint32(png.size()));
    putLE32(b, 22);
    return b + png;
}

QByteArray emfVastFrame()
{
    QByteArray b = emf(0x7FFFFFFF, 0x7FFFFFFF);
    set32(b, 8 + 8, 0x7FFFFFFF); // bounds too
    set32(b, 8 + 12, 0x7FFFFFFF);
    return b;
}

QByteArray wmfZeroSizeRecord()
{
    QByteArray r;
    putLE32(r, 0);
    putLE16(r, 0x041B);
    return wmf(r + wmfRectangle(), false);
}

QByteArray wmfRecordPastEnd()
{
    QByteArray r = wmfRectangle();
    set32(r, 0, 0x7FFFFFF0u);
    return wmf(r);
}

QByteArray wmfLyingHeader()
{
    QByteArray r;
    for (int i = 0; i < 64; ++i)
        r += wmfRectangle();
    return wmf(r, false, 0xFFFFFFF0u);
}

double peakResidentMb()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

double residentMb()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * 4096.0 / (1024.0 * 1024.0) : 0;
}

bool sanitizedBuild()
{
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}

} // namespace vmtest

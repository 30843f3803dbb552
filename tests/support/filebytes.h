// Little-endian writers for the picture files tests make byte by byte, and
// the bitmap headers several of them start with.
#pragma once

#include <QByteArray>
#include <QtEndian>

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

// BITMAPFILEHEADER: "BM", the file's size and where its pixels start.
inline QByteArray bmpFileHeader(quint32 fileSize, quint32 pixelOffset)
{
    QByteArray b("BM");
    putLE32(b, fileSize);
    putLE32(b, 0);
    putLE32(b, pixelOffset);
    return b;
}

// What every bitmap header starts with: its size, the width and height, one
// plane and the bits per pixel. The 12-byte OS/2 1.x header keeps the width
// and height in 16 bits.
inline void putBmpHeaderStart(
    QByteArray &b, quint32 headerSize, qint32 width, qint32 height, quint16 bitCount)
{
    putLE32(b, headerSize);
    if (headerSize == 12) {
        putLE16(b, quint16(width));
        putLE16(b, quint16(height));
    } else {
        putLE32(b, quint32(width));
        putLE32(b, quint32(height));
    }
    putLE16(b, 1);
    putLE16(b, bitCount);
}

// BITMAPINFOHEADER (40 bytes), one plane.
inline void putBmpInfoHeader(QByteArray &b, qint32 width, qint32 height, quint16 bitCount,
    quint32 compression, quint32 imageBytes, qint32 dotsPerMetreX, qint32 dotsPerMetreY, quint32 colours)
{
    putBmpHeaderStart(b, 40, width, height, bitCount);
    putLE32(b, compression);
    putLE32(b, imageBytes);
    putLE32(b, quint32(dotsPerMetreX));
    putLE32(b, quint32(dotsPerMetreY));
    putLE32(b, colours);
    putLE32(b, 0);
}

} // namespace vmtest

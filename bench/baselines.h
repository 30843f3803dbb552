// What the best plain code does for each measure, run in the same process
// as the measure itself.
#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>

namespace bench {

// libjpeg-turbo alone: the file read into memory and decoded at scale 1/denom
// into one 32-bit buffer, default options. Returns the decoded size.
QSize libjpegDecode(const QString &file, int denom);

// gdk-pixbuf's own scaled load (its JPEG loader decodes at a reduced scale).
QSize pixbufAtScale(const QString &file, QSize size);

// What a plain Qt viewer does: QImageReader decodes the whole picture, then
// a smooth scale to the preview's size.
QImage qtDecodeAndScale(const QString &file, QSize size);

// readdir, the picture pattern matched by suffix, a case-insensitive sort.
QStringList bareListing(const QString &folder);
// The folder's subfolders the same way (by the entry's type, no stat).
QStringList bareSubfolders(const QString &folder);

// The pan's block copy by hand: one memcpy per row.
void copyBlock(QImage &to, const QImage &from, int xSrc, int ySrc);

} // namespace bench

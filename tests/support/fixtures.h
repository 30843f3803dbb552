// Picture files and folders made on the fly for window tests.
#pragma once

#include <QColor>
#include <QString>

namespace vmtest {

// Writes a 24-bit BMP of w x h pixels filled with `colour`; `dotsPerMetre`
// is stored as the file's resolution (0 = none recorded).
void writeBmp(const QString &path, int w, int h, int dotsPerMetre = 3780, QColor colour = Qt::red);
// A BMP whose left half is one colour and right half another, and whose last
// column and last row are marked, for checking what a view shows.
void writeMarkedBmp(const QString &path, int w, int h);
// Writes bytes to a file.
void writeBytes(const QString &path, const QByteArray &bytes);

} // namespace vmtest

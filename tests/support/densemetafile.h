// Metafiles made for the play-budget tests and benchmark: an ordinary but
// dense drawing, and small files that ask for vast work.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QRect>

namespace vmtest {

// A scatter plot: `dots` small filled circles (one EMR_ELLIPSE each, 24
// bytes) on a 800 x 600 px page, then a red square at kDenseSquare as the
// very last drawing record. 150 000 dots make about 3.6 MB.
QByteArray denseScatterEmf(int dots = 150000);
// Where the square lies, in pixels of the natural size (800 x 600).
inline constexpr QRect kDenseSquare { 700, 500, 60, 60 };

// A few kilobytes of page-sized many-pointed stars: far more work than
// any ordinary drawing of that size asks for.
QByteArray vastWorkEmf();

} // namespace vmtest

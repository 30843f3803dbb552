// Text in the Symbol font: its 8-bit codes are Greek letters and math signs,
// not Latin-1. Fonts that stand in for Symbol carry those as Unicode, so the
// codes are translated before drawing.
#pragma once

#include <QByteArray>
#include <QString>

namespace vm {

// True for a font that draws Symbol's code page.
bool isSymbolFace(const QString &face);

// One character per byte; codes Symbol leaves empty become U+FFFD.
QString decodeSymbolText(const QByteArray &bytes);

} // namespace vm

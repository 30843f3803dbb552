// EMF+ text: font and string-format objects, DrawString (laid out in a
// rectangle with the format's alignment, wrapping and tabs) and
// DrawDriverString (glyphs at given positions).
//
// Faces missing here are substituted as for GDI text (GdiContext::
// resolveFace), so Japanese faces become IPA faces and Office's Latin faces
// their metric-compatible counterparts.
#pragma once

#include <QFontMetricsF>
#include <QList>
#include <QString>

namespace vm {

struct EmfPlusFont {
    double emSize = 12; // in `unit`
    int unit = 3; // UnitPoint
    int style = 0; // bold 1, italic 2, underline 4, strikeout 8
    QString family;
};

struct EmfPlusStringFormat {
    enum Flag : quint32 {
        RightToLeft = 0x1,
        Vertical = 0x2,
        NoWrap = 0x1000,
        LineLimit = 0x2000,
        NoClip = 0x4000,
    };
    quint32 flags = 0;
    int align = 0; // 0 near, 1 centre, 2 far
    int lineAlign = 0;
    int hotkeyPrefix = 0; // 0 none ("&" drawn), 1 show, 2 hide
    double leadingMargin = 1.0 / 6; // em
    double trailingMargin = 1.0 / 6;
    double firstTabOffset = 0;
    QList<double> tabStops; // each relative to the one before
    // How text past the rectangle ends: cut after a whole character or
    // word, or there with an ellipsis; a path keeps its last part.
    enum Trimming { None, Character, Word, EllipsisCharacter, EllipsisWord, EllipsisPath };
    int trimming = Character;
};

// The longest start of `text` no wider than `width`, ended as `trimming`
// says (an EmfPlusStringFormat::Trimming); `text` itself when it fits.
QString trimToWidth(const QString &text, const QFontMetricsF &metrics, double width, int trimming);

// What a hotkey prefix setting leaves of `text`: with show or hide, "&x"
// becomes "x" (and "&&" one "&"); `underlined` receives the positions of
// the characters that had the prefix, to be underlined when shown.
QString stripHotkeyPrefixes(const QString &text, int prefix, QList<int> *underlined);

} // namespace vm

// GDI objects as metafiles create them (pens, brushes, fonts, palettes,
// regions), held by value, and the handle table that records refer to them by.
// The table is a plain bounded index -> object map; how a format picks the
// index of a new object (WMF: the lowest free slot; EMF: the index the record
// names) is the player's business.
#pragma once

#include <QColor>
#include <QImage>
#include <QList>
#include <QPainterPath>
#include <QRgb>
#include <QString>

#include <cmath>
#include <type_traits>
#include <variant>
#include <vector>

namespace vm {

// COLORREF as stored: 0x00BBGGRR, or 0x01..iiii for a palette index.
using ColorRef = quint32;

struct GdiPen {
    quint32 style = 0; // PS_* style, end cap, join and type bits
    double width = 0; // logical units; 0 means one device pixel
    ColorRef color = 0;
    QList<double> dashes; // PS_USERSTYLE segment lengths, logical units

    enum : quint32 {
        Solid = 0,
        Dash = 1,
        Dot = 2,
        DashDot = 3,
        DashDotDot = 4,
        Null = 5,
        InsideFrame = 6,
        UserStyle = 7,
        Alternate = 8,
        StyleMask = 0x0F,
        CapRound = 0x000,
        CapSquare = 0x100,
        CapFlat = 0x200,
        CapMask = 0xF00,
        JoinRound = 0x0000,
        JoinBevel = 0x1000,
        JoinMiter = 0x2000,
        JoinMask = 0xF000,
        Geometric = 0x10000,
    };
    bool isNull() const { return (style & StyleMask) == Null; }
    bool isCosmetic() const { return !(style & Geometric) && width <= 1; }
};

struct GdiBrush {
    enum Style : quint32 { Solid = 0, Null = 1, Hatched = 2, Pattern = 3, DibPattern = 5, DibPatternPt = 6 };
    enum Hatch : quint32 {
        Horizontal = 0,
        Vertical = 1,
        FDiagonal = 2,
        BDiagonal = 3,
        Cross = 4,
        DiagCross = 5
    };
    quint32 style = Solid;
    ColorRef color = 0xFFFFFF;
    quint32 hatch = 0;
    QImage pattern; // Pattern and DIB brushes; a 1-bpp pattern is kept as Format_Mono

    bool isNull() const { return style == Null; }
    // The style of a brush record that carries no bitmap: pattern styles,
    // which need one, draw solid.
    static quint32 plainStyle(quint32 style)
    {
        return style == Null || style == Hatched ? style : quint32(Solid);
    }
};

struct GdiFont {
    int height = 0; // < 0: character height; > 0: cell height; 0: default
    int width = 0; // average character width, 0 for the natural width
    int escapement = 0; // tenths of a degree, counter-clockwise
    int orientation = 0;
    int weight = 400;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    quint8 charSet = 1; // DEFAULT_CHARSET
    quint8 pitchAndFamily = 0;
    QString faceName;
};

struct GdiPalette {
    QList<QRgb> entries;
};

// A region kept as a path; `device` tells whether its coordinates are device
// units of the recording device (EMF) or logical units (WMF).
struct GdiRegion {
    QPainterPath path;
    bool device = true;
};

using GdiObject = std::variant<std::monostate, GdiPen, GdiBrush, GdiFont, GdiPalette, GdiRegion>;

// Handle table with a fixed upper size. Out-of-range indices are ignored on
// store and read back as empty, so a lying record can never index past it.
class GdiObjectTable {
public:
    static constexpr int kMaxSize = 65535;

    explicit GdiObjectTable(int size = 0);
    int size() const { return int(m_objects.size()); }
    // Grows the table up to `size` (capped at kMaxSize).
    void resize(int size);

    bool store(int index, GdiObject object);
    const GdiObject *find(int index) const; // nullptr when empty or out of range
    bool remove(int index);
    void clear();
    // Lowest index without an object, or -1 when full.
    int lowestFree() const;

private:
    std::vector<GdiObject> m_objects;
};

// Readers of the object structures both metafile formats store in the same
// order, but for the width of their integers: 32 bits in EMF, 16 in WMF.
// `Int` is that width (qint32 or qint16); `Reader` is the format's
// bounds-checked record reader.
template <typename Int, typename Reader> Int readLogInt(const Reader &r, qint64 offset)
{
    static_assert(sizeof(Int) == 4 || sizeof(Int) == 2);
    if constexpr (sizeof(Int) == 4)
        return Int(r.u32(offset));
    else
        return Int(r.u16(offset));
}

// LOGPEN at `at`: style, width (a point's x; y is unused), colour.
template <typename Int, typename Reader> GdiPen readLogPen(const Reader &r, qint64 at)
{
    GdiPen pen;
    pen.style = readLogInt<std::make_unsigned_t<Int>>(r, at);
    pen.width = std::abs(double(readLogInt<Int>(r, at + qint64(sizeof(Int)))));
    pen.color = r.u32(at + 3 * qint64(sizeof(Int)));
    return pen;
}

// LOGFONT at `at` up to its face name: height, width, escapement,
// orientation and weight, then the italic, underline, strike-out, character
// set, three precision and quality bytes, and pitch and family.
template <typename Int, typename Reader> void readLogFont(const Reader &r, qint64 at, GdiFont *font)
{
    const auto integer = [&](int index) { return int(readLogInt<Int>(r, at + index * qint64(sizeof(Int)))); };
    font->height = integer(0);
    font->width = integer(1);
    font->escapement = integer(2);
    font->orientation = integer(3);
    font->weight = integer(4);
    const qint64 bytes = at + 5 * qint64(sizeof(Int));
    font->italic = r.u8(bytes);
    font->underline = r.u8(bytes + 1);
    font->strikeOut = r.u8(bytes + 2);
    font->charSet = r.u8(bytes + 3);
    font->pitchAndFamily = r.u8(bytes + 7);
}

// PALETTEENTRY at `at`: red, green, blue and a flags byte.
template <typename Reader> QRgb readPaletteEntry(const Reader &r, qint64 at)
{
    return qRgb(r.u8(at), r.u8(at + 1), r.u8(at + 2));
}

// Stock objects by their GetStockObject number (EMF handles 0x80000000 | n).
enum class StockObject : int {
    WhiteBrush = 0,
    LtGrayBrush = 1,
    GrayBrush = 2,
    DkGrayBrush = 3,
    BlackBrush = 4,
    NullBrush = 5,
    WhitePen = 6,
    BlackPen = 7,
    NullPen = 8,
    OemFixedFont = 10,
    AnsiFixedFont = 11,
    AnsiVarFont = 12,
    SystemFont = 13,
    DeviceDefaultFont = 14,
    DefaultPalette = 15,
    SystemFixedFont = 16,
    DefaultGuiFont = 17,
    DcBrush = 18,
    DcPen = 19,
};
// The stock object, or monostate for an unknown number.
GdiObject stockObject(int number);

} // namespace vm

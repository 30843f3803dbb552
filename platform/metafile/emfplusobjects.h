// EMF+ objects as parsed from EmfPlusObject records, and the object table
// drawing records refer to them by (64 entries, as the format has it).
//
// Brushes, pens, paths and regions are parsed here (emfplusobjects.cpp,
// emfplusbrush.cpp). Images, fonts, string formats and image attributes are
// kept as their raw bytes plus whatever their own parser made of them: the
// parsers live with the records that draw them (see emfplusplayer.h), and a
// null `parsed` simply means "not understood", never a reason to stop.
#pragma once

#include <QByteArray>
#include <QBrush>
#include <QColor>
#include <QList>
#include <QPainterPath>
#include <QTransform>

#include <memory>
#include <optional>
#include <variant>

#include "platform/metafile/emfplusformat.h"

namespace vm {

struct EmfPlusBrush {
    enum Type : quint32 { Solid = 0, Hatch = 1, Texture = 2, PathGradient = 3, LinearGradient = 4 };
    Type type = Solid;
    QColor color { Qt::black }; // solid; hatch foreground; gradient start or centre
    QColor background { Qt::white }; // hatch background
    quint32 hatch = 0; // HatchStyle
    QGradient::Spread spread = QGradient::RepeatSpread;
    QGradientStops stops; // gradients, from 0 to 1
    QRectF rect; // linear gradient: the rectangle it runs across
    QPointF centre; // path gradient
    QPainterPath boundary; // path gradient: where it paints at all
    QTransform transform; // brush space to world space
    QImage texture; // texture brush (empty until images are decoded)
};

// A line cap drawn as a shape at a line's end: the anchor caps and custom
// caps. Shapes are in pen widths, (0, 0) at the line's end, +y pointing on
// along the line.
struct EmfPlusCap {
    QPainterPath fill; // filled with the pen's brush
    QPainterPath line; // stroked with the pen
    double widthScale = 1;
    bool isEmpty() const { return fill.isEmpty() && line.isEmpty(); }
};

struct EmfPlusPen {
    double width = 1; // in `unit`
    quint8 unit = UnitWorld;
    QTransform transform;
    Qt::PenCapStyle cap = Qt::FlatCap;
    Qt::PenJoinStyle join = Qt::MiterJoin;
    double miterLimit = 10;
    int lineStyle = 0; // 0 solid ... 5 custom
    QList<qreal> dashes; // custom dash pattern, in pen widths
    double dashOffset = 0;
    bool inset = false; // PenAlignmentInset: drawn inside closed shapes
    // A compound line: stripes across the width, each a pair of positions
    // from 0 to 1 (a double line is 0, 1/3, 2/3, 1); empty for one line.
    QList<double> compound;
    EmfPlusCap startCap, endCap;
    EmfPlusBrush brush;
};

struct EmfPlusRegion {
    QPainterPath path; // world units
    bool infinite = false;
};

// What images, fonts, string formats and image attributes become once their
// record family parses them; defined where those families live.
struct EmfPlusImage;
struct EmfPlusFont;
struct EmfPlusStringFormat;
struct EmfPlusImageAttributes;

template <class Parsed> struct EmfPlusOpaque {
    QByteArray data; // the object's bytes as stored
    std::shared_ptr<const Parsed> parsed;
};

using EmfPlusObjectEntry = std::variant<std::monostate, EmfPlusBrush, EmfPlusPen, QPainterPath, EmfPlusRegion,
    EmfPlusOpaque<EmfPlusImage>, EmfPlusOpaque<EmfPlusFont>, EmfPlusOpaque<EmfPlusStringFormat>,
    EmfPlusOpaque<EmfPlusImageAttributes>>;

class EmfPlusObjectTable {
public:
    static constexpr int kSize = 64;
    // An object split over continued records may not grow past this, nor
    // past the file holding it.
    static constexpr qint64 kMaxObjectBytes = 64LL * 1024 * 1024;

    void store(quint8 id, EmfPlusObjectEntry entry)
    {
        if (id < kSize)
            m_entries[id] = std::move(entry);
    }
    template <class T> const T *find(quint32 id) const
    {
        return id < kSize ? std::get_if<T>(&m_entries[id]) : nullptr;
    }

private:
    EmfPlusObjectEntry m_entries[kSize];
};

// Object parsers; each reads one object's bytes and returns nothing when
// they do not hold a usable object. `depth` is the nesting depth of the
// metafile being played, for images that are metafiles themselves.
std::optional<EmfPlusBrush> parseEmfPlusBrush(const EmfPlusReader &r, int depth);
std::optional<EmfPlusPen> parseEmfPlusPen(const EmfPlusReader &r, int depth);
std::optional<QPainterPath> parseEmfPlusPath(const EmfPlusReader &r);
std::optional<EmfPlusRegion> parseEmfPlusRegion(const EmfPlusReader &r);
// Combines two regions as the region node and clip combine modes do:
// 0 replace, 1 intersect, 2 union, 3 xor, 4 exclude (a - b), 5 complement (b - a).
EmfPlusRegion combineEmfPlusRegions(const EmfPlusRegion &a, const EmfPlusRegion &b, int mode);

// Points as drawing records and paths store them: `count` EmfPlusPointF,
// EmfPlusPoint (16-bit, `int16`) or EmfPlusPointR (`relative`, variable
// length). Returns the bytes used, or -1 when they do not fit.
qint64 readEmfPlusPoints(
    const EmfPlusReader &r, qint64 offset, quint32 count, bool int16, bool relative, QPolygonF *points);

// The largest number of points one record or path may carry.
inline constexpr quint32 kEmfPlusMaxPoints = 1'000'000;

// The image and text families' parsers (emfplusimage.cpp, emfplustext.cpp):
// an image, font, string format or image attributes object. Null when the
// object is not usable; it still takes its slot.
std::shared_ptr<const EmfPlusImage> parseEmfPlusImage(const EmfPlusReader &r, int depth);
std::shared_ptr<const EmfPlusFont> parseEmfPlusFont(const EmfPlusReader &r);
std::shared_ptr<const EmfPlusStringFormat> parseEmfPlusStringFormat(const EmfPlusReader &r);
std::shared_ptr<const EmfPlusImageAttributes> parseEmfPlusImageAttributes(const EmfPlusReader &r);
// The picture of a parsed image, for texture brushes (null when none).
QImage emfPlusImagePixels(const EmfPlusImage *image);

} // namespace vm

// A GDI device context played onto a QImage: the state a metafile record
// changes (map mode, window and viewport, world transform, colours, modes,
// selected objects, clip, current position, path bracket) and the drawing
// primitives records call. Both metafile players share it.
//
// Coordinates pass through three steps:
//   logical --world transform--> page --window/viewport--> device --deviceToImage--> image pixels
// "Device" is the recording device's pixel grid. The EMF player sets
// deviceToImage to map the header frame (in device pixels) onto the output
// image and passes the reference device's pixels per millimetre, which the
// fixed map modes (MM_LOMETRIC...MM_TWIPS) need.
//
// How the WMF player uses it:
// - Construct with the output image, deviceToImage = identity and
//   devicePixelsPerMm = 96 dpi (96 / 25.4). Put the context in
//   MM_ANISOTROPIC with the viewport at (0,0) and the image size as extent,
//   and the window at the placeable bounding box (or the file's own
//   SetWindowOrg/SetWindowExt, which then simply override it).
// - Object handles: objects().resize(header's object count), put each new
//   object at objects().lowestFree(), selectObjectAt(i), objects().remove(i).
//   WMF regions are stored as GdiRegion{path, device = false}.
// - 8-bit text: decodeText(bytes, state().font.charSet, &dx) gives the string
//   and per-character advances, then textOut().
// - Bitmaps: decode the DIB, then drawBitmap(dest, image, srcRect, rop);
//   a pattern-only raster operation (PatBlt, or a blit without source) is patBlt().
// - Charge each record to budget() (chargeRecord) and stop playing once it
//   returns false; the drawing calls charge their own work to the same
//   budget, in pixels of the picture at its natural (reference) size.
// Every call is safe on any input: non-finite or absurd coordinates are
// dropped, and nothing here throws.
#pragma once

#include <QImage>
#include <QList>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRectF>
#include <QRegion>
#include <QTransform>

#include <optional>
#include <vector>

#include "platform/metafile/gdiobjects.h"
#include "platform/metafile/playbudget.h"

namespace vm {

// A transform a file may set: finite, within reach, and not flattening the
// picture to a line. Both players refuse any other.
bool saneTransform(const QTransform &t);

enum MapMode : int {
    MmText = 1,
    MmLoMetric = 2,
    MmHiMetric = 3,
    MmLoEnglish = 4,
    MmHiEnglish = 5,
    MmTwips = 6,
    MmIsotropic = 7,
    MmAnisotropic = 8,
};

// SetTextAlign bits.
enum TextAlign : quint32 {
    TaUpdateCp = 1,
    TaRight = 2,
    TaCenter = 6,
    TaHorizontalMask = 6,
    TaBottom = 8,
    TaBaseline = 24,
    TaVerticalMask = 24,
    TaRtlReading = 256,
};

// ExtTextOut options.
enum TextOutOption : quint32 { EtoOpaque = 0x2, EtoClipped = 0x4, EtoGlyphIndex = 0x10, EtoPdy = 0x2000 };

// Clip combination modes (RGN_*).
enum RegionMode : int { RgnAnd = 1, RgnOr = 2, RgnXor = 3, RgnDiff = 4, RgnCopy = 5 };

struct GdiState {
    int mapMode = MmText;
    QPointF windowOrg { 0, 0 };
    QSizeF windowExt { 1, 1 };
    QPointF viewportOrg { 0, 0 };
    QSizeF viewportExt { 1, 1 };
    QTransform world;
    int bkMode = 2; // 1 TRANSPARENT, 2 OPAQUE
    ColorRef bkColor = 0xFFFFFF;
    ColorRef textColor = 0;
    quint32 textAlign = 0;
    int fillMode = 1; // 1 ALTERNATE, 2 WINDING
    int rop2 = 13; // R2_COPYPEN
    int arcDirection = 1; // 1 counter-clockwise, 2 clockwise
    int stretchBltMode = 1;
    double miterLimit = 10;
    double textCharExtra = 0;
    QPointF currentPos { 0, 0 };
    GdiPen pen;
    GdiBrush brush;
    GdiFont font;
    GdiPalette palette;
    std::optional<QPainterPath> clip; // image pixels; none = whole image
    // When set instead of `clip`: the clip as whole image pixels, which keeps
    // rectangle and region clipping fast however many rectangles it holds.
    std::optional<QRegion> clipRegion;
    // Path elements combined into the clip so far, which prices the next
    // combination.
    double clipElements = 0;
};

struct GradientVertex {
    QPointF pos; // logical
    QColor color;
};

class GdiContext {
public:
    static constexpr int kMaxSaveDepth = 1024;
    static constexpr int kMaxPoints = 4'000'000; // points one primitive may carry

    // `fileBytes` sizes the work budget; `referenceSize` is the picture's
    // natural size, in whose pixels work is priced (empty: the target's).
    GdiContext(QImage *target, const QTransform &deviceToImage, QSizeF devicePixelsPerMm,
        qint64 fileBytes = 0, QSize referenceSize = QSize());
    ~GdiContext();
    GdiContext(const GdiContext &) = delete;
    GdiContext &operator=(const GdiContext &) = delete;

    QImage *target() const { return m_target; }
    GdiState &state() { return m_state; }
    const GdiState &state() const { return m_state; }
    GdiObjectTable &objects() { return m_objects; }

    // The work budget of this play. Once it is spent, primitives are skipped
    // and the player stops; the caller then raises its error.
    PlayBudget &budget() { return m_budget; }
    const PlayBudget &budget() const { return m_budget; }
    bool tooBusy() const { return m_budget.spent(); }
    // For the EMF+ player, which draws on the same painter and budget:
    // charges `units` of work, or the work of filling (penWidth 0) or
    // stroking an image-space path as the GDI primitives are priced. False
    // once the budget is spent.
    bool charge(double units) { return countOps(units); }
    bool chargeDrawing(const QPainterPath &imagePath, double penWidth);
    // The area an image-space rectangle covers at the picture's natural
    // size, in which work on pixels is priced.
    double referenceArea(const QRectF &imageRect) const;
    QPainter &painter() { return m_painter; }
    // Primitives drawn (or tried) so far.
    quint64 operationCount() const { return m_ops; }

    // SaveDC / RestoreDC. restoreDc takes GDI's argument: negative relative
    // to the top, positive an absolute level. False when out of range.
    bool saveDc();
    bool restoreDc(int level);

    // Map modes and the page transform.
    void setMapMode(int mode);
    void setWindowOrg(QPointF org) { m_state.windowOrg = org; }
    void setWindowExt(QSizeF ext);
    void setViewportOrg(QPointF org) { m_state.viewportOrg = org; }
    void setViewportExt(QSizeF ext);
    void scaleWindowExt(double xNum, double xDenom, double yNum, double yDenom);
    void scaleViewportExt(double xNum, double xDenom, double yNum, double yDenom);
    // World transform; mode as ModifyWorldTransform (1 identity, 2 left, 3 right, 4 set).
    void setWorldTransform(const QTransform &t);
    void modifyWorldTransform(const QTransform &t, int mode);

    QTransform pageTransform() const; // page -> device
    QTransform logicalToDevice() const; // world * page
    QTransform logicalToImage() const; // world * page * deviceToImage
    const QTransform &deviceToImage() const { return m_deviceToImage; }
    QColor color(ColorRef ref) const;

    // Object selection: pens, brushes, fonts and palettes become current;
    // a region selects the clip (RGN_COPY).
    void selectObject(const GdiObject &object);
    bool selectObjectAt(int index);
    bool selectStockObject(int number);

    // Path bracket. Path points are kept in image pixels, transformed as they
    // are added, like GDI keeps them in device space.
    void beginPath();
    void endPath() { m_inPath = false; }
    void abortPath();
    void closeFigure();
    bool inPath() const { return m_inPath; }
    void fillPath();
    void strokePath();
    void strokeAndFillPath();
    void selectClipPath(int mode);
    void flattenPath();
    void widenPath();

    // Lines and curves (logical coordinates).
    void moveTo(QPointF p);
    void lineTo(QPointF p);
    void polyline(const QPolygonF &points);
    void polylineTo(const QPolygonF &points);
    void polyPolyline(const QList<QPolygonF> &lines);
    void polyBezier(const QPolygonF &points);
    void polyBezierTo(const QPolygonF &points);
    // PolyDraw: types PT_MOVETO 6, PT_LINETO 2, PT_BEZIERTO 4, | PT_CLOSEFIGURE 1.
    void polyDraw(const QPolygonF &points, const QByteArray &types);
    void arc(const QRectF &box, QPointF start, QPointF end);
    void arcTo(const QRectF &box, QPointF start, QPointF end);
    void angleArc(QPointF centre, double radius, double startDeg, double sweepDeg);

    // Filled shapes, outlined with the pen and filled with the brush.
    void polygon(const QPolygonF &points);
    void polyPolygon(const QList<QPolygonF> &polygons);
    void rectangle(const QRectF &box);
    void roundRect(const QRectF &box, QSizeF corner);
    void ellipse(const QRectF &box);
    void chord(const QRectF &box, QPointF start, QPointF end);
    void pie(const QRectF &box, QPointF start, QPointF end);
    void setPixel(QPointF p, ColorRef color);

    // Clipping. Rectangles are logical; the clip itself lives in image pixels
    // and does not move with later transform changes, as in GDI.
    void intersectClipRect(const QRectF &box);
    void excludeClipRect(const QRectF &box);
    void offsetClip(QPointF logicalOffset);
    // Combines `region` with the clip; nullptr with RgnCopy removes the clip.
    void selectClipRegion(const GdiRegion *region, int mode);
    void fillRegion(const GdiRegion &region, const GdiBrush &brush);
    void frameRegion(const GdiRegion &region, const GdiBrush &brush, QSizeF size);
    void invertRegion(const GdiRegion &region);
    void paintRegion(const GdiRegion &region);

    // Text. `reference` is logical; `dx` holds per-character advances in
    // logical units (may be empty); `box` the optional ExtTextOut rectangle.
    void textOut(QPointF reference, const QString &text, const QList<double> &dx, quint32 options = 0,
        const QRectF &box = QRectF());
    // Decodes 8-bit text by a font character set and folds the per-byte dx
    // array into per-character advances (a double-byte character's two bytes
    // advance as one).
    static QString decodeText(const QByteArray &bytes, int charSet, QList<double> *dx = nullptr);
    // Face to draw a GDI font with: the face itself when installed, else a
    // Latin face, or the Japanese face for CJK character sets.
    static QString resolveFace(const QString &face, int charSet);

    // Bitmaps. `rop` is a ternary raster operation (SRCCOPY 0x00CC0020...).
    void drawBitmap(const QRectF &dest, const QImage &source, const QRectF &sourceRect, quint32 rop);
    void patBlt(const QRectF &dest, quint32 rop);
    void alphaBlend(const QRectF &dest, const QImage &source, const QRectF &sourceRect, int constantAlpha,
        bool perPixelAlpha);
    // mode 0 horizontal rectangles, 1 vertical rectangles, 2 triangles;
    // `indices` two (rectangles) or three (triangles) vertex numbers per shape.
    void gradientFill(const QList<GradientVertex> &vertices, const QList<int> &indices, int mode);

private:
    // Shared helpers (gdicontext.cpp, gdidraw.cpp, gditext.cpp, gdiraster.cpp).
    // Counts a primitive and charges `units`; false when it must be skipped.
    bool countOps(double units = PlayBudget::kRecord);
    // Pricing in reference pixels (gdiprice.cpp).
    QRectF referenceRect(const QRectF &imageRect) const;
    double referencePenWidth() const;
    struct ShapePrice {
        double units = 0; // what filling and stroking costs, reference pixels
        double fillSteps = 0; // the antialiasing costs in image pixels
        double strokeSteps = 0;
    };
    ShapePrice shapePrice(const QPainterPath &imagePath, bool fill, bool stroke) const;
    double textUnits(qsizetype characters, const QRectF &imageBox) const;
    QPainterPath toImage(const QPainterPath &logical) const;
    QPen imagePen() const;
    QBrush imageBrush(const GdiBrush &brush) const;
    void applyRop2();
    void applyClip();
    void drawShape(const QPainterPath &logical, bool fill, bool stroke);
    void drawImagePath(const QPainterPath &imagePath, bool fill, bool stroke);
    void fillImageRegion(const QPainterPath &imagePath, const GdiBrush &brush);
    void appendToPath(const QPainterPath &logical, bool connect);
    QPainterPath arcPath(const QRectF &box, QPointF start, QPointF end, int kind) const;
    void combineClip(const QPainterPath &imagePath, int mode);
    QPainterPath currentClipPath() const;
    QPainterPath regionToImage(const GdiRegion &region) const;
    void rasterBlit(const QRect &imageRect, const QImage *source, quint32 rop);
    void fillGradientTriangle(const QPointF (&p)[3], const QColor (&c)[3]);

    QImage *m_target;
    QPainter m_painter;
    QTransform m_deviceToImage;
    QSizeF m_pxPerMm;
    GdiState m_state;
    std::vector<GdiState> m_saved;
    GdiObjectTable m_objects;
    QPainterPath m_path; // image pixels
    bool m_inPath = false;
    quint64 m_ops = 0;
    PlayBudget m_budget;
    QTransform m_imageToReference;
    QRectF m_referencePage; // the reference picture and a margin
};

} // namespace vm

// EMF+ as the player sees it: record and object numbers, the units, and a
// reader that never looks past the bytes it was given.
//
// EMF+ records ride in EMR_COMMENT records whose data starts with "EMF+".
// Each record is Type (u16), Flags (u16), Size (u32, the whole record),
// DataSize (u32), then DataSize bytes. Several may share one comment.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QPointF>
#include <QRectF>
#include <QTransform>

#include "platform/metafile/lereader.h"

namespace vm {

enum EmfPlusRecordType : quint16 {
    EmfPlusHeader = 0x4001,
    EmfPlusEndOfFile = 0x4002,
    EmfPlusComment = 0x4003,
    EmfPlusGetDc = 0x4004,
    EmfPlusMultiFormatStart = 0x4005,
    EmfPlusMultiFormatSection = 0x4006,
    EmfPlusMultiFormatEnd = 0x4007,
    EmfPlusObject = 0x4008,
    EmfPlusClear = 0x4009,
    EmfPlusFillRects = 0x400A,
    EmfPlusDrawRects = 0x400B,
    EmfPlusFillPolygon = 0x400C,
    EmfPlusDrawLines = 0x400D,
    EmfPlusFillEllipse = 0x400E,
    EmfPlusDrawEllipse = 0x400F,
    EmfPlusFillPie = 0x4010,
    EmfPlusDrawPie = 0x4011,
    EmfPlusDrawArc = 0x4012,
    EmfPlusFillRegion = 0x4013,
    EmfPlusFillPath = 0x4014,
    EmfPlusDrawPath = 0x4015,
    EmfPlusFillClosedCurve = 0x4016,
    EmfPlusDrawClosedCurve = 0x4017,
    EmfPlusDrawCurve = 0x4018,
    EmfPlusDrawBeziers = 0x4019,
    EmfPlusDrawImage = 0x401A,
    EmfPlusDrawImagePoints = 0x401B,
    EmfPlusDrawString = 0x401C,
    EmfPlusSetRenderingOrigin = 0x401D,
    EmfPlusSetAntiAliasMode = 0x401E,
    EmfPlusSetTextRenderingHint = 0x401F,
    EmfPlusSetTextContrast = 0x4020,
    EmfPlusSetInterpolationMode = 0x4021,
    EmfPlusSetPixelOffsetMode = 0x4022,
    EmfPlusSetCompositingMode = 0x4023,
    EmfPlusSetCompositingQuality = 0x4024,
    EmfPlusSave = 0x4025,
    EmfPlusRestore = 0x4026,
    EmfPlusBeginContainer = 0x4027,
    EmfPlusBeginContainerNoParams = 0x4028,
    EmfPlusEndContainer = 0x4029,
    EmfPlusSetWorldTransform = 0x402A,
    EmfPlusResetWorldTransform = 0x402B,
    EmfPlusMultiplyWorldTransform = 0x402C,
    EmfPlusTranslateWorldTransform = 0x402D,
    EmfPlusScaleWorldTransform = 0x402E,
    EmfPlusRotateWorldTransform = 0x402F,
    EmfPlusSetPageTransform = 0x4030,
    EmfPlusResetClip = 0x4031,
    EmfPlusSetClipRect = 0x4032,
    EmfPlusSetClipPath = 0x4033,
    EmfPlusSetClipRegion = 0x4034,
    EmfPlusOffsetClip = 0x4035,
    EmfPlusDrawDriverString = 0x4036,
    EmfPlusStrokeFillPath = 0x4037,
    EmfPlusSerializableObject = 0x4038,
    EmfPlusSetTsGraphics = 0x4039,
    EmfPlusSetTsClip = 0x403A,
};

enum class EmfPlusObjectType : quint8 {
    Invalid = 0,
    Brush = 1,
    Pen = 2,
    Path = 3,
    Region = 4,
    Image = 5,
    Font = 6,
    StringFormat = 7,
    ImageAttributes = 8,
    CustomLineCap = 9,
};

enum EmfPlusUnit : quint8 {
    UnitWorld = 0,
    UnitDisplay = 1,
    UnitPixel = 2,
    UnitPoint = 3,
    UnitInch = 4,
    UnitDocument = 5,
    UnitMillimeter = 6,
};

// The values of the rendering-state records that change what is drawn.
enum EmfPlusModeValue : quint8 {
    CompositingModeSourceCopy = 1,
    PixelOffsetModeHalf = 2,
    PixelOffsetModeHighQuality = 4,
    InterpolationModeNearestNeighbor = 5,
};

// Record flag bits shared by many drawing records.
enum EmfPlusFlag : quint16 {
    FlagColor = 0x8000, // S: the brush is an ARGB colour, not an object
    FlagInt16 = 0x4000, // C: points and rectangles as 16-bit integers
    FlagWinding = 0x2000, // W: fill curves with the winding rule (FillClosedCurve)
    FlagClosed = 0x2000, // L: DrawLines closes the figure
    FlagAppend = 0x2000, // A: transforms multiply after the world transform
    FlagEffect = 0x2000, // E: DrawImagePoints applies the latest image effect
    FlagRelative = 0x0800, // P: points are relative (EmfPlusPointR)
    FlagContinued = 0x8000, // EmfPlusObject: the object goes on in the next record
};

// EMF+ records and objects: the plain reads, and the points, rectangles,
// colours and matrices EMF+ stores.
class EmfPlusReader : public LeReader {
public:
    using LeReader::LeReader;
    EmfPlusReader() = default;

    // The bytes [offset, offset + length) as a reader of their own (empty,
    // and this reader failed, when they are not all inside).
    EmfPlusReader sub(qint64 offset, qint64 length) const
    {
        return need(offset, length) ? EmfPlusReader(data() + offset, length) : EmfPlusReader();
    }
    QPointF pointF(qint64 offset) const { return QPointF(f32(offset), f32(offset + 4)); }
    QRectF rectF(qint64 offset) const
    {
        return QRectF(f32(offset), f32(offset + 4), f32(offset + 8), f32(offset + 12));
    }
    QRectF rect16(qint64 offset) const
    {
        return QRectF(i16(offset), i16(offset + 2), i16(offset + 4), i16(offset + 6));
    }
    QColor argb(qint64 offset) const
    {
        const quint32 v = u32(offset);
        return QColor::fromRgba(v); // stored as B, G, R, A: a little-endian ARGB word
    }
    // EmfPlusTransformMatrix: m11, m12, m21, m22, dx, dy.
    QTransform matrix(qint64 offset) const
    {
        return QTransform(f32(offset), f32(offset + 4), f32(offset + 8), f32(offset + 12), f32(offset + 16),
            f32(offset + 20));
    }
};

} // namespace vm

// Internal to the EMF player: the parsed header, a bounds-checked view of
// one record, and the player that feeds records to a GdiContext.
#pragma once

#include <QByteArray>
#include <QRect>
#include <QSizeF>

#include <memory>

#include "platform/metafile/gdicontext.h"
#include "platform/metafile/lereader.h"
#include "platform/metafile/metafile.h"

namespace vm {

struct EmfHeader {
    QRect bounds; // device pixels, as stored (inclusive)
    QRect frame; // hundredths of a millimetre, as stored (inclusive)
    quint32 headerSize = 0;
    quint32 recordCount = 0;
    int handleCount = 0;
    QSizeF pxPerMm; // reference device pixels per millimetre
    QSize extent; // hundredths of a millimetre: right - left, bottom - top
    QRectF deviceFrame; // the picture's area in reference device pixels
};

// Parses and checks the header record; throws RuntimeError when unusable.
EmfHeader parseEmfHeader(const QByteArray &data);

// One record, its reads bounds-checked against the record's size.
class EmfRecord : public LeReader {
public:
    EmfRecord(const uchar *data, quint32 type, quint32 size)
        : LeReader(data, size)
        , m_type(type)
    {
    }
    quint32 type() const { return m_type; }
    quint32 size() const { return quint32(LeReader::size()); }
    QPointF point32(qint64 offset) const { return QPointF(i32(offset), i32(offset + 4)); }
    QPointF point16(qint64 offset) const { return QPointF(i16(offset), i16(offset + 2)); }
    QRectF rect32(qint64 offset) const { return QRectF(point32(offset), point32(offset + 8)); } // RECTL

private:
    quint32 m_type;
};

class EmfPlusPlayer;

// Plays the records of an EMF onto a GdiContext through one flat dispatch
// (EmfPlayer::playRecord). Comment records go to commentRecord
// (emfcomment.cpp), which hands EMF+ records to the EMF+ player.
class EmfPlayer {
public:
    // `depth`: how many metafiles deep this one is carried (0 for a file).
    EmfPlayer(const QByteArray &data, const EmfHeader &header, GdiContext &context, int depth);
    ~EmfPlayer();
    // Plays every record up to EMR_EOF. Returns false when play stopped early
    // (a lying record, or the context's work budget spent).
    bool play();
    // The WMF of the first EMR_COMMENT_WINDOWS_METAFILE, if any.
    const QByteArray &embeddedWmf() const { return m_embeddedWmf; }

private:
    bool playRecord(const EmfRecord &r);
    // Clipping and objects (emfrecords.cpp).
    bool extSelectClipRgn(const EmfRecord &r);
    void selectObject(quint32 index);
    bool createPen(const EmfRecord &r);
    bool extCreatePen(const EmfRecord &r);
    bool createBrush(const EmfRecord &r);
    bool createPatternBrush(const EmfRecord &r);
    bool createFont(const EmfRecord &r);
    bool createPalette(const EmfRecord &r);
    bool setPaletteEntries(const EmfRecord &r);
    // Shapes (emfrecords.cpp).
    bool polyRecord(const EmfRecord &r);
    bool polyPolyRecord(const EmfRecord &r);
    bool polyDrawRecord(const EmfRecord &r);
    bool regionRecord(const EmfRecord &r);
    // Bitmaps and text (emfbitmaps.cpp).
    bool bltRecord(const EmfRecord &r);
    bool diBitsRecord(const EmfRecord &r);
    bool gradientFillRecord(const EmfRecord &r);
    bool drawText(const EmfRecord &r, qint64 base, bool wide);
    bool polyTextOut(const EmfRecord &r);
    bool smallTextOut(const EmfRecord &r);
    // Comments: EMF+ records, a carried WMF (emfcomment.cpp).
    bool commentRecord(const EmfRecord &r);
    bool readPoints(const EmfRecord &r, qint64 countOffset, bool small, QPolygonF *points);
    bool readPolyPoly(const EmfRecord &r, bool small, QList<QPolygonF> *polys);
    bool readRegion(const EmfRecord &r, qint64 offset, qint64 size, GdiRegion *region);
    QImage readDib(const EmfRecord &r, qint64 bmiOffset, qint64 bmiSize, qint64 bitsOffset, qint64 bitsSize,
        quint32 usage, bool alpha = false, const QList<QRgb> *indexColours = nullptr);
    void storeObject(quint32 index, GdiObject object);
    // Stores the object a record made at the index it names (its first
    // field), unless the record lied about its size; returns r.ok().
    bool storeIfWhole(const EmfRecord &r, GdiObject object);

    const QByteArray &m_data;
    const EmfHeader &m_header;
    GdiContext &m_dc;
    int m_depth;
    QByteArray m_embeddedWmf;
    // Set once a valid EMF+ header is read: from then on the EMF+ records
    // draw, and GDI records only where GetDC allows.
    std::unique_ptr<EmfPlusPlayer> m_plus;
    bool m_plusRefused = false; // the first EMF+ record was no valid header
};

} // namespace vm

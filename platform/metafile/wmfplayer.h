// Plays the records of a parsed WMF onto a GDI device context.
//
// Objects go into the handle table at the lowest free slot, as GDI's
// PlayMetaFile puts them; a table the header sized too small grows instead of
// dropping objects. A create record too short to read still takes its slot
// (the writer counted on it), so later indices stay right.
// Play stops at the end of the records, or when the context's work budget
// is spent (the caller then refuses the picture), whatever the records say.
#pragma once

#include <QImage>

#include <set>
#include <vector>

#include "platform/metafile/gdicontext.h"
#include "platform/metafile/metafile.h"
#include "platform/metafile/wmfformat.h"

namespace vm {

class WmfPlayer {
public:
    WmfPlayer(const WmfDocument &doc, GdiContext &dc);
    // Returns the number of records played.
    size_t play();

private:
    void record(const WmfRecord &r, const WmfParams &p);
    bool stateRecord(quint16 function, const WmfParams &p);
    bool objectRecord(quint16 function, const WmfParams &p);
    bool drawRecord(quint16 function, const WmfParams &p);
    bool textRecord(quint16 function, const WmfParams &p);
    bool bitmapRecord(quint16 function, const WmfParams &p);
    QString decodeText(const QByteArray &bytes, QList<double> *dx) const;

    // Handle table (wmfobjects.cpp).
    void addObject(GdiObject object);
    void deleteObject(int index);
    void selectObject(int index);
    const GdiObject *object(int index);
    GdiFont readFont(const WmfParams &p) const;
    GdiRegion readRegion(const WmfParams &p) const;
    GdiPalette readPalette(const WmfParams &p) const;

    // Bitmaps (wmfbitmaps.cpp).
    QImage readDib(const WmfParams &p, qsizetype offset, int colorUsage) const;
    static QImage readBitmap16(const WmfParams &p, qsizetype offset, qsizetype bitsOffset);
    static QImage readBitmap16(const WmfParams &p, qsizetype offset);
    void blit(const QRectF &dest, const QImage &image, QRectF source, quint32 rop);

    QPolygonF readPoints(const WmfParams &p, qsizetype offset, int count) const;
    void setWindowExt(QSizeF ext);
    void setWindowOrg(QPointF org);

    const WmfDocument &m_doc;
    GdiContext &m_dc;
    std::set<int> m_free; // free handle-table slots
};

} // namespace vm

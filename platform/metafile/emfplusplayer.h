// The EMF+ player: plays the EMF+ records carried in an EMF's comment
// records onto the same GdiContext (and so the same QPainter, budget and
// bounds) as the GDI records.
//
// Coordinates: world --world transform (inside the container's)--> page
// --page unit and scale, at the header's dpi--> device pixels of the
// recording device --GdiContext::deviceToImage--> image pixels. The GDI
// records' own map mode and transforms play no part.
//
// Which records draw (decided in EmfPlayer, which owns this player): once a
// valid EMF+ header has been read, the file is drawn from its EMF+ records,
// and its GDI records only between an EmfPlusGetDC and the next EMF+
// record, whether the header says "dual" or not. A file whose first EMF+
// record is not a valid header is drawn from its GDI records only.
//
// Adding a record family (images, image effects and text, emfplusimage.cpp,
// emfpluseffects.cpp and emfplustext.cpp, were added this way):
//  1. Give it a member function here, `EmfPlusResult xxxRecord(const
//     EmfPlusRecord &r)`, in a file of its own (emfplusimage.cpp,
//     emfplustext.cpp...). Read everything through r.data, an
//     EmfPlusReader: it checks every offset, and a record whose fields
//     reach past it returns EmfPlusResult::Stop, which ends play (what was
//     drawn stays). Return NotDrawn for what is understood but not drawn.
//  2. Send its record types to it in EmfPlusPlayer::playRecord's switch
//     (emfplusplayer.cpp).
//  3. Its objects: EmfPlusObjectTable already keeps images, fonts, string
//     formats and image attributes as EmfPlusOpaque<T> entries, their bytes
//     plus what parseEmfPlusImage/Font/StringFormat/ImageAttributes made
//     of them (a new kind of object gets the same: a struct T in the
//     family's header and its parser); look the object up with
//     objects().find<EmfPlusOpaque<T>>(id).
//  4. Draw through fillWorld/strokeWorld, or for anything else charge the
//     work to the play budget (dc().chargeDrawing, dc().charge) and draw
//     between beginDraw()/endDraw(), which set the painter up for the
//     current clip, anti-aliasing and compositing.
//     A metafile image plays with openEmfAt/openWmfAt(data, depth() + 1).
#pragma once

#include <QImage>
#include <QPainterPath>
#include <QTransform>

#include <optional>
#include <vector>

#include "platform/metafile/emfplayer.h"
#include "platform/metafile/emfpluseffects.h"
#include "platform/metafile/emfplusformat.h"
#include "platform/metafile/emfplusobjects.h"
#include "platform/metafile/gdicontext.h"

namespace vm {

struct EmfPlusRecord {
    quint16 type = 0;
    quint16 flags = 0;
    EmfPlusReader data; // the record's data, DataSize bytes
};

enum class EmfPlusResult {
    Done, // played
    NotDrawn, // understood (or not) and skipped; play goes on
    Stop, // the record lies about its contents: play ends here
};

struct EmfPlusState {
    QTransform world; // set by the world-transform records
    QTransform container; // the enclosing containers' transform
    quint8 pageUnit = UnitDisplay;
    double pageScale = 1;
    std::optional<QPainterPath> clip; // image pixels; none = no clip
    bool antialias = false;
    bool sourceCopy = false; // CompositingModeSourceCopy
    bool smoothImages = true; // any interpolation but nearest neighbour
    bool halfPixelOffset = false; // PixelOffsetModeHalf or HighQuality
    QPointF renderingOrigin; // device pixels; hatch brushes start there
};

class EmfPlusPlayer {
public:
    // The header record: true (and the dpi and dual flag filled in) when
    // `comment` (an EMR_COMMENT's data after "EMF+") starts with a valid one.
    static bool readHeader(const uchar *comment, qint64 size, double *dpiX, double *dpiY, bool *dual);

    EmfPlusPlayer(GdiContext &dc, double dpiX, double dpiY, int depth);

    // Plays the EMF+ records of one comment. False when play must end (a
    // lying record, the budget).
    bool playComment(const uchar *comment, qint64 size);
    // True between an EmfPlusGetDC and the next EMF+ record.
    bool gdiAllowed() const { return m_gdiAllowed; }

    // For the record families.
    GdiContext &dc() { return m_dc; }
    const EmfPlusState &state() const { return m_state; }
    const EmfPlusObjectTable &objects() const { return m_objects; }
    int depth() const { return m_depth; }
    // Device pixels per `unit` (world and display count as pixels).
    double unitScale(int unit, bool vertical = false) const;
    QTransform worldToDevice() const;
    QTransform worldToImage() const;
    // Sets up the painter for one drawing (clip, modes, no transform);
    // false when nothing may be drawn. Every successful beginDraw needs its
    // endDraw. Charge the drawing's work first (dc().chargeDrawing).
    bool beginDraw();
    void endDraw();
    // Fills or strokes a path in world units.
    void fillWorld(const QPainterPath &path, const EmfPlusBrush &brush);
    void strokeWorld(const QPainterPath &path, const EmfPlusPen &pen, bool closedShape);
    // The brush of a fill record: an ARGB colour when the record's S flag
    // is set, otherwise a brush object. Null when there is none.
    std::optional<EmfPlusBrush> brushOf(quint16 flags, quint32 value) const;

private:
    EmfPlusResult playRecord(const EmfPlusRecord &r);
    EmfPlusResult objectRecord(const EmfPlusRecord &r);
    EmfPlusResult storeObject(quint8 id, EmfPlusObjectType type, const EmfPlusReader &bytes);
    EmfPlusResult transformRecord(const EmfPlusRecord &r);
    EmfPlusResult stateRecord(const EmfPlusRecord &r);
    EmfPlusResult clipRecord(const EmfPlusRecord &r);
    void combineClip(const QPainterPath &imagePath, int mode);
    QPainterPath everywhere() const; // the whole image and a margin, in image pixels
    // Drawing families (emfplusdraw.cpp, emfpluscurves.cpp).
    EmfPlusResult fillRecord(const EmfPlusRecord &r);
    EmfPlusResult drawRecord(const EmfPlusRecord &r);
    EmfPlusResult curveRecord(const EmfPlusRecord &r);
    EmfPlusResult clearRecord(const EmfPlusRecord &r);
    // Images (emfplusimage.cpp), image effects (emfpluseffects.cpp) and text
    // (emfplustext.cpp).
    EmfPlusResult imageRecord(const EmfPlusRecord &r);
    EmfPlusResult effectRecord(const EmfPlusRecord &r);
    EmfPlusResult textRecord(const EmfPlusRecord &r);

    void drawCaps(const QPainterPath &path, const EmfPlusPen &pen, const QPen &qpen);
    void strokeCompound(const QPainterPath &path, const EmfPlusPen &pen, const QPen &qpen);
    QBrush imageBrush(const EmfPlusBrush &brush, const QTransform &worldToImage) const;
    QPen imagePen(const EmfPlusPen &pen, const QTransform &worldToImage) const;

    struct Saved {
        quint32 index;
        EmfPlusState state;
    };
    struct Pending { // an object split over continued records
        quint8 id = 0;
        EmfPlusObjectType type = EmfPlusObjectType::Invalid;
        qint64 total = 0;
        QByteArray data;
    };

    GdiContext &m_dc;
    double m_dpiX, m_dpiY;
    int m_depth;
    EmfPlusState m_state;
    std::vector<Saved> m_saved;
    EmfPlusObjectTable m_objects;
    std::optional<Pending> m_pending;
    // The latest serializable object's effect, for DrawImagePoints with the
    // E flag. Saved states and containers leave it alone: [MS-EMFPLUS] does
    // not count it as graphics state.
    std::optional<EmfPlusEffect> m_effect;
    bool m_gdiAllowed = false;
    bool m_ended = false;
};

} // namespace vm

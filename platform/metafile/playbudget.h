// The work one play of a metafile may do, bounded by the file's own size.
//
// Every record played and every costly step a record asks for (fills and
// strokes priced by the rasteriser's cost model, pixels covered, text runs,
// bitmap stretches, region operations) is charged here, in units of about
// 0.2 to 0.4 microseconds of player work on an ordinary desktop core. The limit is
// a fixed base plus an allowance per byte of the file, so a large ordinary
// file (many records, each doing modest work) is drawn whole, while a small
// file that asks for vast work (a page-sized star filled again and again, a
// huge stroke, a region blown up a million times) runs out and is refused.
// The count is the same on every machine and at every output size: costs
// that depend on the picture's size are measured in reference pixels (the
// picture at its natural size), whatever size it is played at, so the
// preview and the viewer make the same decision.
//
// Calibration (every WMF and EMF of the picture corpus, at natural size):
// the most any real file uses is 0.46 million units (a 47 KB EMF of
// page-sized fills at 3600 x 4659), 4.6 % of its budget; a mutated 2 KB
// test file 1.15 million, 11.5 %; the generated 3.6 MB scatter plot of
// 150 000 dots 1.7 million, 10 %. The fuzz-found regressions ask for 130
// million and 6.9 billion units in under a kilobyte. So the base is about
// ten times the heaviest real small file, and the per-byte allowance four
// times the dense plot's 0.48 units a byte (a record is 20 to 100 bytes).
//
// A wall clock stays only as a last safety net, at kSafetyNetMs: the base
// is a second or two of work, and the per-byte allowance well under a
// microsecond a byte, so only a file of many megabytes that spends its whole
// budget, or a starved machine, comes near it. Both ends are errors (the
// picture is too complex to draw), never a partial picture.
#pragma once

#include <QElapsedTimer>
#include <QtGlobal>

namespace vm {

class PlayBudget {
public:
    // Units for any file, and per byte of it.
    static constexpr double kBaseUnits = 10'000'000;
    static constexpr double kUnitsPerByte = 2;
    static constexpr qint64 kSafetyNetMs = 10'000;

    // Prices, in units.
    static constexpr double kRecord = 4; // reading and dispatching one record
    static constexpr double kPathElement = 0.25; // transforming and flattening one point
    static constexpr double kPixelsPerUnit = 256; // pixels blended or copied per unit
    static constexpr double kGlyph = 4; // shaping one character, besides its pixels

    explicit PlayBudget(qint64 fileBytes);

    // Charges `units` (a negative or NaN price spends the budget). False once
    // the budget or the safety net is spent, and from then on.
    bool charge(double units);
    // One record of the loop, whatever it does.
    bool chargeRecord() { return charge(kRecord); }
    // Covering `pixels` reference pixels.
    bool chargePixels(double pixels) { return charge(pixels / kPixelsPerUnit); }

    bool spent() const { return m_spent; }
    bool timedOut() const { return m_timedOut; }
    double used() const { return m_used; }
    double limit() const { return m_limit; }
    // Throws RuntimeError (PictureTooComplex) once spent.
    void raiseIfSpent() const;

private:
    double m_limit;
    double m_used = 0;
    bool m_spent = false;
    bool m_timedOut = false;
    quint32 m_charges = 0;
    QElapsedTimer m_clock;
};

} // namespace vm

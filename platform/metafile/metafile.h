// Windows metafiles (WMF and EMF), parsed and played by our own bounds-checked
// player onto a QPainter.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

#include <memory>

namespace vm {

// Bounds on every rendering of a metafile. The natural size (the extent at
// 96 dpi) is scaled down to fit them: 16 megapixels holds an A0 poster at
// 96 dpi, and beyond it a vector picture gains nothing from more pixels but
// memory and fill time. The work of one play is bounded by the file's size
// (playbudget.h), the same at every size and on every machine.
inline constexpr int kMetafileMaxSide = 16384;
inline constexpr qint64 kMetafileMaxPixels = 16LL * 1024 * 1024;

struct PlayWork {
    double used = 0;
    double limit = 0;
};

class Metafile {
public:
    virtual ~Metafile() = default;

    // Physical extent in hundredths of a millimetre.
    virtual QSize extentHimetric() const = 0;
    // Natural size in pixels (the extent at 96 dpi).
    virtual QSize naturalSize() const = 0;
    // Plays the records onto a new image of exactly `size` pixels (white
    // background, the picture stretched to fill it). Throws RuntimeError:
    // DamagedPicture when the records are broken beyond use,
    // PictureTooComplex when they ask for more work than the file's size
    // allows (the same at any size). `work`, when given, receives the work
    // budget's use and limit (units of playbudget.h).
    virtual QImage render(QSize size, PlayWork *work = nullptr) const = 0;
};

// Cheap content tests on the first bytes of a file.
bool looksLikeEmf(const QByteArray &head);
bool looksLikeWmf(const QByteArray &head);

// Parse the header and check the record stream. Throw RuntimeError
// (InvalidPicture or DamagedPicture) when the data is not a usable metafile.
std::shared_ptr<const Metafile> openEmf(QByteArray data);
std::shared_ptr<const Metafile> openWmf(QByteArray data);

} // namespace vm

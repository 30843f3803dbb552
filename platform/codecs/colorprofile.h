// Colour management. A picture that carries an ICC profile other than sRGB
// is converted with Little CMS to sRGB, or to the display's own profile when
// the desktop publishes one. Untagged and sRGB pictures are never touched.
// A profile we cannot use (damaged, absurd, of the wrong kind) is ignored,
// never a reason to refuse the picture.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>
#include <QList>

#include <array>
#include <memory>
#include <vector>

namespace vm {

// Real profiles take a few kilobytes, the largest printer profiles about
// two megabytes.
constexpr qsizetype kMaxIccProfileSize = qsizetype(4) * 1024 * 1024;

// What the stored samples mean, four bytes a pixel in every case: Qt's
// RGB32 layout for Rgb and Grey (grey repeated in the three colours), and
// C, M, Y, K for the two CMYK kinds. Adobe's encoders store CMYK inverted
// (0 is full ink).
enum class PixelModel { Grey, Rgb, Cmyk, CmykInverted };

// True when the header and the tag table of `icc` hold together: the sizes
// agree with the data, the device class describes pixels (input, display,
// output or colour space) and the data colour space is RGB, grey or CMYK.
bool isPlausibleIccProfile(QByteArrayView icc);

// The conversion of pixels tagged with one profile to the display. Made by
// Little CMS as an 8-bit precalculated transform, with the profile's own
// rendering intent (perceptual when it names none) and black-point
// compensation; safe to use from several threads at once.
class ColorConversion {
public:
    // Null when there is nothing to do: no profile, an sRGB profile, or one
    // that is unusable or does not fit the model. Conversions are kept by
    // profile, so a folder of photos from one camera builds one.
    static std::shared_ptr<const ColorConversion> find(const QByteArray &icc, PixelModel model);

    ~ColorConversion();
    ColorConversion(const ColorConversion &) = delete;
    ColorConversion &operator=(const ColorConversion &) = delete;

    // Converts `rows` rows of `width` pixels in place; the result is RGB32
    // with the fourth byte left as it was.
    void convertRows(uchar *first, qsizetype bytesPerLine, int width, int rows) const;

    // Matrix-shaper profiles on both sides: what each input level of each
    // channel adds to the three output channels in linear light (its curve
    // and its column of the matrix together), and the output curve as a
    // table. The three outputs of a level are fields of one word, each kept
    // from 0 up by an offset, so one addition of three words sums all three
    // channels, and the sums index the output table directly, its ends
    // clamping. Per pixel about seven times cheaper than the same transform
    // through Little CMS, whose results it is checked against when it is
    // made.
    struct MatrixShaper {
        // 16-bit fields step in 1/2^14 of linear light and have a 64 KB
        // output table; 21-bit ones step in 1/2^18 and have a 2 MB one.
        static constexpr int kNarrowField = 16, kWideField = 21;
        static constexpr int linearBits(int fieldBits) { return fieldBits == kNarrowField ? 14 : 18; }
        int fieldBits = kNarrowField;
        // [input channel: red, green, blue][level]: red's output in the
        // lowest field, then green's, then blue's
        std::array<std::array<quint64, 256>, 3> terms {};
        // [offset + linear level] -> output level; 2^fieldBits entries
        std::vector<quint8> encode;
    };
    // Whether this conversion runs on such tables (for tests and tools).
    bool isMatrixShaper() const { return bool(m_fast); }
    // Converts `count` pixels in place with such tables.
    static void convertWith(const MatrixShaper &fast, QRgb *pixels, int count);

private:
    explicit ColorConversion(void *transform)
        : m_transform(transform)
    {
    }
    explicit ColorConversion(std::unique_ptr<const MatrixShaper> fast)
        : m_fast(std::move(fast))
    {
    }
    explicit ColorConversion(std::vector<QRgb> greyTable)
        : m_greyTable(std::move(greyTable))
    {
    }
    void *m_transform = nullptr; // cmsHTRANSFORM
    // Grey has 256 values only: their exact results, in place of a transform
    // whose table would bend the steep ends of a grey curve.
    std::vector<QRgb> m_greyTable;
    std::unique_ptr<const MatrixShaper> m_fast;
};

// Where pictures keep their profiles.

// The profile of a JPEG from the payloads of its APP2 segments in file
// order. Segments "ICC_PROFILE" carry a sequence number and a count and are
// joined in sequence order; a missing, duplicated or inconsistent chunk
// means no profile.
QByteArray jpegIccProfile(const QList<QByteArrayView> &app2Payloads);

// Adobe RGB (1998), for photos whose EXIF says so without carrying it.
QByteArray adobeRgbProfile();

// A PNG's colour as a profile: iCCP's, else none for sRGB, else one built
// from gAMA and cHRM. Empty when the PNG says nothing, or only that it is
// sRGB, or something unusable. `grey` tells whether the PNG is greyscale.
QByteArray pngColourProfile(QByteArrayView png, bool *grey);

// The profile the desktop publishes for the display (X11 _ICC_PROFILE on the
// root window); empty elsewhere and when there is none.
QByteArray displayIccProfile();

} // namespace vm

// The few EXIF fields the loader needs: orientation, resolution and the
// colour space.
#pragma once

#include <QByteArrayView>

namespace vm {

struct ExifInfo {
    int orientation = 1; // 1 to 8, as the TIFF tag defines it
    // Dots per metre from XResolution/YResolution and ResolutionUnit; 0 where
    // absent, of the wrong type, or in a unit we do not know.
    double dotsPerMetreX = 0;
    double dotsPerMetreY = 0;
    // ColorSpace "uncalibrated" with the interoperability index "R03": the
    // way cameras (DCF) say Adobe RGB without carrying its profile.
    bool adobeRgb = false;
};

// `payload` is an APP1 segment's content. Anything that is not EXIF, and any
// field that is cut off or malformed, is simply left at its default.
ExifInfo parseExif(QByteArrayView payload);

} // namespace vm

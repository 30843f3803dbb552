// EMF+ image effects: what an EmfPlusSerializableObject record names (a
// GUID and the effect's parameter block) and what DrawImagePoints with the
// E flag does with it.
//
// Every field is checked against the range [MS-EMFPLUS] gives it; a block
// too short, a non-finite or out-of-range value or an unknown GUID is no
// effect, and the image is drawn as it is. The work of applying one is
// proportional to the image's pixels whatever the radius (blur and sharpen
// are three box passes each way), and the caller charges it to the play
// budget with emfPlusEffectCost before applying it.
#pragma once

#include <QImage>
#include <QRect>

#include <array>
#include <optional>
#include <vector>

#include "platform/metafile/emfplusformat.h"

namespace vm {

struct EmfPlusEffect {
    enum Kind {
        Blur,
        Sharpen,
        ColorMatrix,
        ColorLookupTable,
        BrightnessContrast,
        HueSaturationLightness,
        Levels,
        Tint,
        ColorBalance,
        ColorCurve,
        RedEyeCorrection,
    };
    Kind kind = Blur;
    // Blur and sharpen: radius in image pixels; sharpen's amount (0 to 100);
    // blur's ExpandEdge (the image grows by the radius, its edges soft).
    double radius = 0;
    double amount = 0;
    bool expandEdge = false;
    // The integer levels, in the block's order: brightness and contrast;
    // hue, saturation and lightness; highlight, midtone and shadow; tint
    // hue and amount; cyan-red, magenta-green and yellow-blue; curve
    // adjustment, channel and intensity.
    std::array<int, 3> level {};
    // Colour matrix, row-major as stored: row i is what input channel i
    // (red, green, blue, alpha, then the constant 1) adds to each output.
    std::array<float, 25> matrix {};
    // Lookup tables for blue, green, red and alpha, in the block's order.
    std::array<std::array<quint8, 256>, 4> table {};
    // Red-eye areas, in image pixels.
    std::vector<QRect> areas;
};

// The effect of a serializable object record's data (GUID, BufferSize,
// buffer); nothing when the GUID is unknown or the block is not valid.
std::optional<EmfPlusEffect> parseEmfPlusEffect(const EmfPlusReader &record);

// The work of applying `effect` to an image of `size`, in play-budget units
// (`pixelScale` as for applyEmfPlusEffect).
double emfPlusEffectCost(const EmfPlusEffect &effect, QSize size, double pixelScale);

// `image` with `effect` applied (ARGB32 premultiplied). `pixelScale` is image
// pixels per pixel of the picture the effect was written for (blur and
// sharpen radii and red-eye areas are in those). `margin` receives how many
// pixels the result grew by on each side (blur with ExpandEdge). Null when
// memory runs out.
QImage applyEmfPlusEffect(const EmfPlusEffect &effect, const QImage &image, double pixelScale, int *margin);

} // namespace vm

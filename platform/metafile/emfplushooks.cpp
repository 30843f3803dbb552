// The EMF+ record families still to be written: images (DrawImage,
// DrawImagePoints and image objects) and text (DrawString,
// DrawDriverString, font and string-format objects). Until then their
// objects keep only their bytes and their records draw nothing; replace
// each function here by the family's own file (see emfplusplayer.h).
#include "platform/metafile/emfplusplayer.h"

namespace vm {

std::shared_ptr<const EmfPlusImage> parseEmfPlusImage(const EmfPlusReader &, int)
{
    return nullptr;
}

std::shared_ptr<const EmfPlusImageAttributes> parseEmfPlusImageAttributes(const EmfPlusReader &)
{
    return nullptr;
}

QImage emfPlusImagePixels(const EmfPlusImage *)
{
    return QImage();
}

std::shared_ptr<const EmfPlusFont> parseEmfPlusFont(const EmfPlusReader &)
{
    return nullptr;
}

std::shared_ptr<const EmfPlusStringFormat> parseEmfPlusStringFormat(const EmfPlusReader &)
{
    return nullptr;
}

EmfPlusResult EmfPlusPlayer::imageRecord(const EmfPlusRecord &)
{
    return EmfPlusResult::NotDrawn;
}

EmfPlusResult EmfPlusPlayer::textRecord(const EmfPlusRecord &)
{
    return EmfPlusResult::NotDrawn;
}

} // namespace vm

// The picture loader working on bytes already in memory: the same format
// detection and decoders as LoadPicture, with no file involved. The fuzz
// targets and anything else that holds a picture's bytes use it.
#pragma once

#include <QByteArray>
#include <QSize>

#include "platform/picture.h"

namespace vm {

// Decodes `bytes` as a picture, choosing the format from the content (never
// from a name). `maxSize` as for LoadPictureForSize. Throws RuntimeError:
// InvalidPicture for an unknown format, DamagedPicture, PictureTooLarge,
// OutOfMemory.
Picture pictureFromBytes(const QByteArray &bytes, QSize maxSize = QSize());

} // namespace vm

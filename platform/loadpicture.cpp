// LoadPicture: reads the file whole, then decodes its bytes; the format is
// told from the content (see picturebytes.cpp), never from the name.
#include <QByteArray>

#include <new>

#include "platform/codecs/filereader.h"
#include "platform/picture.h"
#include "platform/picturebytes.h"
#include "platform/runtimeerror.h"

namespace vm {

Picture LoadPictureForSize(const QString &name, QSize maxSize)
{
    QByteArray file;
    try {
        file = readPictureFile(name);
    } catch (const std::bad_alloc &) {
        raise(Err::OutOfMemory);
    }
    return pictureFromBytes(file, maxSize);
}

Picture LoadPicture(const QString &name)
{
    return LoadPictureForSize(name, QSize());
}

} // namespace vm

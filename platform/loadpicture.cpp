// LoadPicture: reads the file whole, then decodes its bytes; the format is
// told from the content (see picturebytes.cpp), never from the name.
#include <QByteArray>

#include <new>

#include "platform/codecs/filereader.h"
#include "platform/files/drives.h"
#include "platform/picture.h"
#include "platform/picturebytes.h"
#include "platform/readahead.h"
#include "platform/runtimeerror.h"

namespace vm {

Picture LoadPictureForSize(const QString &name, QSize maxSize)
{
    // Before anything looks at the file: on a share whose server has gone,
    // even asking whether a prepared picture is still current would hang.
    drives::awaitServer(name);
    // A neighbour read ahead while the user rested, if its file is unchanged.
    readahead::noteLoad(name, maxSize);
    if (std::optional<Picture> prepared = readahead::take(name, maxSize))
        return std::move(*prepared);
    readahead::countLoaderDecode();

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

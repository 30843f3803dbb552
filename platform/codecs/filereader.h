// Reads a picture file whole, refusing anything that is not a plain file and
// anything larger than the loader is prepared to hold.
#pragma once

#include <QByteArray>
#include <QString>

#include <sys/stat.h>

namespace vm {

// No picture we read is anywhere near this big; a larger file is a mistake
// or an attack, and reading it whole would cost more memory than any picture
// it could hold is worth.
inline constexpr qint64 kMaxPictureFileBytes = qint64(512) * 1024 * 1024;

// Returns the whole content of `name`. Throws RuntimeError: BadFileName,
// FileNotFound, PathNotFound, PermissionDenied, IsFolder, NotARegularFile,
// PictureTooLarge (file over the cap), DeviceIO, OutOfMemory.
QByteArray readPictureFile(const QString &name);

// The same, also giving what fstat said of the very file that was read (its
// identity and times), for a caller that must later tell whether the file
// is still the one it read.
QByteArray readPictureFile(const QString &name, struct stat *seen);

} // namespace vm

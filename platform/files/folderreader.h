// Reading folders for the folder and file lists: turning a path the program
// gave into a folder, listing its visible entries quickly, and ordering names
// the way a user reads them.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace vm {

enum class EntryKind { Folder, File };

// The absolute, cleaned folder path (no trailing "/" except the root "/") for
// a path, relative paths taken from the current folder. With acceptDriveText a
// drive's display text stands for that drive's current folder. Throws
// RuntimeError for a drive that is gone or an empty text; the folder itself is
// checked by readFolder.
QString resolveFolder(const QString &text, bool acceptDriveText);

// Names of the folder's entries of one kind, hidden (dot) entries left out.
// A symbolic link counts as what it points to; a broken link, a FIFO, a device
// or a socket is neither kind. Names are filtered with accept before anything
// is asked of the file system about them. Throws RuntimeError when the folder
// is missing, unreadable or on a drive that went away.
QStringList readFolder(
    const QString &folder, EntryKind kind, const std::function<bool(const QString &)> &accept = {});

// Sorts names as a user expects: by the user's language, case-insensitive,
// digit runs compared as numbers ("2" before "10").
void sortNames(QStringList &names);

} // namespace vm

// File names as the user sees them and as the file system stores them.
//
// On Linux a name is bytes. Names copied from Japanese archives and discs are
// often Shift-JIS (CP932), others Latin-1. Qt turns such bytes into U+FFFD,
// which cannot be opened again, so every name read from a folder goes through
// here and every path the program opens comes back through here:
// - a name that is valid UTF-8 is shown as it is;
// - otherwise one that decodes cleanly as CP932 is shown as that text;
// - otherwise each byte that is not part of valid UTF-8 is shown as \xHH.
// Within one folder no two names look the same: a name whose form would
// match a neighbour's falls back to the escaped form (and further, see
// displayNames). nativePath() finds the bytes a shown path stands for.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace vm::filenames {

// The preferred shown form of one name, without regard to its neighbours.
QString displayName(const QByteArray &name);

// The shown form of a whole path, each component as its folder's listing
// shows it (its preferred form, unless a neighbour already looks that way).
QString displayPath(const QByteArray &path);

// The shown forms of all the names of one folder, in the same order, no two
// alike.
QStringList displayNames(const QList<QByteArray> &names);

// The bytes of the path that a shown path stands for. Components that exist
// as their UTF-8 bytes are taken as they are; any other component is looked
// up among its folder's entries by shown form. Where nothing matches, the
// rest of the path is its UTF-8 bytes, so that opening it fails naturally.
QByteArray nativePath(const QString &path);

} // namespace vm::filenames

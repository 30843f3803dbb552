// Drives as the drive list and the folder list know them: the mounted real
// file systems of this machine. Each drive remembers the folder last opened on
// it during the run, so that choosing the drive again goes back there.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>

namespace vm {

struct DriveInfo {
    QString root; // mount point, "/" for the root file system
    QString label; // volume label, empty when the file system has none
    QString device; // mount source as the kernel names it
    QString type; // file system type

    // What the drive list shows: the root folder, then the label in brackets.
    QString text() const;
    // Served by another machine or by a process (network shares, FUSE, and
    // automount points, which mount such a share on first use): asking it
    // anything waits for as long as that server does not answer.
    bool isServedElsewhere() const;
    bool operator==(const DriveInfo &other) const = default;
};

namespace drives {

// True for file systems that hold the user's files (disks, cards, discs,
// network shares); false for kernel and container plumbing.
bool isRealFileSystem(const QString &type);

// The drives described by the contents of a /proc/self/mountinfo file, in
// mount order. A later mount on the same point hides the earlier one. The root
// "/" is always a drive, even when it is an overlay or other pseudo file system.
QList<DriveInfo> parseMountInfo(const QByteArray &contents);

// Volume labels from a /dev/disk/by-label style folder: device path (with
// symbolic links resolved) to label.
QHash<QString, QString> readLabels(const QString &byLabelDir);

// Gives each drive whose device carries a label that label.
void applyLabels(QList<DriveInfo> &drives, const QHash<QString, QString> &labels);

// The drive holding an absolute, cleaned path: the longest mount point that is
// the path itself or one of its parent folders.
std::optional<DriveInfo> driveOf(const QList<DriveInfo> &drives, const QString &path);

// --- The machine's drives, read afresh on each call (drives come and go). ---

QList<DriveInfo> list();
// The real file systems and automount points of the mount table as they
// stand, without labels and without asking any of them anything: cheap
// enough to consult before every read, and safe with a share whose server
// has gone.
QList<DriveInfo> mountTable();
std::optional<DriveInfo> driveOf(const QString &path);
std::optional<DriveInfo> fromText(const QString &text);

// The folder the program was started in, absolute and cleaned. Should that
// folder have been deleted since, the system no longer names it; then the
// shell's PWD stands for it when absolute, else the home folder.
QString startFolder();

// True when the text names a drive seen earlier in the run that is no longer
// mounted, or a path below such a drive's root.
bool isVanished(const QString &textOrPath);

// Whether the server of a drive served elsewhere (see DriveInfo) answers a
// look at the drive's root within five seconds; true at once for local
// drives, and true at once within a second of a look that was answered.
// While an earlier look is still unanswered, Again waits for it once more and
// NotAgain gives up at once (for what can do without the drive).
enum class Patience { Again, NotAgain };
bool serverAnswers(const DriveInfo &drive, Patience patience);

// For a path on a drive served elsewhere (see DriveInfo), waits until the
// server answers a look at the drive's root, at most five seconds, and throws
// DeviceUnavailable when it does not; returns at once for local drives. Called
// before anything reads such a drive, so that a share whose server has gone
// gives the error box a disconnected drive gives, not a program that hangs.
void awaitServer(const QString &path);

// The folder last opened on the drive; at first the start-up folder when it
// lies on the drive, otherwise the drive's root. Throws DeviceUnavailable for
// a share whose server does not answer.
QString currentFolder(const DriveInfo &drive);
// Makes the folder the current folder of the drive that holds it.
void setCurrentFolder(const QString &folder);

// The mount table (/proc/self/mountinfo) the drives are read from; the same
// bytes, not read again, until the kernel reports a change.
QByteArray mountInfo();

// Tests replace where the mount table and labels come from, and start over.
void setSourcesForTesting(std::function<QByteArray()> mountInfo, const QString &byLabelDir);
void resetForTesting();
// Tests stand in for the look at a share's root and shorten the wait.
void setServerLookForTesting(
    std::function<void(const QString &root)> look, std::chrono::milliseconds timeout);

} // namespace drives
} // namespace vm

// Reading ahead: while the user rests on an entry of the file list, the
// entries next to it (the next first, then the previous) are read and decoded
// on a worker thread, at the size the last load asked for, so that stepping
// onto them costs no decode. The loader asks here first; what the user sees
// does not change: a prepared picture is handed out only while its file is
// provably the same file, and a read that fails is forgotten, so the user's
// own load fails as it would have, with the same error at the same moment.
//
// At most two pictures are held, never more than a quarter of physical
// memory; only JPEG and BMP files are read ahead (plain raster decoders that
// are safe off the user-interface thread). The program waits for a worker
// only when it is already decoding the very file and size the user asks for,
// and then at most two seconds before reading the file itself; nothing else
// (a folder change, the viewer's unload, the end) ever waits for one. A
// worker stuck in a read (a share whose server went silent) is left behind
// when there is new work, so that reading ahead goes on elsewhere. A worker
// touches only state that lives until the process ends, so one still running
// at exit does no harm.
#pragma once

#include <QSize>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>

#include <sys/stat.h>

#include "platform/picture.h"

namespace vm::readahead {

// For the loader: the picture prepared for exactly this name and size, when
// the file still has the device, inode, size and times that the worker saw
// on the descriptor it read. Either way the prepared picture is let go; with
// none, a read-ahead of the file not yet begun is called off, since the
// loader reads it itself.
std::optional<Picture> take(const QString &name, QSize maxSize);

// For the loader: a load the user asked for, by name and size. Neighbours are
// prepared at this size; anything prepared at another size is dropped.
void noteLoad(const QString &name, QSize maxSize);

// For the file list: the selection has rested on `current` in `folder`;
// `next` and `previous` are the names of the entries around it (empty where
// there is none). Prepares them when the last load was of `current` in that
// folder, and drops whatever else is held.
void restedOn(const QString &folder, const QString &current, const QString &next, const QString &previous);

// Drops everything prepared or being prepared (a folder change, the viewer
// unloaded). Returns at once; a running job's result is thrown away.
void dropAll();

// Off switch for measuring what reading ahead brings (on by default, and off
// when the environment sets VELMORA_NO_READAHEAD=1).
void setEnabled(bool enabled);
bool isEnabled();

// Counters since the start, for tests and the benchmark.
struct Counters {
    quint64 loaderDecodes = 0; // files the loader read and decoded for the user
    quint64 workerDecodes = 0; // files a worker read and decoded
    quint64 hits = 0; // loads served by a prepared picture
    quint64 stale = 0; // prepared pictures refused because the file changed
    quint64 jobsStarted = 0; // files a worker began on
    quint64 jobsDone = 0; // files a worker tried, whatever came of it
};
Counters counters();
void countLoaderDecode();

// Names of the pictures held now, in no particular order.
QStringList heldNames();

// Tests stand in for the worker's file read (readPictureFile by default; an
// empty function puts it back) and shorten the time after which a worker
// stuck in a read is left behind.
using FileRead = std::function<QByteArray(const QString &name, struct stat *seen)>;
void setFileReadForTesting(FileRead read, std::chrono::milliseconds stuckAfter);

// Waits until no worker runs, at most `timeoutMs`; true when idle. For tests
// and the benchmark only: the program itself never waits for a worker.
bool waitIdle(int timeoutMs);

} // namespace vm::readahead

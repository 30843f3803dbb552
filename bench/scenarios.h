// The measures, each run side by side with its baseline: the runs of the two
// alternate, so that a busy spell of the machine falls on both.
#pragma once

#include <QSize>
#include <QStringList>

#include <vector>

#include "inputs.h"
#include "report.h"

namespace bench {

struct Settings {
    int repeats = 15;
    int warmups = 2;
    QString platform; // QT_QPA_PLATFORM value for the windows and the children
    QString only; // when set, only the measures of this group ("colour", "stepping", "folders")
};

// In the real windows (this process): preview, viewer open, pan, folder fill
// and stepping through the folder with the arrow keys. Notes that are no
// ratio (allocation counts, sizes) are appended to `notes`.
// The row of a file in the browser's file list; ends the run if it is not there.
int rowOf(const QString &file);

std::vector<Row> measureWindows(const Inputs &in, const Settings &s, QStringList &notes);

// Turns reading ahead off for a measure of one open on its own, and back to
// what it was afterwards.
class ReadAheadOff {
public:
    ReadAheadOff();
    ~ReadAheadOff();
    ReadAheadOff(const ReadAheadOff &) = delete;
    ReadAheadOff &operator=(const ReadAheadOff &) = delete;

private:
    bool m_was;
};

// In the real windows: the same photo opened with and without an Adobe RGB
// profile, in the viewer and in the preview.
void measureColour(const Inputs &in, const Settings &s, std::vector<Row> &rows, QStringList &notes);

// Stepping through a folder of 24-megapixel photos with reading ahead on and
// off: Ctrl+N in the viewer, arrow keys in the file list, a held arrow key.
void measureStepping(const Inputs &in, const Settings &s, std::vector<Row> &rows, QStringList &notes);

// In child processes: start-up to the first paint, and the peak memory of
// viewing the largest photo. `browserSize` is the browser window's size.
std::vector<Row> measureProcesses(const Inputs &in, const Settings &s, QSize browserSize, QStringList &notes);

// The memory child: views `file` and prints "idle <bytes> peak <bytes>";
// with `rest`, it then rests until both neighbours are read ahead.
int memoryChild(const QString &file, bool rest);

} // namespace bench

#include "platform/readahead.h"

#include <QByteArray>
#include <QDir>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include <ctime>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/codecs/filereader.h"
#include "platform/files/filenames.h"
#include "platform/picturebytes.h"
#include "platform/runtimeerror.h"

namespace vm::readahead {

namespace {

constexpr int kMaxHeld = 2;
// How long the user's load waits for a worker already decoding the very file
// it asks for. Decoding it again beside that job would take longer on a
// machine with few cores; a worker stuck longer than this (a slow network
// share) is left to itself and the file read directly.
constexpr int kMaxWaitForJobMs = 2000;
// A worker whose read has taken longer than that is left behind when there
// is new work: a share whose server went silent mid-read holds its thread in
// the kernel until the server answers, and reading ahead everywhere else
// should not wait for that. At most this many are left behind at once, so
// stepping through a silent share does not pile up threads.
constexpr int kMaxLeftBehind = 4;

bool sameTime(const timespec &a, const timespec &b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size
        && sameTime(a.st_mtim, b.st_mtim) && sameTime(a.st_ctim, b.st_ctim);
}

bool before(const timespec &a, const timespec &b)
{
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

// File times come from the kernel's coarse clock, cut to the file system's
// resolution. A file changed within the same tick as (or after) the moment
// we began to read it may carry the very times we saw, and a later change
// in that tick would go unnoticed; such a read is not kept. On a file system
// with whole-second times (tv_nsec 0) the change must lie two seconds back,
// which covers the two-second times of FAT.
bool settledBefore(const struct stat &st, const timespec &readStart)
{
    if (st.st_ctim.tv_nsec != 0 || st.st_mtim.tv_nsec != 0)
        return before(st.st_ctim, readStart) && before(st.st_mtim, readStart);
    return st.st_ctim.tv_sec + 2 < readStart.tv_sec && st.st_mtim.tv_sec + 2 < readStart.tv_sec;
}

// The overload that also reports what it read.
QByteArray readFile(const QString &name, struct stat *seen)
{
    return readPictureFile(name, seen);
}

struct Job {
    QString name;
    QSize size;
    bool operator==(const Job &o) const { return name == o.name && size == o.size; }
};

struct Held {
    Job job;
    struct stat id { };
    Picture picture;
    qint64 bytes = 0;
};

struct State {
    std::mutex mutex;
    std::condition_variable idle;
    std::condition_variable jobDone;
    std::optional<Job> inFlight; // the job a worker is on now
    bool enabled = qEnvironmentVariableIntValue("VELMORA_NO_READAHEAD") != 1;
    quint64 epoch = 0; // bumped by dropAll: results of older jobs are thrown away
    std::vector<Job> targets; // what is wanted now, next first
    std::deque<Job> queue; // targets not yet started
    std::vector<Held> held;
    bool workerRunning = false;
    quint64 worker = 0; // number of the running worker; older ones were left behind
    int leftBehind = 0; // workers left behind whose read has not yet returned
    std::chrono::steady_clock::time_point inFlightSince;
    std::chrono::milliseconds stuckAfter { kMaxWaitForJobMs };
    FileRead read = readFile;
    QString lastName;
    QSize lastSize;
    bool haveLast = false;
    Counters counters;
};

// Never destroyed: a detached worker may still be decoding when the process
// ends, and must not find its state gone.
State &state()
{
    static State *s = new State;
    return *s;
}

qint64 memoryBudget()
{
    static const qint64 budget = [] {
        const long pages = ::sysconf(_SC_PHYS_PAGES);
        const long pageSize = ::sysconf(_SC_PAGESIZE);
        return pages > 0 && pageSize > 0 ? qint64(pages) * pageSize / 4 : qint64(512) * 1024 * 1024;
    }();
    return budget;
}

bool isTarget(const State &s, const Job &job)
{
    return std::find(s.targets.begin(), s.targets.end(), job) != s.targets.end();
}

// Only the plain raster decoders run off the user-interface thread: the
// metafile player draws text, which needs the font machinery of the GUI
// thread, and small icons and GIFs gain little.
bool worthReadingAhead(const QByteArray &bytes)
{
    return bytes.startsWith("\xFF\xD8") || bytes.startsWith("BM");
}

// Reads and decodes one file; nothing on any failure, which the user's own
// load will then meet and report.
std::optional<Held> prepare(const Job &job, const FileRead &read)
{
    try {
        timespec readStart {};
        clock_gettime(CLOCK_REALTIME_COARSE, &readStart);
        struct stat seen { };
        const QByteArray bytes = read(job.name, &seen);
        if (!worthReadingAhead(bytes) || !settledBefore(seen, readStart))
            return std::nullopt;
        Held held;
        held.picture = pictureFromBytes(bytes, job.size);
        {
            std::lock_guard lock(state().mutex);
            ++state().counters.workerDecodes;
        }
        held.job = job;
        held.id = seen;
        held.bytes = held.picture.image().sizeInBytes();
        return held;
    } catch (...) {
        return std::nullopt;
    }
}

void work(quint64 self)
{
    State &s = state();
    for (;;) {
        Job job;
        quint64 epoch = 0;
        FileRead read;
        {
            std::lock_guard lock(s.mutex);
            if (s.queue.empty() || !s.enabled) {
                s.queue.clear();
                s.workerRunning = false;
                s.idle.notify_all();
                return;
            }
            job = s.queue.front();
            s.queue.pop_front();
            epoch = s.epoch;
            s.inFlight = job;
            s.inFlightSince = std::chrono::steady_clock::now();
            read = s.read;
            ++s.counters.jobsStarted;
        }
        std::optional<Held> result = prepare(job, read);
        std::lock_guard lock(s.mutex);
        ++s.counters.jobsDone;
        if (self != s.worker) {
            // Left behind while stuck: another worker has the queue now.
            --s.leftBehind;
            return;
        }
        s.inFlight.reset();
        if (result && epoch == s.epoch && isTarget(s, job) && int(s.held.size()) < kMaxHeld) {
            qint64 total = result->bytes;
            for (const Held &h : s.held)
                total += h.bytes;
            if (total <= memoryBudget())
                s.held.push_back(std::move(*result));
        }
        s.jobDone.notify_all();
    }
}

// The running worker has been on one file too long to wait for, and there
// is room to leave it behind.
bool mayLeaveBehind(const State &s)
{
    return s.inFlight && std::chrono::steady_clock::now() - s.inFlightSince > s.stuckAfter
        && s.leftBehind < kMaxLeftBehind;
}

// Starts a worker when there is work and none runs, or the one that runs is
// stuck. Called with the lock held.
void startWorker(State &s)
{
    if (s.queue.empty() || !s.enabled || (s.workerRunning && !mayLeaveBehind(s)))
        return;
    try {
        std::thread(work, s.worker + 1).detach();
        if (s.workerRunning) {
            ++s.leftBehind;
            s.inFlight.reset();
        }
        ++s.worker;
        s.workerRunning = true;
    } catch (const std::system_error &) {
        s.queue.clear(); // no thread to be had: the user's loads work as ever
    }
}

} // namespace

std::optional<Picture> take(const QString &name, QSize maxSize)
{
    State &s = state();
    Held found;
    {
        std::unique_lock lock(s.mutex);
        const Job job { name, maxSize };
        // A worker already on this very file is further along than a fresh
        // read would be: wait for it, a while.
        if (s.inFlight && *s.inFlight == job) {
            const quint64 epoch = s.epoch;
            s.jobDone.wait_for(lock, std::chrono::milliseconds(kMaxWaitForJobMs),
                [&] { return !(s.inFlight && *s.inFlight == job) || s.epoch != epoch; });
        }
        auto it = std::find_if(s.held.begin(), s.held.end(), [&](const Held &h) { return h.job == job; });
        if (it == s.held.end()) {
            // The caller reads the file itself now; a worker must not read it
            // again behind it.
            std::erase(s.queue, job);
            return std::nullopt;
        }
        found = std::move(*it);
        s.held.erase(it);
    }
    struct stat now { };
    const bool same = ::stat(filenames::nativePath(name).constData(), &now) == 0 && sameFile(now, found.id);
    std::lock_guard lock(s.mutex);
    if (!same) {
        ++s.counters.stale;
        return std::nullopt;
    }
    ++s.counters.hits;
    return std::move(found.picture);
}

void noteLoad(const QString &name, QSize maxSize)
{
    State &s = state();
    std::lock_guard lock(s.mutex);
    s.lastName = name;
    s.lastSize = maxSize;
    s.haveLast = true;
    // The other window's size: what was prepared for it is of no use now.
    std::erase_if(s.held, [&](const Held &h) { return h.job.size != maxSize; });
    std::erase_if(s.queue, [&](const Job &j) { return j.size != maxSize; });
    std::erase_if(s.targets, [&](const Job &j) { return j.size != maxSize; });
}

void restedOn(const QString &folder, const QString &current, const QString &next, const QString &previous)
{
    State &s = state();
    std::lock_guard lock(s.mutex);
    s.targets.clear();
    s.queue.clear();
    // The last load must have been of this very entry: its name gives the
    // form of the path the windows build, which the neighbours share.
    QString prefix;
    if (s.enabled && s.haveLast && !current.isEmpty() && s.lastName.endsWith(current)) {
        prefix = s.lastName.left(s.lastName.size() - current.size());
        if (!prefix.endsWith(QLatin1Char('/')) || QDir::cleanPath(prefix) != QDir::cleanPath(folder))
            prefix.clear();
    }
    if (!prefix.isEmpty()) {
        for (const QString &name : { next, previous }) {
            if (!name.isEmpty())
                s.targets.push_back({ prefix + name, s.lastSize });
        }
    }
    std::erase_if(s.held, [&](const Held &h) { return !isTarget(s, h.job); });
    for (const Job &job : s.targets) {
        const bool held
            = std::any_of(s.held.begin(), s.held.end(), [&](const Held &h) { return h.job == job; });
        if (!held)
            s.queue.push_back(job);
    }
    startWorker(s);
}

void dropAll()
{
    State &s = state();
    std::vector<Held> gone;
    {
        std::lock_guard lock(s.mutex);
        ++s.epoch;
        s.targets.clear();
        s.queue.clear();
        gone.swap(s.held);
    }
    // `gone` frees the rasters here, outside the lock.
}

void setEnabled(bool enabled)
{
    State &s = state();
    {
        std::lock_guard lock(s.mutex);
        s.enabled = enabled;
    }
    if (!enabled)
        dropAll();
}

bool isEnabled()
{
    std::lock_guard lock(state().mutex);
    return state().enabled;
}

Counters counters()
{
    std::lock_guard lock(state().mutex);
    return state().counters;
}

void countLoaderDecode()
{
    std::lock_guard lock(state().mutex);
    ++state().counters.loaderDecodes;
}

QStringList heldNames()
{
    std::lock_guard lock(state().mutex);
    QStringList names;
    for (const Held &h : state().held)
        names << h.job.name;
    return names;
}

void setFileReadForTesting(FileRead read, std::chrono::milliseconds stuckAfter)
{
    std::lock_guard lock(state().mutex);
    state().read = read ? std::move(read) : FileRead(readFile);
    state().stuckAfter = stuckAfter;
}

bool waitIdle(int timeoutMs)
{
    State &s = state();
    std::unique_lock lock(s.mutex);
    return s.idle.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return !s.workerRunning; });
}

} // namespace vm::readahead

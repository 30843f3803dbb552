// Measures that need a process of their own: start-up to the first paint,
// and the peak memory of viewing a photo.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QtTest>

#include <cstdio>

#include <sys/resource.h>

#include "browser/form1.h"
#include "platform/readahead.h"
#include "scenarios.h"
#include "support/recorder.h"
#include "support/windows.h"
#include "viewer/form2.h"

namespace bench {

namespace {

// CPU time of the children that ended so far, in ms.
double childrenCpuMs()
{
    rusage usage {};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto ms = [](const timeval &t) { return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// Time from starting the program to its end, and the CPU time it used;
// a wall time of -1 when it failed.
Timing runToEnd(
    const QString &program, const QStringList &args, const QString &folder, const QString &platform)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    env.insert(QStringLiteral("VELMORA_EXIT_AFTER_FIRST_PAINT"), QStringLiteral("1"));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(folder);
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const double cpu = childrenCpuMs();
    QElapsedTimer t;
    t.start();
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return { -1, 0 };
    const double wall = elapsedMs(t);
    return { wall, childrenCpuMs() - cpu };
}

qint64 statusBytes(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qsizetype(qstrlen(field))).trimmed().split(' ').first().toLongLong() * 1024;
    }
    return -1;
}

} // namespace

int memoryChild(const QString &file, bool rest)
{
    vmtest::startProgram();
    vmtest::MsgBoxRecorder boxes;
    vmtest::openFolder(QFileInfo(file).absolutePath());
    QCoreApplication::processEvents();
    const qint64 idle = statusBytes("VmHWM:");
    int row = -1;
    for (int i = 0; i < Form1->File1->ListCount(); ++i) {
        if (Form1->File1->List(i) == QFileInfo(file).fileName())
            row = i;
    }
    if (row < 0)
        return 1;
    vmtest::doubleClickFile(row);
    QCoreApplication::processEvents();
    if (!Form2.isLoaded() || !Form2->isVisible() || boxes.errorBoxes() != 0)
        return 1;
    if (rest) {
        QElapsedTimer waited;
        waited.start();
        while (vm::readahead::heldNames().size() != 2 && waited.elapsed() < 30000)
            QTest::qWait(20);
        if (vm::readahead::heldNames().size() != 2)
            return 1;
    }
    const qint64 peak = statusBytes("VmHWM:");
    std::printf("idle %lld peak %lld\n", static_cast<long long>(idle), static_cast<long long>(peak));
    vmtest::stopProgram();
    return 0;
}

std::vector<Row> measureProcesses(const Inputs &in, const Settings &s, QSize browserSize, QStringList &notes)
{
    std::vector<Row> rows;
    Series velmora { QStringLiteral("Velmora") };
    Series bare { QStringLiteral("bare Qt window, one line of Japanese") };
    const QStringList bareArgs
        = { QString::number(browserSize.width()), QString::number(browserSize.height()) };
    const int runs = s.warmups + std::max(5, s.repeats / 2);
    for (int i = 0; i < runs; ++i) {
        const Timing ours = runToEnd(QStringLiteral(VELMORA_PROGRAM), {}, in.pictures, s.platform);
        const Timing base = runToEnd(QStringLiteral(VELMORA_BARE_WINDOW), bareArgs, in.pictures, s.platform);
        if (ours.wall < 0 || base.wall < 0) {
            notes << QStringLiteral("**Start-up: a program did not end after its first paint.**");
            break;
        }
        if (i >= s.warmups) {
            velmora.add(ours);
            bare.add(base);
        }
    }
    rows.push_back({ QStringLiteral("Start-up to first paint"), velmora, bare, 1.5 });

    // Memory: (peak - idle) of a child that views the photo, against the
    // photo's own raster bytes; then of one that rests in a folder of such
    // photos until both neighbours are read ahead, against three rasters.
    const double rasterMb = 6000.0 * 4000 * 4 / 1e6;
    for (const bool resting : { false, true }) {
        Series extra { QStringLiteral("Velmora peak - idle") };
        Series raster { resting ? QStringLiteral("3 rasters (shown + 2 read ahead)")
                                : QStringLiteral("raster bytes (6000x4000x4)") };
        Series idle { QStringLiteral("idle") };
        const QString file = resting
            ? QFileInfo(in.pictures).absolutePath() + QStringLiteral("/photos/IMG_1001.jpg")
            : in.photo24mp;
        for (int i = 0; i < 3; ++i) {
            QProcess p;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), s.platform);
            p.setProcessEnvironment(env);
            p.setProcessChannelMode(QProcess::SeparateChannels);
            p.start(QCoreApplication::applicationFilePath(),
                { resting ? QStringLiteral("--memory-child-rest") : QStringLiteral("--memory-child"), file });
            long long idleBytes = 0;
            long long peakBytes = 0;
            if (!p.waitForFinished(120000) || p.exitCode() != 0
                || std::sscanf(
                       p.readAllStandardOutput().constData(), "idle %lld peak %lld", &idleBytes, &peakBytes)
                    != 2) {
                notes << QStringLiteral("**Memory: the child process failed.**");
                break;
            }
            extra.add(double(peakBytes - idleBytes) / 1e6);
            idle.add(double(idleBytes) / 1e6);
            raster.add(resting ? 3 * rasterMb : rasterMb);
        }
        rows.push_back({ resting ? QStringLiteral("Peak memory viewing 6000x4000, neighbours read ahead")
                                 : QStringLiteral("Peak memory viewing 6000x4000"),
            extra, raster, 1.5, QStringLiteral("MB") });
        if (!resting)
            notes << QStringLiteral("Memory: idle footprint %1 MB (peak resident before any picture).")
                         .arg(idle.median(), 0, 'f', 1);
    }
    return rows;
}

} // namespace bench

// Results of the benchmark: repeated timings, the rows of the table that
// compare each measure with its baseline, and the table and chart made of them.
#pragma once

#include <QElapsedTimer>
#include <QString>

#include <ctime>
#include <vector>

namespace bench {

// One run: its wall-clock time and the CPU time of this thread, both in ms.
// The CPU time shows the cost of the work apart from what else the machine
// is doing at the moment.
struct Timing {
    double wall = 0;
    double cpu = 0;
};

// Repeated measurements of one thing, in one unit.
struct Series {
    explicit Series(QString seriesName = {})
        : name(std::move(seriesName))
    {
    }

    QString name;
    std::vector<double> values;
    std::vector<double> cpu; // empty where CPU time means nothing

    void add(double v) { values.push_back(v); }
    void add(Timing t)
    {
        values.push_back(t.wall);
        cpu.push_back(t.cpu);
    }
    double median() const { return medianOf(values); }
    double cpuMedian() const { return medianOf(cpu); }
    double min() const;
    double max() const;

    static double medianOf(std::vector<double> v);
};

// One measure against one baseline. The goal is met when the ratio of the
// medians (ours / baseline) is at most `goal`; a goal of 0 is for information.
struct Row {
    QString measure;
    Series ours;
    Series baseline;
    double goal = 0;
    QString unit = QStringLiteral("ms");

    double ratio() const;
    double cpuRatio() const { return ours.cpuMedian() / baseline.cpuMedian(); }
    bool met() const { return goal <= 0 || ratio() <= goal; }
};

// Milliseconds since `timer` started, with sub-millisecond resolution.
inline double elapsedMs(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

inline double threadCpuMs()
{
    timespec t {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

template <typename Work> Timing timed(Work &&work)
{
    QElapsedTimer wall;
    const double cpu = threadCpuMs();
    wall.start();
    work();
    return { elapsedMs(wall), threadCpuMs() - cpu };
}

// The table in Markdown, as printed and as pasted into the README.
QString markdownTable(const std::vector<Row> &rows);
// A horizontal bar chart of the ratios with the goals marked.
bool writeChart(const std::vector<Row> &rows, const QString &file, const QString &machine);

} // namespace bench

// velmora_bench: the side-by-side benchmark. Makes its own inputs, measures
// each thing a user feels against its best baseline in the same run, prints
// the table (medians, min, max, ratio) and draws it as a bar chart.
//
//   velmora_bench [--repeats N] [--out FOLDER] [--only colour|stepping|folders]
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>
#include <stdexcept>

#include "app/application.h"
#include "viewer/form2.h"
#include "browser/form1.h"
#include "inputs.h"
#include "scenarios.h"
#include "support/windows.h"

namespace {

QString machineName()
{
    QFile cpu(QStringLiteral("/proc/cpuinfo"));
    if (cpu.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : cpu.readAll().split('\n')) {
            if (line.startsWith("model name"))
                return QString::fromUtf8(line.mid(line.indexOf(':') + 1).trimmed());
        }
    }
    return QStringLiteral("unknown machine");
}

// A 1920 x 1200 offscreen screen at 96 dpi, so the viewer's view is at
// least full HD wherever the benchmark runs.
QString offscreenPlatform(const QString &folder)
{
    const QString config = folder + QStringLiteral("/screen.json");
    QFile f(config);
    if (f.open(QIODevice::WriteOnly)) {
        f.write(R"({"screens": [{"name": "bench", "x": 0, "y": 0, "width": 1920, "height": 1200,
                    "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
    }
    return QStringLiteral("offscreen:configfile=") + config;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3
        && (qstrcmp(argv[1], "--memory-child") == 0 || qstrcmp(argv[1], "--memory-child-rest") == 0)) {
        const bool rest = qstrcmp(argv[1], "--memory-child-rest") == 0;
        QApplication application(argc, argv);
        return bench::memoryChild(QString::fromLocal8Bit(argv[2]), rest);
    }

    QTemporaryDir work;
    if (!work.isValid())
        return 1;
    bench::Settings settings;
    QString out = QDir::currentPath();
    for (int i = 1; i + 1 < argc; i += 2) {
        if (qstrcmp(argv[i], "--repeats") == 0)
            settings.repeats = std::max(3, atoi(argv[i + 1]));
        else if (qstrcmp(argv[i], "--out") == 0)
            out = QString::fromLocal8Bit(argv[i + 1]);
        else if (qstrcmp(argv[i], "--only") == 0)
            settings.only = QString::fromLocal8Bit(argv[i + 1]);
    }
    settings.platform = offscreenPlatform(work.path());
    qputenv("QT_QPA_PLATFORM", settings.platform.toLocal8Bit());
    qputenv("QT_LOGGING_RULES", "qt.qpa.*=false");
    QApplication application(argc, argv);
    app::configure(application);

    QTextStream console(stdout);
    console << "Making the inputs in " << work.path() << " ..." << Qt::endl;
    bench::Inputs inputs;
    try {
        inputs = bench::makeInputs(work.path());
    } catch (const std::exception &e) {
        std::fprintf(stderr, "velmora_bench: %s\n", e.what());
        return 1;
    }

    QStringList notes;
    console << "Measuring in the windows ..." << Qt::endl;
    std::vector<bench::Row> rows = bench::measureWindows(inputs, settings, notes);
    vmtest::startProgram();
    const QSize browserSize = Form1->size();
    vmtest::stopProgram();
    if (settings.only.isEmpty()) {
        console << "Measuring start-up and memory ..." << Qt::endl;
        for (bench::Row &r : bench::measureProcesses(inputs, settings, browserSize, notes))
            rows.push_back(std::move(r));
    }

    const QString machine = machineName();
    QString report = QStringLiteral("Machine: %1, %2 repeats, medians of the same run.\n\n")
                         .arg(machine)
                         .arg(settings.repeats);
    report += bench::markdownTable(rows);
    report += QLatin1Char('\n');
    for (const QString &note : notes)
        report += QStringLiteral("- ") + note + QLatin1Char('\n');
    console << '\n' << report << Qt::flush;

    QDir().mkpath(out);
    QFile md(out + QStringLiteral("/results.md"));
    if (md.open(QIODevice::WriteOnly))
        md.write(report.toUtf8());
    if (!bench::writeChart(rows, out + QStringLiteral("/results.png"), machine))
        std::fprintf(stderr, "velmora_bench: cannot write the chart\n");
    int missed = 0;
    for (const bench::Row &r : rows)
        missed += r.met() ? 0 : 1;
    console << missed << " goal(s) missed; table in " << out << "/results.md, chart in " << out
            << "/results.png" << Qt::endl;
    return 0;
}

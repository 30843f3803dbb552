// Stepping through a folder of camera photos: Ctrl+N in the viewer and the
// arrow keys in the file list with the user resting on each picture, and an
// arrow key held down. Each against reading ahead turned off, and against
// the frame or the delay a user notices.
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QKeyEvent>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "browser/form1.h"
#include "platform/readahead.h"
#include "scenarios.h"
#include "support/recorder.h"
#include "support/windows.h"
#include "viewer/form2.h"

namespace bench {

namespace {

qint64 steadyMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

double steadyMsF()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

// Lets the program run for `ms` as a resting user would.
void rest(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The next index of a walk that turns at both ends of a list of `count`.
int walk(int index, int &direction, int count)
{
    if (index + direction < 0 || index + direction >= count)
        direction = -direction;
    return index + direction;
}

// Walks `count` files back and forth, resting `restMs` before each step and
// timing `step` (forwards or backwards); `arrived` checks that a step reached
// the index it aimed at.
Series timedWalk(const Settings &s, int count, int restMs, bool &right, const std::function<void(bool)> &step,
    const std::function<bool(int)> &arrived)
{
    Series steps { QStringLiteral("Velmora") };
    int index = 0;
    int direction = 1;
    for (int i = 0; i < s.warmups + s.repeats; ++i) {
        rest(restMs);
        const int to = walk(index, direction, count);
        const Timing ms = timed([&] {
            step(direction > 0);
            QCoreApplication::processEvents();
        });
        index = to;
        right = right && arrived(index);
        if (i >= s.warmups)
            steps.add(ms);
    }
    return steps;
}

Series viewerSteps(const Settings &s, int count, int restMs, bool &right)
{
    vmtest::clickFile(0);
    vmtest::doubleClickFile(0);
    QCoreApplication::processEvents();
    const Series steps = timedWalk(
        s, count, restMs, right,
        [](bool forward) { vmtest::triggerMenu("Form2", forward ? "NextMenu" : "BackMenu"); },
        [](int index) {
            return Form1->File1->ListIndex() == index && Form2->Caption() == Form1->File1->FileName()
                && !Form2->Image1->Picture().isNull();
        });
    vmtest::triggerMenu("Form2", "ChanceViewMenu");
    QCoreApplication::processEvents();
    return steps;
}

Series arrowSteps(const Settings &s, int count, int restMs, bool &right)
{
    vmtest::clickFile(0);
    Form1->File1->setFocus();
    return timedWalk(
        s, count, restMs, right,
        [](bool forward) { QTest::keyClick(Form1->File1, forward ? Qt::Key_Down : Qt::Key_Up); },
        [](int index) {
            return Form1->File1->ListIndex() == index
                && Form1->Text1->Text() == CurrentFilePath(*Form1->File1);
        });
}

// Holds Down for one second at 30 repeats a second, from another thread so
// that the repeats queue up while the program is busy as real ones do;
// returns the time from the release to the program's first idle moment.
double holdArrow(int repeats, bool &right)
{
    vmtest::clickFile(0);
    Form1->File1->setFocus();
    rest(300);
    QCoreApplication::processEvents();
    const int start = Form1->File1->ListIndex();
    std::atomic<double> released { -1 };
    double idleAt = -1;
    auto *dispatcher = QAbstractEventDispatcher::instance();
    const auto connection = QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, [&] {
        const double r = released.load();
        if (r >= 0 && idleAt < 0)
            idleAt = steadyMsF();
    });
    QPointer<QWidget> list = Form1->File1;
    std::thread keys([&] {
        const auto first = std::chrono::steady_clock::now();
        for (int k = 0; k < repeats; ++k) {
            std::this_thread::sleep_until(first + std::chrono::microseconds(k * 1'000'000 / repeats));
            auto *e = new QKeyEvent(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier, QString(), k > 0);
            e->setTimestamp(quint64(steadyMs()));
            QCoreApplication::postEvent(list.data(), e);
        }
        std::this_thread::sleep_until(first + std::chrono::seconds(1));
        released.store(steadyMsF());
        // Wakes the loop, so that one already idle reports it.
        QMetaObject::invokeMethod(
            qApp, [] {}, Qt::QueuedConnection);
    });
    QEventLoop loop;
    QTimer::singleShot(2500, &loop, &QEventLoop::quit);
    loop.exec();
    keys.join();
    QObject::disconnect(connection);
    right = right && Form1->File1->ListIndex() == start + repeats
        && Form1->Text1->Text() == CurrentFilePath(*Form1->File1);
    return idleAt < 0 ? 2500 : std::max(0.0, idleAt - released.load());
}

// A folder of `count` 24-megapixel photos (copies of the benchmark's one).
QString photoFolder(const Inputs &in, int count)
{
    const QString folder = QFileInfo(in.pictures).absolutePath() + QStringLiteral("/photos");
    QDir().mkpath(folder);
    for (int i = 0; i < count; ++i)
        QFile::copy(in.photo24mp, folder + QStringLiteral("/IMG_%1.jpg").arg(1000 + i));
    return folder;
}

} // namespace

void measureStepping(const Inputs &in, const Settings &s, std::vector<Row> &rows, QStringList &notes)
{
    const int count = 8;
    const QString folder = photoFolder(in, 40);
    vmtest::MsgBoxRecorder boxes;
    bool right = true;
    const double frame = 1000.0 / 60;

    struct Case {
        QString label;
        bool viewer;
        int restMs;
    };
    for (const Case &c :
        { Case { QStringLiteral("Ctrl+N in the viewer, 6000x4000, resting 0.5 s"), true, 500 },
            Case { QStringLiteral("Arrow key in the file list, 6000x4000, resting 0.3 s"), false, 300 } }) {
        Series on { QStringLiteral("Velmora") };
        Series off { QStringLiteral("reading ahead off") };
        vm::readahead::setEnabled(false);
        vmtest::openFolder(in.pictures);
        vmtest::openFolder(folder);
        off = c.viewer ? viewerSteps(s, count, c.restMs, right) : arrowSteps(s, count, c.restMs, right);
        off.name = QStringLiteral("reading ahead off");
        vm::readahead::setEnabled(true);
        vmtest::openFolder(in.pictures);
        vmtest::openFolder(folder);
        on = c.viewer ? viewerSteps(s, count, c.restMs, right) : arrowSteps(s, count, c.restMs, right);
        Series budget { QStringLiteral("one frame at 60 Hz") };
        for (size_t i = 0; i < on.values.size(); ++i)
            budget.add(frame);
        rows.push_back({ c.label, on, budget, 1.0 });
        rows.push_back({ c.label, on, off, 0.0 });
    }

    vmtest::openFolder(folder);
    Series held { QStringLiteral("Velmora") };
    Series budget { QStringLiteral("100 ms") };
    for (int i = 0; i < 5; ++i) {
        vmtest::openFolder(in.pictures);
        vmtest::openFolder(folder);
        held.add(holdArrow(30, right));
        budget.add(100.0);
    }
    rows.push_back(
        { QStringLiteral("Arrow held 1 s at 30/s, 6000x4000: release to idle"), held, budget, 1.0 });
    const vm::readahead::Counters c = vm::readahead::counters();
    notes << QStringLiteral(
        "Reading ahead over the run: %1 loads served ahead, %2 refused as stale, %3 worker "
        "decodes, %4 decodes for the user.")
                 .arg(c.hits)
                 .arg(c.stale)
                 .arg(c.workerDecodes)
                 .arg(c.loaderDecodes);
    if (!right || boxes.errorBoxes() != 0)
        notes << QStringLiteral("**Stepping: the selection, the path box or the picture was wrong.**");
}

ReadAheadOff::ReadAheadOff()
    : m_was(vm::readahead::isEnabled())
{
    vm::readahead::setEnabled(false);
    vm::readahead::waitIdle(30000); // a job already started finishes first
}

ReadAheadOff::~ReadAheadOff()
{
    vm::readahead::setEnabled(m_was);
}

} // namespace bench

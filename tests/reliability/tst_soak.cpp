// Many previews and viewer round trips over the shared corpus, good and
// broken files alike: the program keeps working and its resident memory
// does not creep. A short run is part of the test suite; scripts/soak runs
// the long one (VELMORA_SOAK_PREVIEWS, VELMORA_SOAK_ROUNDTRIPS).
#include <QDirIterator>
#include <QElapsedTimer>
#include <QtTest>

#include <cstdio>
#include <malloc.h>

#include "browser/form1.h"
#include "support/hostile.h"
#include "support/recorder.h"
#include "support/testsupport.h"
#include "support/windows.h"
#include "viewer/form2.h"

using namespace vmtest;

namespace {

int fromEnvironment(const char *name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok && value >= 0 ? value : fallback;
}

// Every corpus folder that holds pictures, in a fixed order.
QStringList pictureFolders(const QString &corpus)
{
    QStringList folders;
    QDirIterator it(corpus, QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString folder = it.next();
        if (!QDir(folder).entryList(QDir::Files).isEmpty())
            folders.append(folder);
    }
    folders.sort();
    return folders;
}

void settle()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

} // namespace

class TestSoak : public QObject {
    Q_OBJECT

    QStringList m_folders;
    int m_folder = -1;
    int m_row = 0;

    // Moves to the next corpus file, opening the next folder when one ends.
    void selectNextFile()
    {
        while (m_folder < 0 || m_row >= Form1->File1->ListCount()) {
            m_folder = (m_folder + 1) % int(m_folders.size());
            m_row = 0;
            openFolder(m_folders[m_folder]);
        }
        Form1->File1->setListIndex(m_row++);
    }

    void preview(int count)
    {
        for (int i = 0; i < count; ++i) {
            selectNextFile();
            Form1->File1_Click();
            if (i % 50 == 0)
                settle();
        }
    }

    void roundTrips(int count)
    {
        for (int i = 0; i < count; ++i) {
            selectNextFile();
            Q_EMIT Form1->File1->DblClick();
            QVERIFY(Form2.isLoaded());
            triggerMenu("Form2", "ChanceViewMenu");
            QVERIFY(!Form2.isLoaded());
            QVERIFY(Form1->isVisible());
            settle();
        }
    }

    // Shows the corpus's first file, so that the preview holds the same
    // picture whenever memory is measured. Returns the resident memory as it
    // is, then after handing the allocator's free pages back: glibc keeps
    // freed picture buffers mapped (its mmap threshold rises after the first
    // large free), which is no growth of ours.
    QPair<double, double> residentAtRest()
    {
        m_folder = -1;
        m_row = 0;
        selectNextFile();
        Form1->File1_Click();
        settle();
        const double raw = residentMb();
        malloc_trim(0);
        return { raw, residentMb() };
    }

private Q_SLOTS:
    void initTestCase()
    {
        const QString corpus = corpusDir();
        if (corpus.isEmpty())
            QSKIP("the shared corpus is not present");
        // Broken pictures make the toolkit's image readers chatter.
        QLoggingCategory::setFilterRules(QStringLiteral("qt.gui.imageio=false\nqt.qpa.*=false"));
        m_folders = pictureFolders(corpus);
        QVERIFY(!m_folders.isEmpty());
    }

    void previewsAndRoundTripsKeepMemoryFlat()
    {
        const int previews = fromEnvironment("VELMORA_SOAK_PREVIEWS", 400);
        const int trips = fromEnvironment("VELMORA_SOAK_ROUNDTRIPS", 40);
        const double allowedGrowthMb = 5.0;

        startProgram();
        MsgBoxRecorder boxes;
        // One pass over every file first: plug-ins, fonts and caches that
        // load once are not growth.
        preview(1000);
        roundTrips(20);
        const auto [startRawMb, startMb] = residentAtRest();
        boxes.clear();

        QElapsedTimer timer;
        timer.start();
        preview(previews);
        roundTrips(trips);
        const int reported = boxes.count();
        const auto [endRawMb, endMb] = residentAtRest();
        std::fprintf(stderr,
            "%d previews and %d viewer round trips in %.1f s, %d error boxes; "
            "resident memory %.1f MB at the start, %.1f MB at the end (before returning free heap pages: "
            "%.1f and %.1f MB), peak %.1f MB\n",
            previews, trips, timer.elapsed() / 1000.0, reported, startMb, endMb, startRawMb, endRawMb,
            peakResidentMb());

        QCOMPARE(boxes.errorBoxes(), boxes.count()); // nothing but error boxes
        QVERIFY(Form1->isVisible());
        QVERIFY(!Form2.isLoaded());
        // The sanitizer's quarantine holds freed memory on purpose; there the
        // leak checker at exit does this job.
        if (!sanitizedBuild())
            QVERIFY2(endMb - startMb <= allowedGrowthMb,
                qPrintable(QStringLiteral("grew by %1 MB").arg(endMb - startMb)));
        stopProgram();
    }
};

QTEST_MAIN(TestSoak)
#include "tst_soak.moc"

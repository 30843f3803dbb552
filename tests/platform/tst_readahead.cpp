// Reading ahead: the neighbours of a resting selection are prepared and used
// without a second decode, and nothing the user sees changes: a file changed,
// removed or made unreadable after it was read ahead is loaded again (or
// fails exactly as it would have), a failed read is never kept, and a folder
// or size change drops what was prepared.
#include <QTemporaryDir>
#include <QtTest>

#include <condition_variable>
#include <memory>
#include <mutex>

#include <fcntl.h>
#include <sys/stat.h>

#include "platform/codecs/filereader.h"
#include "platform/controls/filelistbox.h"
#include "platform/picture.h"
#include "platform/picturebytes.h"
#include "platform/readahead.h"
#include "platform/runtimeerror.h"
#include "support/fixtures.h"

using namespace vmtest;
namespace ra = vm::readahead;

namespace {

struct Outcome {
    bool loaded = false;
    QImage image;
    QSize extent;
    int error = 0;
    QString description;
    bool operator==(const Outcome &o) const
    {
        return loaded == o.loaded && image == o.image && extent == o.extent && error == o.error
            && description == o.description;
    }
};

Outcome load(const QString &path, QSize size)
{
    Outcome o;
    try {
        const vm::Picture p = vm::LoadPictureForSize(path, size);
        o.loaded = true;
        o.image = p.image();
        o.extent = p.extent();
    } catch (const vm::RuntimeError &e) {
        o.error = e.Number();
        o.description = e.Description();
    }
    return o;
}

// What the loader gives with nothing read ahead.
Outcome loadPlain(const QString &path, QSize size)
{
    ra::setEnabled(false);
    const Outcome o = load(path, size);
    ra::setEnabled(true);
    return o;
}

void writeJpeg(const QString &path, int w, int h, QColor colour)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    QVERIFY(image.save(path, "JPEG", 90));
}

} // namespace

class TestReadAhead : public QObject {
    Q_OBJECT

    ScratchFolder m_tmp;

    // A fresh folder holding a.bmp, b.jpg, c.bmp, d.jpg (red pictures).
    QString makeFolder()
    {
        const QString folder = m_tmp.newFolder();
        writeBmp(folder + QStringLiteral("/a.bmp"), 64, 48);
        writeJpeg(folder + QStringLiteral("/b.jpg"), 320, 240, Qt::red);
        writeBmp(folder + QStringLiteral("/c.bmp"), 64, 48);
        writeJpeg(folder + QStringLiteral("/d.jpg"), 320, 240, Qt::red);
        return folder;
    }

    // Loads entry `row` as a window would, selects it, and returns once the
    // worker has tried the `jobs` neighbours that the rest asks for.
    void restOn(vm::FileListBox &list, int row, QSize size, int jobs)
    {
        const quint64 before = ra::counters().jobsDone;
        (void)load(list.Path() + QLatin1Char('/') + list.List(row), size);
        list.setListIndex(row);
        QTRY_COMPARE(ra::counters().jobsDone, before + quint64(jobs));
        QVERIFY(ra::waitIdle(10000));
    }

    // Polls every millisecond until a worker has taken a job since `since`,
    // and returns that one reading of the counters (QTRY's 50 ms steps can
    // miss a whole decode; a worker thread that runs has not necessarily
    // taken its job yet). The rest is noticed on a timer, hence the events.
    static ra::Counters waitForAJobToStart(const ra::Counters &since)
    {
        QElapsedTimer waited;
        waited.start();
        ra::Counters now = ra::counters();
        while (now.jobsStarted == since.jobsStarted && waited.elapsed() < 5000) {
            QCoreApplication::processEvents();
            QThread::msleep(1);
            now = ra::counters();
        }
        return now;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_tmp.isValid()); }
    void cleanup() { ra::dropAll(); }

    void neighboursArePreparedAfterARestAndUsedWithoutASecondDecode_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("viewer, full size") << QSize();
        QTest::newRow("browser, preview size") << QSize(80, 60);
    }
    void neighboursArePreparedAfterARestAndUsedWithoutASecondDecode()
    {
        QFETCH(QSize, size);
        vm::FileListBox list;
        list.setPath(makeFolder());
        restOn(list, 1, size, 2);
        const QString next = list.Path() + QStringLiteral("/c.bmp");
        const QString previous = list.Path() + QStringLiteral("/a.bmp");
        const QStringList held = ra::heldNames();
        QCOMPARE(QSet<QString>(held.begin(), held.end()), QSet<QString>({ next, previous }));

        const ra::Counters before = ra::counters();
        const Outcome got = load(next, size);
        QCOMPARE(ra::counters().hits, before.hits + 1);
        QCOMPARE(ra::counters().loaderDecodes, before.loaderDecodes);
        QFile file(next);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const vm::Picture direct = vm::pictureFromBytes(file.readAll(), size);
        QCOMPARE(got.image, direct.image());
        QCOMPARE(got.extent, direct.extent());
        QCOMPARE(ra::heldNames(), QStringList { previous });

        // Stepping on: the new neighbours are prepared, and only they are held.
        restOn(list, 2, size, 2);
        const QStringList after = ra::heldNames();
        QCOMPARE(QSet<QString>(after.begin(), after.end()),
            QSet<QString>(
                { list.Path() + QStringLiteral("/d.jpg"), list.Path() + QStringLiteral("/b.jpg") }));
    }

    void aStepOntoAFileStillBeingReadAheadWaitsForIt()
    {
        const QString folder = m_tmp.newFolder(QStringLiteral("inflight"));
        writeBmp(folder + QStringLiteral("/a.bmp"), 64, 48);
        writeJpeg(
            folder + QStringLiteral("/b.jpg"), 5000, 4000, Qt::darkGreen); // long enough to catch in flight
        vm::FileListBox list;
        list.setPath(folder);
        (void)load(folder + QStringLiteral("/a.bmp"), QSize());
        const ra::Counters rested = ra::counters();
        list.setListIndex(0);
        const ra::Counters now = waitForAJobToStart(rested);
        // One reading of both: started, and not yet done.
        QCOMPARE(now.jobsStarted, rested.jobsStarted + 1);
        QCOMPARE(now.jobsDone, rested.jobsDone);

        const ra::Counters before = ra::counters();
        const Outcome got = load(folder + QStringLiteral("/b.jpg"), QSize());
        QCOMPARE(ra::counters().hits, before.hits + 1);
        QCOMPARE(ra::counters().loaderDecodes, before.loaderDecodes);
        QCOMPARE(got.image.size(), QSize(5000, 4000));
    }

    // Resting on b queues c (next) and then a (previous). Stepping back onto a
    // while the worker is still on c must not leave a queued behind the
    // user's own read: each file is decoded once, whoever gets there first.
    void aStepOntoAFileStillQueuedIsDecodedOnce()
    {
        const QString folder = m_tmp.newFolder(QStringLiteral("queued"));
        writeBmp(folder + QStringLiteral("/a.bmp"), 64, 48);
        writeBmp(folder + QStringLiteral("/b.bmp"), 64, 48);
        writeJpeg(folder + QStringLiteral("/c.jpg"), 5000, 4000, Qt::darkBlue); // keeps the worker busy
        vm::FileListBox list;
        list.setPath(folder);
        (void)load(folder + QStringLiteral("/b.bmp"), QSize());
        const ra::Counters rested = ra::counters();
        list.setListIndex(1);
        QVERIFY(waitForAJobToStart(rested).jobsStarted > rested.jobsStarted);

        (void)load(folder + QStringLiteral("/a.bmp"), QSize());
        QVERIFY(ra::waitIdle(10000));
        const ra::Counters after = ra::counters();
        QCOMPARE(after.loaderDecodes + after.workerDecodes - rested.loaderDecodes - rested.workerDecodes, 2u);
        QCOMPARE(after.jobsStarted - rested.jobsStarted, after.hits - rested.hits + 1);
    }

    void aFileChangedAfterBeingReadAheadIsReadAgain_data()
    {
        QTest::addColumn<bool>("keepModificationTime");
        QTest::newRow("rewritten") << false;
        QTest::newRow("rewritten, modification time put back") << true;
    }
    void aFileChangedAfterBeingReadAheadIsReadAgain()
    {
        QFETCH(bool, keepModificationTime);
        vm::FileListBox list;
        list.setPath(makeFolder());
        restOn(list, 0, QSize(), 1);
        const QString next = list.Path() + QStringLiteral("/b.jpg");
        QCOMPARE(ra::heldNames(), QStringList { next });

        struct stat old { };
        QCOMPARE(::stat(QFile::encodeName(next).constData(), &old), 0);
        writeJpeg(next, 320, 240, Qt::blue); // same size, other content
        const qint64 bytes = QFileInfo(next).size();
        QVERIFY(bytes > 0);
        if (keepModificationTime) {
            const timespec times[2] = { old.st_atim, old.st_mtim };
            QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(next).constData(), times, 0), 0);
        }

        const ra::Counters before = ra::counters();
        const Outcome got = load(next, QSize());
        QVERIFY(got.loaded);
        QCOMPARE(ra::counters().hits, before.hits);
        QCOMPARE(ra::counters().loaderDecodes, before.loaderDecodes + 1);
        const QRgb centre = got.image.pixel(160, 120);
        QVERIFY2(qBlue(centre) > 200 && qRed(centre) < 60, "the new content is shown");
    }

    void aFileGoneOrUnreadableAfterBeingReadAheadFailsAsItWouldHave_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("removed") << QStringLiteral("remove");
        QTest::newRow("made unreadable") << QStringLiteral("chmod");
        QTest::newRow("replaced by a folder") << QStringLiteral("folder");
        QTest::newRow("replaced by another picture") << QStringLiteral("rename");
    }
    void aFileGoneOrUnreadableAfterBeingReadAheadFailsAsItWouldHave()
    {
        QFETCH(QString, change);
        vm::FileListBox list;
        list.setPath(makeFolder());
        restOn(list, 2, QSize(), 2);
        const QString next = list.Path() + QStringLiteral("/d.jpg");
        QVERIFY(ra::heldNames().contains(next));

        if (change == QLatin1String("remove")) {
            QVERIFY(QFile::remove(next));
        } else if (change == QLatin1String("chmod")) {
            QVERIFY(QFile::setPermissions(next, {}));
        } else if (change == QLatin1String("folder")) {
            QVERIFY(QFile::remove(next));
            QVERIFY(QDir().mkdir(next));
        } else {
            const QString other = list.Path() + QStringLiteral("/other.jpg");
            writeJpeg(other, 320, 240, Qt::green);
            QVERIFY(::rename(QFile::encodeName(other).constData(), QFile::encodeName(next).constData()) == 0);
        }
        const Outcome got = load(next, QSize());
        QVERIFY(!ra::heldNames().contains(next));
        const Outcome expected = loadPlain(next, QSize());
        QCOMPARE(got.error, expected.error);
        QCOMPARE(got.description, expected.description);
        QVERIFY(got == expected);
        QFile::setPermissions(next, QFile::ReadOwner | QFile::WriteOwner);
    }

    void aFailedReadAheadIsNeitherKeptNorReported()
    {
        vm::FileListBox list;
        const QString folder = makeFolder();
        writeBytes(folder + QStringLiteral("/b.jpg"), QByteArray("\xFF\xD8\xFF\xE0 cut off", 13));
        list.setPath(folder);
        restOn(list, 0, QSize(), 1);
        QVERIFY(ra::heldNames().isEmpty());
        const Outcome got = load(folder + QStringLiteral("/b.jpg"), QSize());
        QVERIFY(!got.loaded);
        QVERIFY(got == loadPlain(folder + QStringLiteral("/b.jpg"), QSize()));
    }

    void aFolderChangeDropsWhatIsPreparedOrUnderway()
    {
        vm::FileListBox list;
        const QString first = makeFolder();
        // Big enough that the worker is still busy when the folder changes.
        writeJpeg(first + QStringLiteral("/b.jpg"), 3000, 2000, Qt::red);
        list.setPath(first);
        const quint64 before = ra::counters().jobsStarted;
        (void)load(first + QStringLiteral("/a.bmp"), QSize());
        list.setListIndex(0);
        // Started, whether done or not. (Asking "done, or still running?" in
        // two reads can miss a job that ends between them.)
        QTRY_VERIFY(ra::counters().jobsStarted > before);
        list.setPath(makeFolder());
        QVERIFY(ra::waitIdle(20000));
        QVERIFY(ra::heldNames().isEmpty());

        // Prepared and then the folder changed: dropped as well.
        restOn(list, 0, QSize(), 1);
        QCOMPARE(ra::heldNames().size(), 1);
        list.setPath(first);
        QVERIFY(ra::heldNames().isEmpty());
    }

    void aLoadAtAnotherSizeDropsWhatWasPreparedForTheOther()
    {
        vm::FileListBox list;
        list.setPath(makeFolder());
        restOn(list, 1, QSize(), 2);
        QCOMPARE(ra::heldNames().size(), 2);
        (void)load(list.Path() + QStringLiteral("/b.jpg"), QSize(80, 60));
        QVERIFY(ra::heldNames().isEmpty());
    }

    void nothingIsReadAheadForAnotherFolderOrWhenOff()
    {
        vm::FileListBox list;
        list.setPath(makeFolder());
        const QString elsewhere = makeFolder();
        const quint64 before = ra::counters().jobsDone;
        (void)load(elsewhere + QStringLiteral("/a.bmp"), QSize());
        list.setListIndex(0); // same name, other folder: the last load was not of this entry
        QTest::qWait(300);
        QCOMPARE(ra::counters().jobsDone, before);
        QVERIFY(ra::heldNames().isEmpty());

        ra::setEnabled(false);
        (void)load(list.Path() + QStringLiteral("/b.jpg"), QSize());
        list.setListIndex(1);
        QTest::qWait(300);
        ra::setEnabled(true);
        QCOMPARE(ra::counters().jobsDone, before);
    }

    // A read that never returns stands for a share whose server went silent:
    // reading ahead goes on in other folders, stepping on through the silent
    // folder leaves a bounded number of workers behind, and what they read
    // once the server answers is not kept.
    void aWorkerStuckInAReadDoesNotStopReadingAheadElsewhere()
    {
        struct Gate {
            std::mutex mutex;
            std::condition_variable opened;
            bool open = false;
            int blocked = 0;
            int returned = 0;
        };
        const auto gate = std::make_shared<Gate>();
        auto count = [gate](int Gate::*field) {
            std::lock_guard lock(gate->mutex);
            return (*gate).*field;
        };
        ra::setFileReadForTesting(
            [gate](const QString &name, struct stat *seen) {
                if (name.contains(QLatin1String("/silent"))) {
                    std::unique_lock lock(gate->mutex);
                    ++gate->blocked;
                    gate->opened.wait(lock, [&] { return gate->open; });
                    ++gate->returned;
                }
                return vm::readPictureFile(name, seen);
            },
            std::chrono::milliseconds(100));
        auto answer = [gate] {
            {
                std::lock_guard lock(gate->mutex);
                gate->open = true;
            }
            gate->opened.notify_all();
        };
        const auto reopen = qScopeGuard([&] {
            answer();
            QTRY_COMPARE(count(&Gate::returned), count(&Gate::blocked));
            QVERIFY(ra::waitIdle(10000));
            ra::setFileReadForTesting({}, std::chrono::milliseconds(2000));
        });

        const QString silent = m_tmp.newFolder(QStringLiteral("silent"));
        for (int i = 0; i < 12; ++i)
            writeBmp(silent + QStringLiteral("/%1.bmp").arg(i), 16, 16);
        vm::FileListBox list;
        list.setPath(silent);
        auto restInSilence = [&](int row) {
            (void)load(silent + QLatin1Char('/') + list.List(row), QSize());
            list.setListIndex(row);
        };
        restInSilence(0);
        QTRY_COMPARE(count(&Gate::blocked), 1);
        QTest::qWait(150);

        vm::FileListBox elsewhere;
        elsewhere.setPath(makeFolder());
        restOn(elsewhere, 1, QSize(), 2);
        QCOMPARE(ra::heldNames().size(), 2);

        // Each rest in the silent folder leaves the stuck worker behind for a
        // new one, until four are behind; then no more threads are started.
        // (Every other entry, so that no load asks for the file in flight.)
        for (int row = 2; row <= 10; row += 2) {
            restInSilence(row);
            QTest::qWait(150);
        }
        // (Waited for: on a loaded machine the last rest may come late.)
        QTRY_COMPARE(count(&Gate::blocked), 5);
        QTest::qWait(200);
        QCOMPARE(count(&Gate::blocked), 5);

        answer();
        QVERIFY(ra::waitIdle(10000));
        QTRY_COMPARE(count(&Gate::returned), count(&Gate::blocked));
        // Only the worker still running may keep what it read: neighbours of
        // the last rest.
        for (const QString &name : ra::heldNames())
            QVERIFY2(name.endsWith(QLatin1String("/9.bmp")) || name.endsWith(QLatin1String("/11.bmp")),
                qPrintable(name));
        // And with the server back, the folder is read ahead as any other.
        restOn(list, 4, QSize(), 2);
        QCOMPARE(ra::heldNames().size(), 2);
    }
};

QTEST_MAIN(TestReadAhead)
#include "tst_readahead.moc"

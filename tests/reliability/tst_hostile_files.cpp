// The loader facing hostile objects behind picture names: each is refused
// with a runtime error (or, where a loader may accept it, loaded) quickly and
// within the memory bound, whatever the object is.
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include "platform/controls/filelistbox.h"
#include "platform/picture.h"
#include "platform/readahead.h"
#include "platform/runtimeerror.h"
#include "support/fixtures.h"
#include "support/hostile.h"
#include "support/hostilecases.h"

using namespace vmtest;

namespace {

// Generous: the real figures are milliseconds, and a loaded CI machine must
// not make the test flaky. A hang shows as far more than this.
constexpr qint64 kSlowMs = 5000;

// Peak resident memory allowed for the whole test process. The decoders
// refuse every case here before allocating its pixels, so the peak stays
// near the toolkit's own footprint; the sanitizer's shadow memory and
// quarantine add several hundred megabytes.
double memoryBoundMb()
{
    return sanitizedBuild() ? 1800.0 : 600.0;
}

} // namespace

class TestHostileFiles : public QObject {
    Q_OBJECT

    ScratchFolder m_dir;
    qint64 m_slowestMs = 0;
    QString m_slowest;

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void cleanupTestCase()
    {
        qInfo("slowest refusal: %lld ms (%s); peak resident memory %.0f MB", m_slowestMs,
            qPrintable(m_slowest), peakResidentMb());
    }

    void hostileObjectIsRefusedQuicklyWithinTheMemoryBound_data()
    {
        QTest::addColumn<int>("index");
        const QList<HostileCase> cases = hostileCases();
        for (int i = 0; i < cases.size(); ++i)
            QTest::newRow(qPrintable(cases[i].name)) << i;
    }
    void hostileObjectIsRefusedQuicklyWithinTheMemoryBound()
    {
        QFETCH(int, index);
        const HostileCase c = hostileCases().at(index);
        const QString folder = m_dir.newFolder();
        QVERIFY(!folder.isEmpty());
        const QString path = folder + QLatin1Char('/') + c.fileName;
        writeBmp(path, 20, 10);
        c.arm(path);

        QElapsedTimer timer;
        timer.start();
        bool loaded = false;
        int number = 0;
        QSize pixels;
        try {
            pixels = vm::LoadPicture(path).pixelSize();
            loaded = true;
        } catch (const vm::RuntimeError &e) {
            number = e.Number();
            QVERIFY(!e.Description().isEmpty());
        }
        const qint64 ms = timer.elapsed();
        if (ms > m_slowestMs) {
            m_slowestMs = ms;
            m_slowest = c.name;
        }

        QVERIFY2(ms < kSlowMs, qPrintable(QStringLiteral("%1 ms").arg(ms)));
        QVERIFY2(
            peakResidentMb() < memoryBoundMb(), qPrintable(QStringLiteral("%1 MB").arg(peakResidentMb())));
        if (c.mustFail)
            QVERIFY2(!loaded,
                qPrintable(QStringLiteral("loaded as %1 x %2").arg(pixels.width()).arg(pixels.height())));
        if (!loaded && c.expected != 0)
            QCOMPARE(number, c.expected);
    }

    void hostileNeighbourReadAheadChangesNothing_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("armedAfterTheRest");
        const QList<HostileCase> cases = hostileCases();
        for (int i = 0; i < cases.size(); ++i) {
            QTest::newRow(qPrintable(cases[i].name + QStringLiteral(", there at the rest"))) << i << false;
            QTest::newRow(qPrintable(cases[i].name + QStringLiteral(", swapped in after it"))) << i << true;
        }
    }
    // The hostile object next to a resting selection: the worker meets it
    // first, and the user's own load then ends exactly as without reading
    // ahead, the same picture or the same error.
    void hostileNeighbourReadAheadChangesNothing()
    {
        QFETCH(int, index);
        QFETCH(bool, armedAfterTheRest);
        const HostileCase c = hostileCases().at(index);
        const QString folder = m_dir.newFolder(QStringLiteral("ahead"));
        QVERIFY(!folder.isEmpty());
        const QString current = folder + QStringLiteral("/current.bmp");
        const QString path = folder + QLatin1Char('/') + c.fileName;
        writeBmp(current, 20, 10);
        writeBmp(path, 20, 10);
        vm::FileListBox list;
        list.setPath(folder);
        QCOMPARE(list.ListCount(), 2);
        const int row = list.List(0) == QStringLiteral("current.bmp") ? 0 : 1;
        if (!armedAfterTheRest)
            c.arm(path);
        const quint64 jobs = vm::readahead::counters().jobsDone;
        try {
            (void)vm::LoadPicture(current); // may be gone with its folder
        } catch (const vm::RuntimeError &) {
        }
        list.setListIndex(row);
        QTRY_COMPARE(vm::readahead::counters().jobsDone, jobs + 1);
        QVERIFY(vm::readahead::waitIdle(10000));
        if (armedAfterTheRest)
            c.arm(path);

        const auto outcome = [&] {
            try {
                const vm::Picture p = vm::LoadPicture(path);
                return QStringLiteral("loaded %1 x %2")
                    .arg(p.pixelSize().width())
                    .arg(p.pixelSize().height());
            } catch (const vm::RuntimeError &e) {
                return QStringLiteral("error %1: %2").arg(e.Number()).arg(e.Description());
            }
        };
        const QString ahead = outcome();
        vm::readahead::setEnabled(false);
        const QString plain = outcome();
        vm::readahead::setEnabled(true);
        QCOMPARE(ahead, plain);
        QVERIFY2(
            peakResidentMb() < memoryBoundMb(), qPrintable(QStringLiteral("%1 MB").arg(peakResidentMb())));
        vm::readahead::dropAll();
    }

    void everyGoodPictureLoads_data()
    {
        QTest::addColumn<QString>("kind");
        for (const QString &kind : pictureKinds())
            QTest::newRow(qPrintable(kind)) << kind;
    }
    // The truncations above are only worth something if the uncut files load.
    void everyGoodPictureLoads()
    {
        QFETCH(QString, kind);
        const QString path = m_dir.filePath(QStringLiteral("good.") + kind);
        writeBytes(path, goodPicture(kind));
        try {
            const vm::Picture picture = vm::LoadPicture(path);
            QVERIFY(!picture.isNull());
            if (!picture.isMetafile())
                QCOMPARE(picture.pixelSize(), QSize(40, 30));
        } catch (const vm::RuntimeError &e) {
            // Until a metafile player is built in, metafiles are refused as
            // unknown; nothing else may fail.
            QVERIFY2(
                kind == QLatin1String("wmf") || kind == QLatin1String("emf"), qPrintable(e.Description()));
            QCOMPARE(e.number(), vm::Err::InvalidPicture);
        }
    }
};

QTEST_MAIN(TestHostileFiles)
#include "tst_hostile_files.moc"

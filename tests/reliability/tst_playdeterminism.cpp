// Metafile play is deterministic: the fuzz regressions and the heaviest
// corpus metafiles give the same pixels (or the same refusal) when played
// again with both cores kept busy by other threads, as a slower or busier
// machine would play them; and the heaviest inputs end with the error that
// the picture is too complex, not with a partial picture.
#include <QDirIterator>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "platform/metafile/metafile.h"
#include "platform/picturebytes.h"
#include "platform/runtimeerror.h"
#include "support/densemetafile.h"

using namespace vmtest;

namespace {

// Keeps every core busy while it lives.
class BusyCores {
public:
    BusyCores()
    {
        const unsigned n = std::max(2u, std::thread::hardware_concurrency());
        for (unsigned i = 0; i < n; ++i)
            m_threads.emplace_back([this] {
                volatile double x = 1;
                while (!m_stop.load(std::memory_order_relaxed))
                    x = x * 1.0000001 + 1e-9;
            });
    }
    ~BusyCores()
    {
        m_stop = true;
        for (std::thread &t : m_threads)
            t.join();
    }

private:
    std::atomic<bool> m_stop { false };
    std::vector<std::thread> m_threads;
};

std::shared_ptr<const vm::Metafile> open(const QByteArray &bytes)
{
    return bytes.startsWith(QByteArray("\x01\0\0\0", 4)) ? vm::openEmf(bytes) : vm::openWmf(bytes);
}

// The picture at natural size, or the refusal's number.
struct Outcome {
    QImage image;
    int error = 0;
};

Outcome play(const QByteArray &bytes, vm::PlayWork *work = nullptr)
{
    Outcome o;
    try {
        const auto m = open(bytes);
        o.image = m->render(m->naturalSize(), work);
    } catch (const vm::RuntimeError &e) {
        o.error = e.Number();
    }
    return o;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestPlayDeterminism : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void sameOutcomeOnABusyMachine_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QString regressions = QStringLiteral(VELMORA_TESTDATA_DIR "/regressions");
        int count = 0;
        for (const QString &family : { QStringLiteral("wmf"), QStringLiteral("emf") }) {
            for (QDirIterator it(regressions + QLatin1Char('/') + family, QDir::Files); it.hasNext();
                 ++count) {
                const QString path = it.next();
                QTest::newRow(qPrintable(family + QLatin1Char('/') + it.fileName())) << readAll(path);
            }
        }
        QVERIFY(count > 0);
        // The corpus metafiles that use the most of their budget.
        struct Heavy {
            QString name;
            QByteArray bytes;
            double share;
        };
        std::vector<Heavy> heavy;
        const QDir corpus(QStringLiteral(VELMORA_CORPUS_DIR));
        for (const QString &family : { QStringLiteral("emf"), QStringLiteral("wmf") }) {
            for (QDirIterator it(corpus.filePath(family), QDir::Files, QDirIterator::Subdirectories);
                 it.hasNext();) {
                const QString path = it.next();
                const QByteArray bytes = readAll(path);
                vm::PlayWork work;
                if (play(bytes, &work).error == 0 && work.limit > 0)
                    heavy.push_back({ corpus.relativeFilePath(path), bytes, work.used / work.limit });
            }
        }
        std::sort(
            heavy.begin(), heavy.end(), [](const Heavy &a, const Heavy &b) { return a.share > b.share; });
        QVERIFY2(heavy.size() >= 5, "corpus metafiles not found");
        for (size_t i = 0; i < 6 && i < heavy.size(); ++i)
            QTest::newRow(qPrintable(heavy[i].name)) << heavy[i].bytes;
        QTest::newRow("vast work") << vastWorkEmf();
    }
    void sameOutcomeOnABusyMachine()
    {
        QFETCH(QByteArray, bytes);
        const Outcome quiet = play(bytes);
        Outcome busy;
        {
            BusyCores cores;
            busy = play(bytes);
        }
        QCOMPARE(busy.error, quiet.error);
        QCOMPARE(busy.image.size(), quiet.image.size());
        QVERIFY2(busy.image == quiet.image, "the pixels differ");
    }

    // Every corpus metafile stays far within its budget: the calibration of
    // the budget's constants holds.
    void corpusMetafilesStayFarWithinTheirBudget()
    {
        const QDir corpus(QStringLiteral(VELMORA_CORPUS_DIR));
        double most = 0;
        QString heaviest;
        for (const QString &family : { QStringLiteral("emf"), QStringLiteral("wmf") }) {
            for (QDirIterator it(corpus.filePath(family), QDir::Files, QDirIterator::Subdirectories);
                 it.hasNext();) {
                const QString path = it.next();
                vm::PlayWork work;
                const Outcome o = play(readAll(path), &work);
                QVERIFY2(o.error != int(vm::Err::PictureTooComplex), qPrintable(path));
                if (work.limit > 0 && work.used / work.limit > most) {
                    most = work.used / work.limit;
                    heaviest = path;
                }
            }
        }
        qInfo("most budget used by a corpus metafile: %.1f %% (%s)", 100 * most, qPrintable(heaviest));
        QVERIFY2(most < 0.25, qPrintable(heaviest));
    }

    // The heaviest inputs end with the error; how fast is measured by
    // bench/playwork.
    void heaviestInputsEndWithTheError_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("vast work") << vastWorkEmf();
        for (QDirIterator it(QStringLiteral(VELMORA_TESTDATA_DIR "/regressions/wmf"), QDir::Files);
             it.hasNext();) {
            const QString path = it.next();
            QTest::newRow(qPrintable(it.fileName())) << readAll(path);
        }
    }
    void heaviestInputsEndWithTheError()
    {
        QFETCH(QByteArray, bytes);
        try {
            vm::pictureFromBytes(bytes);
            QFAIL("drawn");
        } catch (const vm::RuntimeError &e) {
            QCOMPARE(e.number(), vm::Err::PictureTooComplex);
        }
    }
};

QTEST_MAIN(TestPlayDeterminism)
#include "tst_playdeterminism.moc"

// Replays every file under tests/data/regressions/<family>/: inputs that once
// crashed, hung or over-allocated in a decoder or a metafile player. Each
// must now load or be refused with a runtime error, quickly and within the
// memory bound, through the file loader and through the bytes loader alike.
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QtTest>

#include "platform/picture.h"
#include "platform/picturebytes.h"
#include "platform/runtimeerror.h"
#include "support/hostile.h"

using namespace vmtest;

namespace {

constexpr qint64 kSlowMs = 5000;

QString regressionsDir()
{
    return QStringLiteral(VELMORA_TESTDATA_DIR "/regressions");
}

// Loads and, for a metafile, plays once more at a small size as the preview
// does; returns an empty string or the failure's description.
QString outcome(const std::function<vm::Picture()> &load)
{
    try {
        const vm::Picture picture = load();
        picture.render(QSize(97, 61));
        return QString();
    } catch (const vm::RuntimeError &e) {
        return e.Description();
    }
}

} // namespace

class TestRegressions : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void regressionFileLoadsOrIsRefusedCleanly_data()
    {
        QTest::addColumn<QString>("path");
        QDirIterator it(regressionsDir(), QDir::Files, QDirIterator::Subdirectories);
        int rows = 0;
        while (it.hasNext()) {
            const QString path = it.next();
            if (path.endsWith(QLatin1String(".md")))
                continue;
            QTest::newRow(qPrintable(QDir(regressionsDir()).relativeFilePath(path))) << path;
            ++rows;
        }
        QVERIFY2(rows > 0, "no regression files found");
    }
    void regressionFileLoadsOrIsRefusedCleanly()
    {
        QFETCH(QString, path);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();

        QElapsedTimer timer;
        timer.start();
        const QString fromFile = outcome([&] { return vm::LoadPicture(path); });
        const QString fromBytes = outcome([&] { return vm::pictureFromBytes(bytes); });
        const qint64 ms = timer.elapsed();
        QVERIFY2(ms < kSlowMs, qPrintable(QStringLiteral("%1 ms").arg(ms)));
        QCOMPARE(fromBytes, fromFile); // the same decoders whichever way in
        QVERIFY(peakResidentMb() < (sanitizedBuild() ? 1800.0 : 700.0));
    }
};

QTEST_MAIN(TestRegressions)
#include "tst_regressions.moc"

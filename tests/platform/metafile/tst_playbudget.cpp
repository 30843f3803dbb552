// The metafile work budget: a dense but ordinary drawing is drawn whole in
// the preview and the viewer, a small file asking for vast work is refused
// with its own error, and the decision is the same at every output size.
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <limits>

#include "platform/metafile/metafile.h"
#include "platform/metafile/playbudget.h"
#include "platform/picture.h"
#include "platform/picturebytes.h"
#include "platform/runtimeerror.h"
#include "support/densemetafile.h"

using namespace vmtest;

namespace {

bool squareIsRed(const QImage &image)
{
    const QPointF c = QRectF(kDenseSquare).center();
    const QColor pixel
        = image.pixelColor(int(c.x() * image.width() / 800), int(c.y() * image.height() / 600));
    return pixel.red() > 200 && pixel.green() < 60 && pixel.blue() < 60;
}

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        return QString();
    return path;
}

// The budget's use when played at `size`, or -1 when refused as too complex.
double workAt(const vm::Metafile &m, QSize size)
{
    vm::PlayWork work;
    try {
        m.render(size, &work);
    } catch (const vm::RuntimeError &e) {
        return e.number() == vm::Err::PictureTooComplex ? -1 : -2;
    }
    return work.used;
}

} // namespace

class TestPlayBudget : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void budgetGrowsWithTheFileAndStaysSpent()
    {
        vm::PlayBudget small(0), large(1'000'000);
        QCOMPARE(small.limit(), vm::PlayBudget::kBaseUnits);
        QCOMPARE(large.limit() - small.limit(), 1'000'000 * vm::PlayBudget::kUnitsPerByte);
        QVERIFY(small.charge(small.limit() - 1));
        QVERIFY(!small.charge(2));
        QVERIFY(small.spent());
        QVERIFY(!small.chargeRecord()); // spent stays spent
        QVERIFY_THROWS_EXCEPTION(vm::RuntimeError, small.raiseIfSpent());
        // Garbage prices count as too much, never as free.
        vm::PlayBudget odd(0);
        QVERIFY(!odd.charge(std::numeric_limits<double>::quiet_NaN()));
        vm::PlayBudget negative(0);
        QVERIFY(!negative.charge(-1));
        QVERIFY(!large.spent());
        large.raiseIfSpent();
    }

    void denseScatterPlotIsDrawnWhole_data()
    {
        QTest::addColumn<QSize>("previewSize"); // empty: the viewer's natural-size load
        QTest::newRow("viewer") << QSize();
        QTest::newRow("preview") << QSize(159, 151);
        QTest::newRow("preview at scale 2") << QSize(318, 302);
    }
    void denseScatterPlotIsDrawnWhole()
    {
        QFETCH(QSize, previewSize);
        const QByteArray bytes = denseScatterEmf();
        QVERIFY(bytes.size() > 3'500'000);
        const QString path = writeFile(m_dir, QStringLiteral("scatter.emf"), bytes);
        QVERIFY(!path.isEmpty());
        QImage image;
        if (previewSize.isEmpty()) {
            const vm::Picture picture = vm::LoadPicture(path);
            image = picture.image();
            QCOMPARE(image.size(), QSize(800, 600));
        } else {
            image = vm::LoadPictureForSize(path, previewSize).render(previewSize);
            QCOMPARE(image.size(), previewSize);
        }
        QVERIFY2(squareIsRed(image), "the last record's red square is missing");
    }

    void smallFileAskingForVastWorkIsRefused_data()
    {
        QTest::addColumn<QSize>("previewSize");
        QTest::newRow("viewer") << QSize();
        QTest::newRow("preview") << QSize(159, 151);
    }
    void smallFileAskingForVastWorkIsRefused()
    {
        QFETCH(QSize, previewSize);
        const QByteArray bytes = vastWorkEmf();
        QVERIFY(bytes.size() < 10'000);
        const QString path = writeFile(m_dir, QStringLiteral("stars.emf"), bytes);
        try {
            if (previewSize.isEmpty())
                vm::LoadPicture(path);
            else
                vm::LoadPictureForSize(path, previewSize);
            QFAIL("loaded");
        } catch (const vm::RuntimeError &e) {
            QCOMPARE(e.number(), vm::Err::PictureTooComplex);
            QCOMPARE(e.Description(), QStringLiteral("図が複雑すぎて描画できません。"));
        }
        QVERIFY_THROWS_EXCEPTION(vm::RuntimeError, vm::pictureFromBytes(bytes));
    }

    // The work charged does not depend on the size played at, so the preview
    // and the viewer agree; charging image pixels would differ a
    // hundredfold between these sizes.
    void workIsTheSameAtEverySize_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("dense scatter plot") << denseScatterEmf(20000);
        QTest::newRow("vast work") << vastWorkEmf();
        QFile wmf(QStringLiteral(VELMORA_TESTDATA_DIR "/regressions/wmf/polygon-far-past-the-page.wmf"));
        QVERIFY(wmf.open(QIODevice::ReadOnly));
        QTest::newRow("regression polygon far past the page") << wmf.readAll();
        for (const char *name :
            { "emf/good/emf2svg-test-156.emf", "wmf/good/poi-60677.wmf", "wmf/good/gen-lo-gradient.wmf" }) {
            QFile corpus(QStringLiteral(VELMORA_CORPUS_DIR "/") + QLatin1String(name));
            if (corpus.open(QIODevice::ReadOnly))
                QTest::newRow(name) << corpus.readAll();
        }
    }
    void workIsTheSameAtEverySize()
    {
        QFETCH(QByteArray, bytes);
        const auto m
            = bytes.startsWith(QByteArray("\x01\0\0\0", 4)) ? vm::openEmf(bytes) : vm::openWmf(bytes);
        const double natural = workAt(*m, m->naturalSize());
        QVERIFY(natural != -2);
        for (const QSize size : { QSize(159, 151), QSize(318, 302), QSize(37, 1000) }) {
            const double scaled = workAt(*m, size);
            if (natural < 0)
                QCOMPARE(scaled, natural);
            else
                QVERIFY2(std::abs(scaled - natural) <= 1e-9 * natural,
                    qPrintable(QStringLiteral("%1 at natural size, %2 at %3 x %4")
                                   .arg(natural)
                                   .arg(scaled)
                                   .arg(size.width())
                                   .arg(size.height())));
        }
    }
};

QTEST_MAIN(TestPlayBudget)
#include "tst_playbudget.moc"

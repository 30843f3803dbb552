// Every file of the shared corpus does what its manifest row expects through
// LoadPicture: loads at the listed size and extent, fails with a runtime
// error, or (for "either") one of the two, without crashing or hanging.
// Metafiles have no pixel size of their own; their extent is checked where
// the header gives one.
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QtTest>

#include <algorithm>
#include <vector>

#include "platform/picture.h"
#include "platform/runtimeerror.h"
#include "support/testsupport.h"

namespace {

// Files where our resolution rule (10 to 25 400 dpi are believed, see
// platform/codecs/extent.h) departs from the manifest's literal reading of
// the header; we give them 96 dpi on the axes named.
struct Departure {
    const char *path;
    const char *why;
};
const Departure kDensityDepartures[] = {
    { "jpeg/good/pil-jfif_unit_cm.jpg", "JFIF 1x2 dots/cm (2.5 and 5 dpi)" },
    { "bmp/bad/bs-baddens1.bmp", "30 000 000 and 3 px/m" },
    { "bmp/bad/mut-bmp_density_int32min.bmp", "Y 1 px/m" },
    { "bmp/questionable/pil-l2rgb_read.bmp", "808 464 432 px/m" },
    { "bmp/bad/gdkpb-cve-2015-4491.bmp", "157 px/m (4 dpi)" },
    { "bmp/bad/gdkpb-randomly-modified_bmp-line-overflow.bmp", "157 px/m (4 dpi)" },
    { "bmp/bad/gdkpb-randomly-modified_bug775242.bmp", "166 px/m (4 dpi)" },
};

// The manifest lists an icon's first entry; we show the largest.
QSize largestIconEntry(const QString &notes)
{
    static const QRegularExpression entry(QStringLiteral("(?:entries|entry): (.*?)\\."));
    const QRegularExpressionMatch list = entry.match(notes);
    QSize best;
    static const QRegularExpression size(QStringLiteral("(\\d+)x(\\d+) (?:DIB|PNG)"));
    auto it = size.globalMatch(list.captured(1));
    while (it.hasNext()) {
        const auto m = it.next();
        const QSize s(m.captured(1).toInt(), m.captured(2).toInt());
        if (qint64(s.width()) * s.height() > qint64(best.width()) * best.height())
            best = s;
    }
    return best;
}

int exifOrientation(const QString &notes)
{
    static const QRegularExpression orientation(QStringLiteral("Orientation=(\\d)"));
    return orientation.match(notes).captured(1).toInt();
}

bool near(int a, int b)
{
    return qAbs(a - b) <= 1; // the manifest rounds halves its own way
}

std::vector<double> g_loadMillis;

} // namespace

class TestLoadPictureCorpus : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (vmtest::corpusDir().isEmpty())
            QSKIP("picture corpus not present");
    }

    void corpusFileBehavesAsListed_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expectation");
        QTest::addColumn<QSize>("pixels");
        QTest::addColumn<QSize>("extent");
        QTest::addColumn<bool>("at96Dpi");
        const QString corpus = vmtest::corpusDir();
        QHash<QString, bool> departures;
        for (const Departure &d : kDensityDepartures)
            departures.insert(QString::fromLatin1(d.path), true);
        for (const vmtest::CorpusEntry &row : vmtest::corpusManifest(corpus)) {
            QSize pixels = row.pixels;
            QSize extent = row.extent;
            if (row.path.startsWith(QLatin1String("ico/")) || row.path.startsWith(QLatin1String("cur/"))) {
                const QSize largest = largestIconEntry(row.notes);
                if (largest.isValid() && largest != pixels) {
                    pixels = largest;
                    extent = QSize(); // worked out at 96 dpi below
                }
            }
            if (row.path.startsWith(QLatin1String("jpeg/")) && exifOrientation(row.notes) >= 5) {
                pixels.transpose(); // shown upright
                extent.transpose();
            }
            const bool metafile
                = row.path.startsWith(QLatin1String("wmf/")) || row.path.startsWith(QLatin1String("emf/"));
            if (metafile)
                pixels = QSize(); // drawn at the extent's size at 96 dpi, not listed
            const bool at96 = !metafile && (departures.contains(row.path) || !extent.isValid());
            QTest::newRow(qPrintable(row.path)) << row.path << row.expectation << pixels << extent << at96;
        }
    }

    void corpusFileBehavesAsListed()
    {
        QFETCH(QString, path);
        QFETCH(QString, expectation);
        QFETCH(QSize, pixels);
        QFETCH(QSize, extent);
        QFETCH(bool, at96Dpi);
        const QString file = vmtest::corpusDir() + QLatin1Char('/') + path;

        vm::Picture picture;
        bool failed = false;
        QString error;
        QElapsedTimer timer;
        timer.start();
        try {
            picture = vm::LoadPicture(file);
        } catch (const vm::RuntimeError &e) {
            failed = true;
            error = QStringLiteral("%1 %2").arg(e.Number()).arg(e.Description());
        }
        g_loadMillis.push_back(timer.nsecsElapsed() / 1e6);

        if (expectation == QLatin1String("must-fail")) {
            QVERIFY2(failed, "loaded a file that must be refused");
            return;
        }
        if (failed) {
            QVERIFY2(expectation == QLatin1String("either"), qPrintable(QStringLiteral("refused: ") + error));
            return;
        }
        QVERIFY(!picture.isNull());
        const QImage::Format format = picture.image().format();
        QVERIFY(format == QImage::Format_RGB32 || format == QImage::Format_ARGB32_Premultiplied);
        if (expectation != QLatin1String("loads"))
            return; // the header of a broken file says little about what shows
        if (!pixels.isValid()) {
            // A metafile: the extent where its header gives one.
            if (!extent.isEmpty())
                QVERIFY2(near(picture.Width().value(), extent.width())
                        && near(picture.Height().value(), extent.height()),
                    qPrintable(QStringLiteral("extent %1x%2, expected %3x%4")
                                   .arg(picture.Width().value())
                                   .arg(picture.Height().value())
                                   .arg(extent.width())
                                   .arg(extent.height())));
            return;
        }
        QCOMPARE(picture.pixelSize(), pixels);
        const QSize expected = at96Dpi
            ? QSize(qRound(pixels.width() * 2540.0 / 96), qRound(pixels.height() * 2540.0 / 96))
            : extent;
        QVERIFY2(near(picture.Width().value(), expected.width())
                && near(picture.Height().value(), expected.height()),
            qPrintable(QStringLiteral("extent %1x%2, expected %3x%4")
                           .arg(picture.Width().value())
                           .arg(picture.Height().value())
                           .arg(expected.width())
                           .arg(expected.height())));
    }

    void cleanupTestCase()
    {
        if (g_loadMillis.empty())
            return;
        std::sort(g_loadMillis.begin(), g_loadMillis.end());
        const auto at = [](double q) { return g_loadMillis[size_t(q * double(g_loadMillis.size() - 1))]; };
        qInfo("load time over %zu corpus files: median %.2f ms, p90 %.2f ms, max %.2f ms",
            g_loadMillis.size(), at(0.5), at(0.9), g_loadMillis.back());
    }
};

QTEST_MAIN(TestLoadPictureCorpus)
#include "tst_loadpicture_corpus.moc"

// Loading for the preview's size (a reduced JPEG decode, a metafile played
// at that size only) must find every failure a full load finds, report the
// same physical size, and show the same picture.
#include <QDirIterator>
#include <QTemporaryDir>
#include <QtTest>

#include <optional>

#include "support/loaderfixtures.h"
#include "platform/metafile/metafile.h"
#include "platform/picture.h"
#include "platform/runtimeerror.h"
#include "support/testsupport.h"

namespace {

// The browser's preview area, inside its border.
const QSize kPreview(159, 151);

struct Outcome {
    std::optional<vm::Picture> picture;
    int error = 0;
};

Outcome load(const QString &file, QSize maxSize)
{
    Outcome o;
    try {
        o.picture = maxSize.isEmpty() ? vm::LoadPicture(file) : vm::LoadPictureForSize(file, maxSize);
    } catch (const vm::RuntimeError &e) {
        o.error = e.Number();
    }
    return o;
}

// The share of pixels that differ between two images of one size and format.
double differing(const QImage &a, const QImage &b)
{
    if (a.size() != b.size() || a.format() != b.format() || a.depth() != 32)
        return 1;
    qint64 count = 0;
    for (int y = 0; y < a.height(); ++y) {
        const QRgb *pa = reinterpret_cast<const QRgb *>(a.constScanLine(y));
        const QRgb *pb = reinterpret_cast<const QRgb *>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x)
            count += pa[x] != pb[x];
    }
    return double(count) / (double(a.width()) * a.height());
}

void compareOutcomes(const QString &file, QSize maxSize)
{
    const Outcome full = load(file, QSize());
    const Outcome sized = load(file, maxSize);
    QCOMPARE(sized.error, full.error);
    if (full.error != 0)
        return;
    const vm::Picture &f = *full.picture;
    const vm::Picture &s = *sized.picture;
    QCOMPARE(s.extent(), f.extent());
    QCOMPARE(s.isMetafile(), f.isMetafile());
    QCOMPARE(s.isNull(), f.isNull());
    if (f.isMetafile()) {
        // Played at the asked size, and at the natural size when asked.
        QCOMPARE(s.pixelSize(), f.pixelSize());
        QCOMPARE(s.render(maxSize).size(), maxSize);
        QCOMPARE(s.image().size(), f.image().size());
        // Two plays of one metafile may differ a little: a huge one can stop
        // at the player's time limit, and text drawn the first time in a
        // font can come out a few pixels apart from later times.
        QVERIFY(differing(s.render(maxSize), f.render(maxSize)) < 0.02);
        QVERIFY(differing(s.image(), f.image()) < 0.02);
    } else {
        // Never smaller than what covers the area, unless the picture is.
        const QSize got = s.pixelSize();
        QVERIFY(got.width() <= f.pixelSize().width() && got.height() <= f.pixelSize().height());
        QVERIFY((got.width() >= maxSize.width() || got.width() == f.pixelSize().width())
            && (got.height() >= maxSize.height() || got.height() == f.pixelSize().height()));
        QCOMPARE(s.render(maxSize).size(), maxSize);
    }
}

} // namespace

class TestLoadPictureForSize : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void corpusFileGivesTheSameOutcome_data()
    {
        QTest::addColumn<QString>("file");
        const QString corpus = vmtest::corpusDir();
        if (corpus.isEmpty())
            QSKIP("picture corpus not present");
        QDirIterator it(corpus, QDir::Files, QDirIterator::Subdirectories);
        QStringList files;
        while (it.hasNext()) {
            const QString f = it.next();
            if (!f.endsWith(QLatin1String(".tsv")) && !f.endsWith(QLatin1String(".md")))
                files << f;
        }
        files.sort();
        for (const QString &f : files)
            QTest::newRow(qPrintable(f.mid(corpus.size() + 1))) << f;
    }

    void corpusFileGivesTheSameOutcome()
    {
        QFETCH(QString, file);
        compareOutcomes(file, kPreview);
    }

    void brokenJpegIsRefusedAtEveryScale_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("maxSize");
        const QByteArray whole = vmtest::Jpeg().encode(vmtest::quadrants(640, 480));
        vmtest::Jpeg progressive;
        progressive.progressive = true;
        const QByteArray scans = progressive.encode(vmtest::quadrants(640, 480));
        const struct {
            const char *name;
            QByteArray bytes;
        } cases[] = {
            { "cut off halfway", whole.left(whole.size() / 2) },
            { "cut off before the last bytes", whole.left(whole.size() - 40) },
            { "progressive, cut off in the last scan", scans.left(scans.size() - 40) },
            { "progressive, cut off halfway", scans.left(scans.size() / 2) },
        };
        for (const auto &c : cases) {
            QTest::newRow(qPrintable(QStringLiteral("%1, an eighth").arg(QLatin1String(c.name))))
                << c.bytes << QSize(80, 60);
            QTest::newRow(qPrintable(QStringLiteral("%1, a half").arg(QLatin1String(c.name))))
                << c.bytes << QSize(300, 200);
        }
    }

    void brokenJpegIsRefusedAtEveryScale()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, maxSize);
        const QString file = vmtest::writeFile(m_dir, QStringLiteral("cut.jpg"), bytes);
        QCOMPARE(load(file, QSize()).error, int(vm::Err::DamagedPicture));
        QCOMPARE(load(file, maxSize).error, int(vm::Err::DamagedPicture));
    }

    void copiesShareTheMetafilesNaturalRaster()
    {
        const QString corpus = vmtest::corpusDir();
        if (corpus.isEmpty())
            QSKIP("picture corpus not present");
        const vm::Picture sized
            = vm::LoadPictureForSize(corpus + QStringLiteral("/wmf/good/gen-lo-gradient.wmf"), kPreview);
        const vm::Picture copy = sized;
        QVERIFY(!copy.image().isNull());
        // Played once: both copies hold the same pixels, not two rasters.
        QCOMPARE(sized.image().cacheKey(), copy.image().cacheKey());
        QCOMPARE(sized.render(kPreview).cacheKey(), copy.render(kPreview).cacheKey());
    }
};

QTEST_MAIN(TestLoadPictureForSize)
#include "tst_loadpicture_forsize.moc"

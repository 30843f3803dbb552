// Metafile play work, measured: the dense scatter plot drawn whole at its
// natural size within 2 s and its preview faster, the heaviest inputs
// refused within a second, and the share of its work budget each corpus
// metafile uses (the calibration of playbudget.h). Exits 1 when a target is
// missed. Run by scripts/bench-playwork.
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "platform/metafile/metafile.h"
#include "platform/picture.h"
#include "platform/runtimeerror.h"
#include "support/densemetafile.h"

namespace {

constexpr qint64 kDenseNaturalMs = 2000;
constexpr qint64 kHeaviestMs = 1000;
constexpr int kRuns = 3;

// Best of kRuns, in milliseconds.
qint64 bestOf(const std::function<void()> &run)
{
    qint64 best = -1;
    for (int i = 0; i < kRuns; ++i) {
        QElapsedTimer t;
        t.start();
        run();
        const qint64 ms = t.elapsed();
        best = best < 0 ? ms : std::min(best, ms);
    }
    return best;
}

bool squareIsRed(const QImage &image)
{
    const QPointF centre = QRectF(vmtest::kDenseSquare).center();
    const QColor c
        = image.pixelColor(int(centre.x() * image.width() / 800), int(centre.y() * image.height() / 600));
    return c.red() > 200 && c.green() < 60 && c.blue() < 60;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    bool ok = true;
    QTemporaryDir dir;
    const QString dense = dir.filePath(QStringLiteral("scatter.emf"));
    {
        QFile f(dense);
        if (!f.open(QIODevice::WriteOnly) || f.write(vmtest::denseScatterEmf()) < 0)
            return 2;
    }

    // The viewer loads at natural size, the preview at the preview's size.
    int whole = 0;
    const qint64 natural = bestOf([&] { whole += squareIsRed(vm::LoadPicture(dense).image()); });
    // The preview area's device pixels at a scale factor of 2.
    const QSize previewSize(318, 302);
    const qint64 preview = bestOf(
        [&] { whole += squareIsRed(vm::LoadPictureForSize(dense, previewSize).render(previewSize)); });
    std::printf("dense scatter plot (%lld bytes): natural %lld ms (target %lld), preview %lld ms, %s\n",
        qint64(QFileInfo(dense).size()), natural, kDenseNaturalMs, preview,
        whole == 2 * kRuns ? "drawn whole" : "NOT WHOLE");
    ok = ok && whole == 2 * kRuns && natural <= kDenseNaturalMs && preview < natural;

    // The heaviest inputs: the vast-work file and the regressions.
    std::vector<std::pair<QString, QByteArray>> heavy { { QStringLiteral("vast-work stars"),
        vmtest::vastWorkEmf() } };
    for (QDirIterator it(QStringLiteral(VELMORA_TESTDATA_DIR "/regressions/wmf"), QDir::Files);
         it.hasNext();) {
        QFile f(it.next());
        if (f.open(QIODevice::ReadOnly))
            heavy.push_back({ QFileInfo(f).fileName(), f.readAll() });
    }
    for (const auto &[name, bytes] : heavy) {
        const QString path = dir.filePath(QStringLiteral("heavy"));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) < 0)
            return 2;
        f.close();
        QString outcome = QStringLiteral("drawn");
        const qint64 ms = bestOf([&] {
            try {
                vm::LoadPicture(path);
            } catch (const vm::RuntimeError &e) {
                outcome = e.Description();
            }
        });
        std::printf(
            "%s: %lld ms (target %lld), %s\n", qPrintable(name), ms, kHeaviestMs, qPrintable(outcome));
        ok = ok && ms <= kHeaviestMs;
    }

    // Calibration: the budget's use by every corpus metafile, at natural size.
    struct Use {
        QString file;
        double fraction;
    };
    std::vector<Use> uses;
    int refused = 0;
    const QDir corpus(QStringLiteral(VELMORA_CORPUS_DIR));
    for (const QString &sub : { QStringLiteral("emf"), QStringLiteral("wmf") }) {
        for (QDirIterator it(corpus.filePath(sub), QDir::Files, QDirIterator::Subdirectories);
             it.hasNext();) {
            const QString path = it.next();
            QFile f(path);
            if (!f.open(QIODevice::ReadOnly))
                continue;
            try {
                const QByteArray bytes = f.readAll();
                const auto m = sub == QLatin1String("emf") ? vm::openEmf(bytes) : vm::openWmf(bytes);
                vm::PlayWork work;
                m->render(m->naturalSize(), &work);
                if (work.limit > 0)
                    uses.push_back({ corpus.relativeFilePath(path), work.used / work.limit });
            } catch (const vm::RuntimeError &e) {
                if (e.number() == vm::Err::PictureTooComplex) {
                    ++refused;
                    std::printf("corpus file refused as too complex: %s\n", qPrintable(path));
                }
            }
        }
    }
    std::sort(uses.begin(), uses.end(), [](const Use &a, const Use &b) { return a.fraction > b.fraction; });
    std::printf("corpus: %zu metafiles played, %d refused; most budget used:\n", uses.size(), refused);
    for (size_t i = 0; i < std::min<size_t>(8, uses.size()); ++i)
        std::printf("  %6.2f %%  %s\n", 100 * uses[i].fraction, qPrintable(uses[i].file));
    ok = ok && refused == 0;
    std::printf(ok ? "all targets met\n" : "TARGET MISSED\n");
    return ok ? 0 : 1;
}

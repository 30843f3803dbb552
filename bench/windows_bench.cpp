// Measures in the program's own windows, driven as a user would.
#include <QAbstractItemView>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QtTest>

#include "alloccount.h"
#include "baselines.h"
#include "browser/form1.h"
#include "platform/format.h"
#include "platform/gdi.h"
#include "platform/picture.h"
#include "scenarios.h"
#include "support/recorder.h"
#include "support/windows.h"
#include "viewer/form2.h"

namespace bench {

int rowOf(const QString &file)
{
    const QString name = QFileInfo(file).fileName();
    for (int i = 0; i < Form1->File1->ListCount(); ++i) {
        if (Form1->File1->List(i) == name)
            return i;
    }
    qFatal("%s is not in the file list", qPrintable(name));
    return -1;
}

namespace {

// The size report a full decode gives, written as the browser writes it.
QString fullSizeReport(const QString &file)
{
    const vm::Picture p = vm::LoadPicture(file);
    return QStringLiteral("画像サイズ  幅=") + vm::Format(p.Width().value() / 1000.0, QStringLiteral("0.0#"))
        + QStringLiteral("cm, 高さ=") + vm::Format(p.Height().value() / 1000.0, QStringLiteral("0.0#"))
        + QStringLiteral("cm");
}

struct PreviewCase {
    QString label;
    QString file;
    bool jpeg;
    bool metafile;
};

void measurePreview(const Inputs &in, const Settings &s, std::vector<Row> &rows, QStringList &notes)
{
    vmtest::openFolder(in.pictures);
    vmtest::MsgBoxRecorder boxes;
    const QSize area = Form1->Image1->devicePictureArea().size();
    notes << QStringLiteral("Preview area %1 x %2 pixels.").arg(area.width()).arg(area.height());
    std::vector<PreviewCase> cases = {
        { QStringLiteral("Preview 6000x4000 JPEG"), in.photo24mp, true, false },
        { QStringLiteral("Preview 4000x3000 JPEG"), in.photo12mp, true, false },
        { QStringLiteral("Preview 1280x800 JPEG"), in.photo1mp, true, false },
        { QStringLiteral("Preview 4000x3000 BMP"), in.bitmap, false, false },
        { QStringLiteral("Preview 2000x1500 RLE"), in.rle, false, false },
    };
    if (!in.emf.isEmpty())
        cases.push_back({ QStringLiteral("Preview EMF (corpus)"), in.emf, false, true });
    if (!in.wmf.isEmpty())
        cases.push_back({ QStringLiteral("Preview WMF (corpus)"), in.wmf, false, true });

    for (const PreviewCase &c : cases) {
        const int row = rowOf(c.file);
        const QString expectedReport = fullSizeReport(c.file);
        Series ours { QStringLiteral("Velmora") };
        Series plain { c.metafile ? QStringLiteral("natural-size play, then preview play")
                                  : QStringLiteral("QImageReader + smooth scale") };
        Series eighth { QStringLiteral("libjpeg-turbo 1/8 decode") };
        Series pixbuf { QStringLiteral("gdk-pixbuf at scale") };
        bool shownRight = true;
        for (int i = 0; i < s.warmups + s.repeats; ++i) {
            const bool keep = i >= s.warmups;
            QImage shown;
            const Timing ms = timed([&] {
                vmtest::clickFile(row);
                shown = Form1->Image1->shownImage();
            });
            shownRight = shownRight && shown.size() == area && boxes.errorBoxes() == 0
                && Form1->StatusBar1->SimpleText() == expectedReport;
            if (keep)
                ours.add(ms);
            const Timing base = c.metafile ? timed([&] { (void)vm::LoadPicture(c.file).render(area); })
                                           : timed([&] { (void)qtDecodeAndScale(c.file, area); });
            if (keep)
                plain.add(base);
            if (c.jpeg) {
                const Timing e = timed([&] { (void)libjpegDecode(c.file, 8); });
                const Timing g = timed([&] { (void)pixbufAtScale(c.file, area); });
                if (keep) {
                    eighth.add(e);
                    pixbuf.add(g);
                }
            }
        }
        if (!shownRight)
            notes << QStringLiteral("**%1: the preview or its size report was wrong.**").arg(c.label);
        const bool big = c.file == in.photo24mp;
        rows.push_back({ c.label, ours, plain, big ? 0.5 : 0.0 });
        if (c.jpeg) {
            rows.push_back({ c.label, ours, eighth, big ? 1.2 : 0.0 });
            rows.push_back({ c.label, ours, pixbuf, big ? 1.0 : 0.0 });
        }
    }
}

void measureViewerAndPan(const Inputs &in, const Settings &s, std::vector<Row> &rows, QStringList &notes)
{
    // One open on its own: a worker reading the neighbours ahead would share
    // the cores with it and with the baseline.
    const ReadAheadOff quiet;
    vmtest::openFolder(in.pictures);
    vmtest::MsgBoxRecorder boxes;
    const int row = rowOf(in.photo24mp);
    vmtest::clickFile(row);
    Series open { QStringLiteral("Velmora") };
    Series decode { QStringLiteral("libjpeg-turbo full decode into malloc'd memory") };
    bool laidOut = true;
    for (int i = 0; i < s.warmups + s.repeats; ++i) {
        Form1->hide();
        const Timing ms = timed([&] {
            Form2.Show();
            QCoreApplication::processEvents();
        });
        laidOut = laidOut && Form2->Picture1->isVisible() && !Form2->Picture1->surface().isNull();
        vmtest::triggerMenu("Form2", "ChanceViewMenu");
        QCoreApplication::processEvents();
        const Timing base = timed([&] { (void)libjpegDecode(in.photo24mp, 1); });
        if (i >= s.warmups) {
            open.add(ms);
            decode.add(base);
        }
    }
    if (!laidOut || boxes.errorBoxes() != 0)
        notes << QStringLiteral("**Viewer: the picture was not laid out.**");
    rows.push_back({ QStringLiteral("Viewer open 6000x4000 JPEG"), open, decode, 0.9 });

    // Pan: the viewer open on the same photo, the horizontal thumb dragged.
    Form1->hide();
    Form2.Show();
    QCoreApplication::processEvents();
    vm::HScrollBar *bar = Form2->HScroll1;
    const QSize view = Form2->Picture1->size();
    const QImage &picture = Form2->Image1->surface();
    QImage target(view, picture.format());
    Series step { QStringLiteral("Velmora") };
    Series copy { QStringLiteral("memcpy per row") };
    // Heap allocations: of the whole scroll event as a fast drag delivers it
    // (no repaint since the last one), of the same after a repaint, and of
    // the block copy alone as PaintView makes it.
    quint64 allocsDragging = 0;
    quint64 allocsAfterRepaint = 0;
    quint64 allocsCopy = 0;
    double repaintMs = 0;
    int repaints = 0;
    bar->setSliderDown(true);
    const int events = (s.warmups + s.repeats) * 4;
    for (int i = 0; i < events; ++i) {
        int value = 1 + (i * 997) % std::max(1, bar->maximum() - 1);
        if (value == bar->value())
            ++value;
        const bool afterRepaint = i % 2 == 0 && i > 0;
        quint64 before = allocationCount();
        const Timing ms = timed([&] { bar->setValue(value); });
        const quint64 used = allocationCount() - before;
        before = allocationCount();
        vm::BitBlt(Form2->Picture1->hDC(), 0, 0, view.width(), view.height(), Form2->Image1->hDC(), value, 0,
            vm::SRCCOPY);
        const quint64 usedByCopy = allocationCount() - before;
        const Timing base = timed([&] { copyBlock(target, picture, value, 0); });
        if (i >= s.warmups * 4) {
            step.add(ms);
            copy.add(base);
            quint64 &worst = afterRepaint ? allocsAfterRepaint : allocsDragging;
            worst = std::max(worst, used);
            allocsCopy = std::max(allocsCopy, usedByCopy);
        }
        // Every second event the window repaints before the next one.
        if (i % 2 == 1) {
            repaintMs += timed([] { QCoreApplication::processEvents(); }).wall;
            ++repaints;
        }
    }
    bar->setSliderDown(false);
    rows.push_back(
        { QStringLiteral("Pan step, view %1x%2").arg(view.width()).arg(view.height()), step, copy, 2.0 });
    notes << QStringLiteral(
        "Pan: heap allocations per scroll event, at most: %1 during a drag between repaints, "
        "%2 in the first event after a repaint, %3 in the block copy (PaintView's BitBlt). "
        "The window's repaint after a step took %4 ms on average.")
                 .arg(allocsDragging)
                 .arg(allocsAfterRepaint)
                 .arg(allocsCopy)
                 .arg(repaints ? repaintMs / repaints : 0.0, 0, 'f', 2);
    vmtest::triggerMenu("Form2", "ChanceViewMenu");
    QCoreApplication::processEvents();
}

void measureFolder(const Inputs &in, const Settings &s, std::vector<Row> &rows, QStringList &notes)
{
    vmtest::MsgBoxRecorder boxes;
    Series fill { QStringLiteral("Velmora") };
    Series bare { QStringLiteral("readdir + match + sort") };
    qsizetype listed = 0;
    qsizetype expected = 0;
    for (int i = 0; i < s.warmups + s.repeats; ++i) {
        const Timing ms = timed([&] { Form1->File1->setPath(in.bigFolder); });
        listed = Form1->File1->ListCount();
        Form1->File1->setPath(in.pictures); // a small folder between runs, as a user moves on
        QStringList names;
        const Timing base = timed([&] { names = bareListing(in.bigFolder); });
        expected = names.size();
        if (i >= s.warmups) {
            fill.add(ms);
            bare.add(base);
        }
    }
    if (listed != expected)
        notes << QStringLiteral("**Folder: listed %1 files, expected %2.**").arg(listed).arg(expected);
    rows.push_back({ QStringLiteral("Folder of 20 000 files (%1 pictures)").arg(listed), fill, bare, 2.0 });

    // Opening a folder of 20 000 subfolders in the folder list, whose change
    // lists the folder's files as well: two listings, as in the baseline.
    Series open { QStringLiteral("Velmora") };
    Series bareOpen { QStringLiteral("readdir + sort, folders and files") };
    int shown = 0;
    for (int i = 0; i < s.warmups + s.repeats; ++i) {
        const Timing ms = timed([&] { Form1->Dir1->setPath(in.manyFolders); });
        shown = Form1->Dir1->count();
        Form1->Dir1->setPath(in.pictures);
        const Timing base = timed([&] {
            (void)bareSubfolders(in.manyFolders);
            (void)bareListing(in.manyFolders);
        });
        if (i >= s.warmups) {
            open.add(ms);
            bareOpen.add(base);
        }
    }
    if (shown < 20000)
        notes << QStringLiteral("**Folder list: showed %1 entries, expected 20 000 and the parents.**")
                     .arg(shown);
    rows.push_back({ QStringLiteral("Folder list, 20 000 subfolders"), open, bareOpen, 2.0 });

    // Stepping through it with the arrow key: list, preview of a tiny picture
    // and size report, everything but a real decode.
    Form1->File1->setPath(in.bigFolder);
    Form1->File1->setListIndex(0);
    Form1->File1->setFocus();
    Series steps { QStringLiteral("Velmora") };
    Series frame { QStringLiteral("one frame at 60 Hz") };
    bool moved = true;
    for (int i = 0; i < (s.warmups + s.repeats) * 4; ++i) {
        const int before = Form1->File1->ListIndex();
        QImage shown;
        const Timing ms = timed([&] {
            QTest::keyClick(Form1->File1, Qt::Key_Down);
            shown = Form1->Image1->shownImage();
        });
        // Stepped, previewed, and the path box took the new file.
        moved = moved && Form1->File1->ListIndex() == before + 1 && !shown.isNull()
            && Form1->Text1->Text() == CurrentFilePath(*Form1->File1);
        if (i >= s.warmups) {
            steps.add(ms);
            frame.add(1000.0 / 60);
        }
    }
    if (!moved || boxes.errorBoxes() != 0)
        notes << QStringLiteral("**Folder: the arrow key did not step and preview.**");
    rows.push_back({ QStringLiteral("Arrow step in that folder"), steps, frame, 1.0 });
}

} // namespace

std::vector<Row> measureWindows(const Inputs &in, const Settings &s, QStringList &notes)
{
    std::vector<Row> rows;
    vmtest::startProgram();
    if (s.only.isEmpty()) {
        measurePreview(in, s, rows, notes);
        measureViewerAndPan(in, s, rows, notes);
    }
    if (s.only.isEmpty() || s.only == QLatin1String("folders"))
        measureFolder(in, s, rows, notes);
    if (s.only.isEmpty() || s.only == QLatin1String("stepping"))
        measureStepping(in, s, rows, notes);
    if (s.only.isEmpty() || s.only == QLatin1String("colour"))
        measureColour(in, s, rows, notes);
    vmtest::stopProgram();
    return rows;
}

} // namespace bench

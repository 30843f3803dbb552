// Hostile objects behind a listed picture name, met through the windows as a
// user meets them: a click in the file list, Enter in the path box, the viewer
// opened on the file, and the viewer stepping onto it. Each gives exactly one
// error box, quickly and within the memory bound, keeps what the window is
// defined to keep, and leaves the program working.
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include "browser/form1.h"
#include "support/fixtures.h"
#include "support/hostile.h"
#include "support/hostilecases.h"
#include "support/recorder.h"
#include "support/windows.h"
#include "viewer/form2.h"

using namespace vmtest;

namespace {

constexpr qint64 kSlowMs = 5000; // generous; the real figures are reported
const QString kGoodReport = QStringLiteral("画像サイズ  幅=10.0cm, 高さ=5.0cm"); // 378 x 189 at 3780 px/m
const QString kStableReport = QStringLiteral("画像サイズ  幅=4.48cm, 高さ=2.26cm"); // 127 x 64 at 2835 px/m

double memoryBoundMb()
{
    return sanitizedBuild() ? 1800.0 : 700.0;
}

enum Route { Click, Enter, ViewerOpens, ViewerSteps };
const char *const kRouteNames[] = { "click", "Enter", "viewer opened on it", "viewer steps onto it" };

} // namespace

class TestHostileWindows : public QObject {
    Q_OBJECT

    ScratchFolder m_dir;
    QString m_stable; // a good picture outside the hostile folders
    QMap<int, qint64> m_slowestMs;

    QString goodPath(const QString &folder) const { return folder + QStringLiteral("/a_good.bmp"); }

    // After the hostile step: a good picture typed into the path box previews.
    void programStillWorks(MsgBoxRecorder &boxes)
    {
        boxes.clear();
        Form1->Text1->setText(m_stable);
        pressInPathBox(Qt::Key_Return);
        QCOMPARE(boxes.count(), 0);
        QCOMPARE(Form1->StatusBar1->SimpleText(), kStableReport);
        QCOMPARE(Form1->Image1->Picture().pixelSize(), QSize(127, 64));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_stable = m_dir.filePath(QStringLiteral("stable.bmp"));
        writeBmp(m_stable, 127, 64, 2835, Qt::blue);
    }

    void cleanupTestCase()
    {
        for (auto it = m_slowestMs.cbegin(); it != m_slowestMs.cend(); ++it)
            qInfo("slowest hostile step by %s: %lld ms", kRouteNames[it.key()], it.value());
        qInfo("peak resident memory %.0f MB", peakResidentMb());
    }

    void cleanup() { stopProgram(); }

    void hostileFileGivesOneErrorBoxAndTheProgramGoesOn_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("route");
        const QList<HostileCase> cases = hostileCases();
        for (int route : { Click, Enter, ViewerOpens, ViewerSteps })
            for (int i = 0; i < cases.size(); ++i)
                QTest::addRow("%s: %s", kRouteNames[route], qPrintable(cases[i].name)) << i << route;
    }
    void hostileFileGivesOneErrorBoxAndTheProgramGoesOn()
    {
        QFETCH(int, index);
        QFETCH(int, route);
        const HostileCase c = hostileCases().at(index);
        const QString folder = m_dir.newFolder();
        QVERIFY(!folder.isEmpty());
        const QString good = goodPath(folder);
        const QString path = folder + QLatin1Char('/') + c.fileName;
        writeBmp(good, 378, 189);
        writeBmp(path, 20, 10); // listed as an ordinary picture, armed later

        startProgram();
        MsgBoxRecorder boxes;
        openFolder(folder);
        QCOMPARE(Form1->File1->ListCount(), 2);
        clickFile(0);
        QCOMPARE(boxes.count(), 0);
        QCOMPARE(Form1->StatusBar1->SimpleText(), kGoodReport);
        if (route == ViewerSteps) {
            doubleClickFile(0);
            QVERIFY(Form2.isLoaded());
        }
        const QImage previewBefore = Form1->Image1->Picture().image();
        c.arm(path);
        boxes.clear();

        QElapsedTimer timer;
        timer.start();
        switch (route) {
        case Click:
            clickFile(1);
            break;
        case Enter:
            Form1->Text1->setText(path);
            pressInPathBox(Qt::Key_Return);
            break;
        case ViewerOpens:
            Form1->File1->setListIndex(1); // selects without a click
            Q_EMIT Form1->File1->DblClick();
            break;
        case ViewerSteps:
            triggerMenu("Form2", "NextMenu");
            break;
        }
        const qint64 ms = timer.elapsed();
        m_slowestMs[route] = qMax(m_slowestMs.value(route), ms);
        QVERIFY2(ms < kSlowMs, qPrintable(QStringLiteral("%1 ms").arg(ms)));
        QVERIFY2(
            peakResidentMb() < memoryBoundMb(), qPrintable(QStringLiteral("%1 MB").arg(peakResidentMb())));

        const bool failed = boxes.count() > 0;
        QVERIFY2(boxes.count() <= 1, qPrintable(QStringLiteral("%1 boxes").arg(boxes.count())));
        QCOMPARE(boxes.errorBoxes(), boxes.count());
        if (c.mustFail)
            QVERIFY2(failed, "the hostile file was shown as a picture");

        if (route == Click || route == Enter) {
            QVERIFY(Form1->isVisible());
            if (failed) {
                QCOMPARE(Form1->StatusBar1->SimpleText(), kGoodReport);
                QCOMPARE(Form1->Image1->Picture().image(), previewBefore);
                // A failed click leaves the path box; Enter leaves what was typed.
                QCOMPARE(Form1->Text1->Text(), route == Click ? good : path);
            }
        } else {
            QVERIFY(Form2.isLoaded());
            QVERIFY(Form1->isHidden());
            QCOMPARE(Form2->Caption(), c.fileName);
            QCOMPARE(Form1->Text1->Text(), path);
            if (failed) { // no picture rather than the previous one under this name
                QVERIFY(!Form2->Image1->Visible() && !Form2->Picture1->Visible());
                QVERIFY(!Form2->HScroll1->isVisible() && !Form2->VScroll1->isVisible());
            }

            // Back to the browser: its preview of the current file reports
            // the same failure once more, and the browser is shown all the same.
            boxes.clear();
            triggerMenu("Form2", "ChanceViewMenu");
            QVERIFY(!Form2.isLoaded());
            QVERIFY(Form1->isVisible());
            QCOMPARE(boxes.count(), failed ? 1 : 0);
        }

        if (QFile::exists(good)) {
            boxes.clear();
            clickFile(0);
            QCOMPARE(boxes.count(), 0);
            QCOMPARE(Form1->StatusBar1->SimpleText(), kGoodReport);
        }
        programStillWorks(boxes);
    }
};

QTEST_MAIN(TestHostileWindows)
#include "tst_hostile_windows.moc"

// The viewer with reading ahead: Ctrl+N and Ctrl+B onto a prepared neighbour
// show it without a decode; a neighbour that went away gives the usual box;
// leaving the viewer while a neighbour is being read drops it safely.
#include "browser/form1.h"
#include "platform/readahead.h"
#include "support/fixtures.h"
#include "support/recorder.h"
#include "support/windows.h"
#include "viewer/form2.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace vmtest;
namespace ra = vm::readahead;

namespace {

const QList<QColor> kColours = { Qt::red, Qt::green, Qt::blue, Qt::yellow };

QColor shownCentre()
{
    const vm::Picture picture = Form2->Image1->Picture();
    const QImage &image = picture.image();
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

} // namespace

class TestViewerReadAhead : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path(int i) const { return m_dir.filePath(QStringLiteral("p%1.bmp").arg(i)); }

    void openViewerOn(int row)
    {
        openFolder(m_dir.path());
        clickFile(row);
        doubleClickFile(row);
        QVERIFY(Form2.isLoaded());
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        for (int i = 0; i < kColours.size(); ++i)
            writeBmp(path(i), 900, 700, 3780, kColours[i]);
    }
    void init() { startProgram(); }
    void cleanup()
    {
        stopProgram();
        ra::dropAll();
        QVERIFY(ra::waitIdle(20000));
    }

    void stepsOntoAPreparedNeighbourShowItWithoutADecode()
    {
        MsgBoxRecorder boxes;
        openViewerOn(1);
        QTRY_COMPARE(ra::heldNames().size(), 2);
        QVERIFY(ra::waitIdle(20000));

        ra::Counters before = ra::counters();
        triggerMenu("Form2", "NextMenu");
        QCOMPARE(ra::counters().hits, before.hits + 1);
        QCOMPARE(ra::counters().loaderDecodes, before.loaderDecodes);
        QCOMPARE(Form2->Caption(), QStringLiteral("p2.bmp"));
        QCOMPARE(shownCentre(), kColours[2]);
        QCOMPARE(Form2->Image1->Picture().pixelSize(), QSize(900, 700));

        QTRY_COMPARE(ra::heldNames().size(), 2);
        QVERIFY(ra::waitIdle(20000));
        before = ra::counters();
        triggerMenu("Form2", "BackMenu");
        QCOMPARE(ra::counters().hits, before.hits + 1);
        QCOMPARE(ra::counters().loaderDecodes, before.loaderDecodes);
        QCOMPARE(shownCentre(), kColours[1]);
        QCOMPARE(boxes.count(), 0);
    }

    void aPreparedNeighbourRemovedMeanwhileGivesTheUsualBox()
    {
        MsgBoxRecorder boxes;
        const QString gone = m_dir.filePath(QStringLiteral("p9.bmp"));
        writeBmp(gone, 900, 700);
        openViewerOn(3);
        QTRY_VERIFY(ra::heldNames().contains(gone));
        QVERIFY(QFile::remove(gone));
        triggerMenu("Form2", "NextMenu");
        QCOMPARE(boxes.errorBoxes(), 1);
        QCOMPARE(boxes.calls().first().prompt, QStringLiteral("ファイルが見つかりません。"));
        QCOMPARE(Form1->Text1->Text(), gone);
    }

    void leavingTheViewerWhileANeighbourIsReadDropsItSafely()
    {
        MsgBoxRecorder boxes;
        const QString big = m_dir.filePath(QStringLiteral("p2.bmp"));
        writeBmp(big, 5000, 4000, 3780, kColours[2]);
        openViewerOn(1);
        // The rest has passed and a worker is busy with the big neighbour.
        QTRY_VERIFY(!ra::waitIdle(0) || ra::heldNames().contains(big));
        triggerMenu("Form2", "ChanceViewMenu");
        QVERIFY(!Form2.isLoaded() || Form2->isHidden());
        QVERIFY(ra::waitIdle(20000));
        QVERIFY2(ra::heldNames().isEmpty(), "a full-size picture outlived the viewer");
        QCOMPARE(Form1->Text1->Text(), path(1));
        QCOMPARE(boxes.count(), 0);
        writeBmp(big, 900, 700, 3780, kColours[2]);
    }
};

QTEST_MAIN(TestViewerReadAhead)
#include "tst_viewer_readahead.moc"

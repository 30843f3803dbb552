// The browser with reading ahead: a resting selection's neighbour previews
// without a decode and reports what a decode would; a held arrow key moves
// the selection once per key but previews only where it stops.
#include "viewer/form2.h"
#include "browser/form1.h"
#include "platform/readahead.h"
#include "support/fixtures.h"
#include "support/recorder.h"
#include "support/windows.h"

#include <QKeyEvent>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <chrono>

using namespace vmtest;
namespace ra = vm::readahead;

namespace {

const QList<QColor> kColours = { Qt::red, Qt::green, Qt::blue, Qt::yellow, Qt::cyan, Qt::magenta, Qt::gray,
    Qt::darkRed, Qt::darkGreen, Qt::darkBlue };

qint64 steadyMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

QKeyEvent *downKey(qint64 timestamp)
{
    auto *event = new QKeyEvent(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier, QString(), true);
    event->setTimestamp(quint64(timestamp));
    return event;
}

QColor shownCentre()
{
    const QImage shown = Form1->Image1->shownImage();
    return shown.pixelColor(shown.width() / 2, shown.height() / 2);
}

} // namespace

class TestBrowserReadAhead : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path(int i) const { return m_dir.filePath(QStringLiteral("p%1.bmp").arg(i)); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // Large enough that each preview takes a while; each its own colour.
        for (int i = 0; i < kColours.size(); ++i)
            writeBmp(path(i), 1600 + i, 1200, 3780, kColours[i]);
    }
    void init() { startProgram(); }
    void cleanup()
    {
        stopProgram();
        ra::dropAll();
        QVERIFY(ra::waitIdle(20000));
    }

    void anArrowStepAfterARestPreviewsWithoutADecode()
    {
        MsgBoxRecorder boxes;
        openFolder(m_dir.path());
        clickFile(2);
        QTRY_COMPARE(ra::heldNames().size(), 2);
        QVERIFY(ra::waitIdle(20000));

        const ra::Counters before = ra::counters();
        QTest::keyClick(Form1->File1, Qt::Key_Down);
        QCOMPARE(ra::counters().hits, before.hits + 1);
        QCOMPARE(ra::counters().loaderDecodes, before.loaderDecodes);
        QCOMPARE(Form1->Text1->Text(), path(3));
        QCOMPARE(shownCentre(), kColours[3]);
        QCOMPARE(Form1->StatusBar1->SimpleText(), QStringLiteral("画像サイズ  幅=42.41cm, 高さ=31.75cm"));

        QTRY_COMPARE(ra::heldNames().size(), 2); // rested again: 4 and 2 prepared
        QVERIFY(ra::waitIdle(20000));
        QTest::keyClick(Form1->File1, Qt::Key_Up);
        QCOMPARE(ra::counters().hits, before.hits + 2);
        QCOMPARE(shownCentre(), kColours[2]);
        QCOMPARE(boxes.count(), 0);
    }

    void keysQueuedBehindASlowPreviewMoveOnceEachAndPreviewWhereTheyStop_data()
    {
        QTest::addColumn<int>("queued");
        QTest::newRow("one") << 1;
        QTest::newRow("five") << 5;
    }
    void keysQueuedBehindASlowPreviewMoveOnceEachAndPreviewWhereTheyStop()
    {
        QFETCH(int, queued);
        MsgBoxRecorder boxes;
        ra::setEnabled(false); // every preview a real decode
        openFolder(m_dir.path());
        clickFile(0);
        QSignalSpy clicks(Form1->File1, &vm::FileListBox::Click);

        // The first key comes at once and previews at once.
        const qint64 pressed = steadyMs();
        QScopedPointer<QKeyEvent> first(downKey(pressed));
        QApplication::sendEvent(Form1->File1, first.data());
        QCOMPARE(clicks.count(), 1);
        QCOMPARE(Form1->Text1->Text(), path(1));

        // Repeats made while that preview ran have waited in the queue.
        const ra::Counters before = ra::counters();
        for (int i = 0; i < queued; ++i)
            QCoreApplication::postEvent(Form1->File1, downKey(pressed));
        QTRY_COMPARE(Form1->File1->ListIndex(), 1 + queued);
        QTRY_COMPARE(clicks.count(), 2);
        QCoreApplication::processEvents();
        QCOMPARE(clicks.count(), 2);
        QCOMPARE(ra::counters().loaderDecodes - before.loaderDecodes, 1u);
        QCOMPARE(Form1->Text1->Text(), path(1 + queued));
        QCOMPARE(shownCentre(), kColours[1 + queued]);
        QCOMPARE(boxes.count(), 0);
        ra::setEnabled(true);
    }
};

QTEST_MAIN(TestBrowserReadAhead)
#include "tst_browser_readahead.moc"

// The windows under a real X server and window manager, where the manager,
// not the program, has the last word on where a window goes. CTest runs this
// through tools/with-window-manager.sh; on its own, without X11, it skips.
#include "browser/form1.h"
#include "support/recorder.h"
#include "support/windows.h"
#include "viewer/form2.h"

#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "support/fixtures.h"

using namespace vmtest;

class TestWindowManager : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    // Moves a window the way a user's drag does: through the window
    // manager, behind the program's back.
    static bool userMoves(QWidget *window, QPoint to)
    {
        QProcess xdotool;
        xdotool.start(QStringLiteral("xdotool"),
            { QStringLiteral("windowmove"), QString::number(window->winId()), QString::number(to.x()),
                QString::number(to.y()) });
        return xdotool.waitForFinished(10000) && xdotool.exitCode() == 0;
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("Needs an X server with a window manager");
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            QSKIP("Needs xdotool to move windows as a user does");
        QVERIFY(m_dir.isValid());
        writeMarkedBmp(m_dir.filePath(QStringLiteral("a.bmp")), 40, 30);
        writeMarkedBmp(m_dir.filePath(QStringLiteral("b.bmp")), 50, 30);
    }

    void init() { startProgram(); }
    void cleanup() { stopProgram(); }

    void theBrowserComesBackWhereTheUserLeftIt()
    {
        MsgBoxRecorder boxes;
        QVERIFY(QTest::qWaitForWindowExposed(Form1.peek(), 30000));
        const QPoint start = Form1->frameGeometry().topLeft();
        QVERIFY(userMoves(Form1.peek(), QPoint(333, 222)));
        QTRY_VERIFY(Form1->frameGeometry().topLeft() != start);
        QTest::qWait(200);
        // The inner area's place: the frame's is known only once the manager
        // has told its size, which may come after the window is shown again.
        const QPoint place = Form1->geometry().topLeft();

        openFolder(m_dir.path());
        doubleClickFile(0);
        QVERIFY(Form2.isLoaded());
        QVERIFY(QTest::qWaitForWindowExposed(Form2.peek(), 30000));
        triggerMenu("Form2", "NextMenu");
        triggerMenu("Form2", "ChanceViewMenu");
        QVERIFY(QTest::qWaitForWindowExposed(Form1.peek(), 30000));
        QTest::qWait(300); // a manager that places a window does so once mapped
        QTRY_COMPARE(Form1->geometry().topLeft(), place);
        QCOMPARE(boxes.count(), 0);
    }

    void theViewerStillOpensAtTheTopLeft()
    {
        MsgBoxRecorder boxes;
        QVERIFY(QTest::qWaitForWindowExposed(Form1.peek(), 30000));
        QVERIFY(userMoves(Form1.peek(), QPoint(150, 120)));
        openFolder(m_dir.path());
        doubleClickFile(0);
        QVERIFY(QTest::qWaitForWindowExposed(Form2.peek(), 30000));
        QTRY_COMPARE(Form2->frameGeometry().topLeft(), QPoint(0, 0));
        QCOMPARE(boxes.count(), 0);
    }
};

QTEST_MAIN(TestWindowManager)
#include "tst_window_manager.moc"

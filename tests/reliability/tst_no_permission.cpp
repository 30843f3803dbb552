// A file and a folder the user may not read. Root reads everything, so when
// started as root this program re-runs itself as the unprivileged user
// "nobody" in a child process and reports the child's result.
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdlib>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "browser/form1.h"
#include "platform/controls/dirlistbox.h"
#include "platform/picture.h"
#include "platform/runtimeerror.h"
#include "support/fixtures.h"
#include "support/recorder.h"
#include "support/windows.h"
#include "viewer/form2.h"

using namespace vmtest;

namespace {

constexpr qint64 kSlowMs = 5000;
const char *const kDroppedVariable = "VELMORA_TEST_DROPPED_PRIVILEGES";
const QString kGoodReport = QStringLiteral("画像サイズ  幅=10.0cm, 高さ=5.0cm");

void chmodPath(const QString &path, mode_t mode)
{
    QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode), 0);
}

} // namespace

class TestNoPermission : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_folder; // readable, with a good picture and an unreadable one
    QString m_closed; // a folder with no permissions at all
    QString m_good;
    QString m_unreadable;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(geteuid() != 0, "runs as an unprivileged user only; root reads every file");
        QVERIFY(m_dir.isValid());
        m_folder = m_dir.filePath(QStringLiteral("pictures"));
        m_closed = m_dir.filePath(QStringLiteral("closed"));
        QVERIFY(QDir().mkpath(m_folder));
        QVERIFY(QDir().mkpath(m_closed));
        m_good = m_folder + QStringLiteral("/a_good.bmp");
        m_unreadable = m_folder + QStringLiteral("/b_unreadable.bmp");
        writeBmp(m_good, 378, 189);
        writeBmp(m_unreadable, 40, 30);
        writeBmp(m_closed + QStringLiteral("/inside.bmp"), 40, 30);
        chmodPath(m_unreadable, 0);
        chmodPath(m_closed, 0);
    }

    void cleanupTestCase()
    {
        if (!m_closed.isEmpty())
            chmodPath(m_closed, 0700); // so the temporary folder can be removed
    }

    void cleanup() { stopProgram(); }

    void loaderReportsPermissionDenied_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("file without read permission") << m_unreadable;
        QTest::newRow("picture in a folder without permission") << m_closed + QStringLiteral("/inside.bmp");
    }
    void loaderReportsPermissionDenied()
    {
        QFETCH(QString, path);
        try {
            vm::LoadPicture(path);
            QFAIL("loaded");
        } catch (const vm::RuntimeError &e) {
            QCOMPARE(e.number(), vm::Err::PermissionDenied);
        }
    }

    void unreadablePictureGivesOneBoxInEveryWindow_data()
    {
        QTest::addColumn<QString>("route");
        QTest::newRow("click") << "click";
        QTest::newRow("Enter on a file without permission") << "enter-file";
        QTest::newRow("Enter on a picture in a closed folder") << "enter-folder";
        QTest::newRow("viewer") << "viewer";
    }
    void unreadablePictureGivesOneBoxInEveryWindow()
    {
        QFETCH(QString, route);
        startProgram();
        MsgBoxRecorder boxes;
        openFolder(m_folder);
        QCOMPARE(Form1->File1->ListCount(), 2); // listed: the name is readable
        clickFile(0);
        QCOMPARE(boxes.count(), 0);
        const QImage before = Form1->Image1->Picture().image();

        QElapsedTimer timer;
        timer.start();
        if (route == QLatin1String("click")) {
            clickFile(1);
        } else if (route == QLatin1String("viewer")) {
            Form1->File1->setListIndex(1);
            Q_EMIT Form1->File1->DblClick();
        } else {
            Form1->Text1->setText(route == QLatin1String("enter-file")
                    ? m_unreadable
                    : m_closed + QStringLiteral("/inside.bmp"));
            pressInPathBox(Qt::Key_Return);
        }
        const qint64 ms = timer.elapsed();
        qInfo("%s: %lld ms", qPrintable(route), ms);
        QVERIFY(ms < kSlowMs);
        QCOMPARE(boxes.count(), 1);
        QCOMPARE(boxes.errorBoxes(), 1);
        QCOMPARE(boxes.calls().first().prompt, vm::describe(vm::Err::PermissionDenied));

        if (route == QLatin1String("viewer")) {
            QVERIFY(Form2.isLoaded());
            QVERIFY(!Form2->Image1->Visible() && !Form2->Picture1->Visible());
            triggerMenu("Form2", "BackMenu");
            QCOMPARE(boxes.count(), 1);
            QVERIFY(Form2->Image1->Visible());
            triggerMenu("Form2", "ChanceViewMenu");
            QCOMPARE(boxes.count(), 1);
        } else {
            QCOMPARE(Form1->StatusBar1->SimpleText(), kGoodReport);
            QCOMPARE(Form1->Image1->Picture().image(), before);
        }
        clickFile(0);
        QCOMPARE(boxes.count(), 1);
        QCOMPARE(Form1->Text1->Text(), m_good);
    }

    void closedFolderOpenedByTheUserGivesOneBoxAndTheListsStay()
    {
        startProgram();
        MsgBoxRecorder boxes;
        openFolder(m_dir.path());
        QListWidgetItem *closed = nullptr;
        for (int i = 0; i < Form1->Dir1->count(); ++i)
            if (vm::DirListBox::folderOf(Form1->Dir1->item(i)) == m_closed)
                closed = Form1->Dir1->item(i);
        QVERIFY(closed);
        Form1->Dir1->setCurrentItem(closed);
        QTest::keyClick(Form1->Dir1, Qt::Key_Return);
        QCOMPARE(boxes.count(), 1);
        QCOMPARE(boxes.calls().first().prompt, vm::describe(vm::Err::PermissionDenied));
        QCOMPARE(Form1->Dir1->Path(), m_dir.path());
        QCOMPARE(Form1->File1->Path(), m_dir.path());
    }
};

// As root, run this very program again as "nobody" and pass its result on.
static int runUnprivileged(int argc, char **argv)
{
    const passwd *nobody = getpwnam("nobody");
    if (!nobody) {
        fprintf(stderr, "no user \"nobody\" to run as\n");
        return 1;
    }
    const pid_t child = fork();
    if (child < 0)
        return 1;
    if (child == 0) {
        if (setgroups(0, nullptr) != 0 || setgid(nobody->pw_gid) != 0 || setuid(nobody->pw_uid) != 0)
            _exit(1);
        setenv(kDroppedVariable, "1", 1);
        setenv("HOME", "/tmp", 1);
        setenv("TMPDIR", "/tmp", 1);
        unsetenv("XDG_RUNTIME_DIR");
        execv("/proc/self/exe", argv);
        perror("cannot run the test as nobody (can that user reach the build folder?)");
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) { }
    if (WIFSIGNALED(status)) {
        fprintf(stderr, "the unprivileged run died of signal %d\n", WTERMSIG(status));
        return 1;
    }
    return WEXITSTATUS(status);
}

int main(int argc, char **argv)
{
    if (geteuid() == 0 && !getenv(kDroppedVariable))
        return runUnprivileged(argc, argv);
    QApplication app(argc, argv);
    TestNoPermission test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_no_permission.moc"

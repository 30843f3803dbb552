// The folder list and the drive list: what the folder list shows, which
// actions open a folder and raise Change, how drives hand over their current
// folder, and how failures leave both lists.
#include <QDir>
#include <QScopeGuard>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/fixtures.h"
#include "platform/controls/dirlistbox.h"
#include "platform/controls/drivelistbox.h"
#include "platform/controls/filelistbox.h"
#include "platform/files/drives.h"
#include "platform/runtime.h"
#include "platform/runtimeerror.h"
#include "support/windows.h"

using namespace vm;

namespace {

QStringList texts(const DirListBox &list)
{
    QStringList out;
    for (int i = 0; i < list.count(); ++i)
        out.append(list.item(i)->text());
    return out;
}

int rowOf(const DirListBox &list, const QString &text)
{
    for (int i = 0; i < list.count(); ++i) {
        if (list.item(i)->text() == text)
            return i;
    }
    return -1;
}

} // namespace

class TestDirLists : public QObject {
    Q_OBJECT

    vmtest::ByteSafeTemporaryDir m_tmp;
    QString m_base; // <tmp>/a/b with subfolders X1, x2, x10, a hidden one and a file
    QByteArray m_table;
    QList<RuntimeError> m_reported;

    // A fabricated mount table: "/" plus a card mounted at <tmp>/card.
    void mountCard(bool mounted)
    {
        m_table.clear();
        if (mounted) {
            m_table = "30 27 8:17 / " + QFile::encodeName(m_tmp.filePath("card")) + " rw - vfat "
                + QFile::encodeName(m_tmp.filePath("sdz1")) + " rw\n";
        }
    }
    QString cardText() const { return m_tmp.filePath("card") + " [CARD]"; }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_tmp.isValid());
        m_base = m_tmp.filePath("a/b");
        for (const char *sub : { "X1", "x2", "x10", ".hidden" })
            QVERIFY(QDir(m_base).mkpath(sub));
        QVERIFY(QDir(m_tmp.path()).mkpath("card/DCIM/100"));
        QVERIFY(QDir(m_tmp.path()).mkpath("labels"));
        QFile file(m_base + "/file.txt");
        QVERIFY(file.open(QIODevice::WriteOnly));
        QFile device(m_tmp.filePath("sdz1"));
        QVERIFY(device.open(QIODevice::WriteOnly));
        QVERIFY(QFile::link(m_tmp.filePath("sdz1"), m_tmp.filePath("labels/CARD")));
    }

    void init()
    {
        drives::resetForTesting();
        mountCard(true);
        drives::setSourcesForTesting([this] { return m_table; }, m_tmp.filePath("labels"));
        m_reported.clear();
        setUserErrorReporter([this](const RuntimeError &e) { m_reported.append(e); });
    }
    void cleanup()
    {
        setUserErrorReporter({});
        drives::resetForTesting();
    }

    void showsParentsThenSubfolders()
    {
        DirListBox list;
        list.setPath(m_base);
        QStringList expected { "/" };
        expected += m_base.split('/', Qt::SkipEmptyParts);
        expected += QStringList { "X1", "x2", "x10" };
        QCOMPARE(texts(list), expected);
        // The open folder is highlighted; each entry names its full folder.
        QCOMPARE(DirListBox::folderOf(list.currentItem()), m_base);
        QCOMPARE(DirListBox::folderOf(list.item(0)), QStringLiteral("/"));
        QCOMPARE(DirListBox::folderOf(list.item(list.count() - 1)), m_base + "/x10");
    }

    void cardRootShowsItsLabel()
    {
        DirListBox list;
        list.setPath(m_tmp.filePath("card/DCIM"));
        QCOMPARE(texts(list), (QStringList { cardText(), "DCIM", "100" }));
    }

    void setPathNormalises_data()
    {
        QTest::addColumn<QString>("given");
        QTest::addColumn<int>("changes");
        QTest::newRow("the same folder") << "a/b" << 0;
        QTest::newRow("trailing slash") << "a/b/" << 0;
        QTest::newRow("doubled slash and dot") << "a//./b" << 0;
        QTest::newRow("through a parent") << "a/b/x2/.." << 0;
        QTest::newRow("a subfolder") << "a/b/x2" << 1;
        QTest::newRow("the parent") << "a" << 1;
    }
    void setPathNormalises()
    {
        QFETCH(QString, given);
        QFETCH(int, changes);
        DirListBox list;
        list.setPath(m_base);
        QSignalSpy spy(&list, &DirListBox::Change);
        list.setPath(m_tmp.path() + "/" + given);
        QCOMPARE(spy.count(), changes);
        QCOMPARE(list.Path(), QDir::cleanPath(m_tmp.path() + "/" + given));
        QVERIFY(!list.Path().endsWith('/'));
    }

    void changeRunsBeforeSetPathReturns()
    {
        DirListBox list;
        list.setPath(m_base);
        QString seen;
        connect(&list, &DirListBox::Change, &list, [&] { seen = list.Path(); });
        list.setPath(m_base + "/x2");
        QCOMPARE(seen, m_base + "/x2");
    }

    void userOpensWithEnterOrDoubleClick_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("opened");
        QTest::newRow("Enter on a subfolder") << "enter"
                                              << "x10"
                                              << "a/b/x10";
        QTest::newRow("double-click on a subfolder") << "double-click"
                                                     << "X1"
                                                     << "a/b/X1";
        QTest::newRow("double-click on a parent") << "double-click"
                                                  << "a"
                                                  << "a";
        QTest::newRow("click only highlights") << "click"
                                               << "x2"
                                               << "a/b";
        QTest::newRow("arrow keys only highlight") << "down"
                                                   << "x2"
                                                   << "a/b";
    }
    void userOpensWithEnterOrDoubleClick()
    {
        QFETCH(QString, action);
        QFETCH(QString, entry);
        QFETCH(QString, opened);
        DirListBox list;
        QVERIFY(vmtest::showListOn(list, m_base, QSize(300, 400)));
        QSignalSpy spy(&list, &DirListBox::Change);
        const int row = rowOf(list, entry);
        QVERIFY(row >= 0);
        const QPoint at = list.visualItemRect(list.item(row)).center();
        if (action == "enter") {
            list.setCurrentRow(row);
            QTest::keyClick(&list, Qt::Key_Return);
        } else if (action == "double-click") {
            QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, at);
        } else if (action == "click") {
            QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, at);
            QCOMPARE(list.currentRow(), row);
        } else {
            QTest::keyClick(&list, Qt::Key_Down);
        }
        const QString expected = m_tmp.filePath(opened);
        QCOMPARE(list.Path(), expected);
        QCOMPARE(spy.count(), expected == m_base ? 0 : 1);
    }

    void userOpenOfVanishedFolderIsReported()
    {
        DirListBox list;
        list.setPath(m_tmp.path());
        QVERIFY(QDir().mkdir(m_tmp.filePath("brief")));
        list.setPath(m_tmp.path());
        QVERIFY(QDir().rmdir(m_tmp.filePath("brief")));
        const int before = list.count();
        QSignalSpy spy(&list, &DirListBox::Change);
        list.setCurrentRow(rowOf(list, "brief"));
        QTest::keyClick(&list, Qt::Key_Enter);
        QCOMPARE(m_reported.size(), 1);
        QCOMPARE(m_reported.first().number(), Err::PathNotFound);
        QCOMPARE(list.Path(), m_tmp.path());
        QCOMPARE(list.count(), before);
        QCOMPARE(spy.count(), 0);
    }

    void failingSetPathLeavesListAsItWas_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("unmount");
        QTest::addColumn<int>("error");
        QTest::newRow("missing folder") << m_tmp.filePath("nothere") << false << int(Err::PathNotFound);
        QTest::newRow("a file") << m_base + "/file.txt" << false << int(Err::PathNotFound);
        QTest::newRow("empty") << QString() << false << int(Err::PathNotFound);
        QTest::newRow("card taken out, by its text")
            << QString("card") << true << int(Err::DeviceUnavailable);
        QTest::newRow("card taken out, a folder on it")
            << m_tmp.filePath("card/gone") << true << int(Err::DeviceUnavailable);
    }
    void failingSetPathLeavesListAsItWas()
    {
        QFETCH(QString, target);
        QFETCH(bool, unmount);
        QFETCH(int, error);
        if (target == "card")
            target = cardText();
        DirListBox list;
        list.setPath(m_base);
        list.setCurrentRow(rowOf(list, "x2"));
        (void)drives::list(); // the card is seen once before it goes
        if (unmount)
            mountCard(false);
        const QStringList before = texts(list);
        QSignalSpy spy(&list, &DirListBox::Change);
        try {
            list.setPath(target);
            QFAIL("the folder was taken");
        } catch (const RuntimeError &e) {
            QCOMPARE(int(e.number()), error);
        }
        QCOMPARE(list.Path(), m_base);
        QCOMPARE(texts(list), before);
        QCOMPARE(list.currentItem()->text(), QStringLiteral("x2"));
        QCOMPARE(spy.count(), 0);
    }

    void driveTextOpensItsCurrentFolder()
    {
        DirListBox list;
        list.setPath(m_tmp.filePath("card/DCIM/100"));
        list.setPath(m_base);
        QSignalSpy spy(&list, &DirListBox::Change);
        list.setPath(cardText());
        QCOMPARE(list.Path(), m_tmp.filePath("card/DCIM/100"));
        QCOMPARE(spy.count(), 1);
        list.setPath("/"); // the root drive went back to where it was left
        QCOMPARE(list.Path(), m_base);
    }

    void driveListChangeMovesFolderList_data()
    {
        QTest::addColumn<bool>("byUser");
        QTest::newRow("the program sets Drive") << false;
        QTest::newRow("the user picks an entry") << true;
    }
    void driveListChangeMovesFolderList()
    {
        QFETCH(bool, byUser);
        const QString startUp = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_base));
        drives::resetForTesting();
        drives::setSourcesForTesting([this] { return m_table; }, m_tmp.filePath("labels"));
        DriveListBox drive;
        DirListBox dir;
        QVERIFY(QDir::setCurrent(startUp));
        QCOMPARE(drive.Drive(), QStringLiteral("/"));
        QCOMPARE(dir.Path(), m_base);

        connect(&drive, &DriveListBox::Change, &dir, [&] { dir.setPath(drive.Drive()); });
        QSignalSpy spy(&drive, &DriveListBox::Change);
        if (byUser)
            drive.setCurrentIndex(drive.findText(cardText()));
        else
            drive.setDrive(cardText());
        QCOMPARE(spy.count(), 1);
        QCOMPARE(drive.Drive(), cardText());
        QCOMPARE(dir.Path(), m_tmp.filePath("card"));

        drive.setDrive(cardText()); // the same drive again
        drive.setDrive(m_tmp.filePath("card/DCIM")); // a path on it names the same drive
        QCOMPARE(spy.count(), 1);
    }

    // Where the lists start: the folder the program was started in, also when
    // it is named in bytes that are not UTF-8 (shown as the lists show such
    // names). One deleted since, with its parent, can no longer be named by
    // the system: the lists go to the nearest folder that still exists on the
    // shell's PWD, or home without one.
    void theListsStartWhereTheProgramWasStarted_data()
    {
        QTest::addColumn<QByteArray>("folder"); // below the test folder
        QTest::addColumn<bool>("deleted");
        QTest::addColumn<bool>("withPwd");
        QTest::addColumn<QString>("expected"); // below the test folder; "~" for home
        QTest::addColumn<QByteArray>("sibling"); // a folder made beside it first
        QTest::newRow("named in bytes that are not UTF-8")
            << QByteArray("bad") + char(0xFF) + "dir" << false << false << "bad\\xFFdir" << QByteArray();
        // The sibling's name is the start folder's preferred shown form.
        QTest::newRow("not UTF-8, beside a folder named as it would be shown")
            << QByteArray("twin") + char(0xFF) << false << false << "twin\\xFF~" << QByteArray("twin\\xFF");
        QTest::newRow("deleted since; PWD names it")
            << QByteArray("gone1/deeper") << true << true << "" << QByteArray();
        QTest::newRow("deleted since; no PWD")
            << QByteArray("gone2/deeper") << true << false << "~" << QByteArray();
    }
    void theListsStartWhereTheProgramWasStarted()
    {
        QFETCH(QByteArray, folder);
        QFETCH(bool, deleted);
        QFETCH(bool, withPwd);
        QFETCH(QString, expected);
        QFETCH(QByteArray, sibling);
        QByteArray raw = QFile::encodeName(m_tmp.path());
        if (!sibling.isEmpty())
            QVERIFY(::mkdir((raw + '/' + sibling).constData(), 0755) == 0);
        for (const QByteArray &part : folder.split('/')) {
            raw += '/' + part;
            QVERIFY(::mkdir(raw.constData(), 0755) == 0);
        }
        QVERIFY(::close(::creat((raw + "/a.jpg").constData(), 0644)) == 0);
        const QString startUp = QDir::currentPath();
        const QByteArray pwd = qgetenv("PWD");
        const auto restore = qScopeGuard([&] {
            QDir::setCurrent(startUp);
            qputenv("PWD", pwd);
        });
        QVERIFY(::chdir(raw.constData()) == 0);
        if (deleted) {
            QVERIFY(::unlink((raw + "/a.jpg").constData()) == 0);
            QVERIFY(::rmdir(raw.constData()) == 0);
            QVERIFY(::rmdir(raw.left(raw.lastIndexOf('/')).constData()) == 0);
        }
        if (withPwd)
            qputenv("PWD", raw);
        else
            qunsetenv("PWD");
        drives::resetForTesting();
        drives::setSourcesForTesting([this] { return m_table; }, m_tmp.filePath("labels"));
        DirListBox dir;
        FileListBox files;

        const QString want
            = expected == "~" ? QDir::homePath() : QDir::cleanPath(m_tmp.path() + '/' + expected);
        QCOMPARE(dir.Path(), want);
        if (!deleted) {
            QCOMPARE(files.Path(), want);
            QCOMPARE(files.ListCount(), 1);
        }
    }

    void driveTakenOutIsRefused()
    {
        DriveListBox drive;
        (void)drives::list();
        mountCard(false);
        const QString before = drive.Drive();
        QSignalSpy spy(&drive, &DriveListBox::Change);
        try {
            drive.setDrive(cardText());
            QFAIL("a drive that is gone was chosen");
        } catch (const RuntimeError &e) {
            QCOMPARE(e.number(), Err::DeviceUnavailable);
        }
        QCOMPARE(drive.Drive(), before);
        QCOMPARE(spy.count(), 0);
        drive.refresh();
        QCOMPARE(drive.findText(cardText()), -1);
    }
};

QTEST_MAIN(TestDirLists)
#include "tst_dirlists.moc"

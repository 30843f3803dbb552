// The file list: which entries it lists, in what order, its selection
// properties, and which user actions raise Click and DblClick.
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QLineEdit>
#include <QtTest>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/controls/filelistbox.h"
#include "platform/files/folderreader.h"
#include "platform/runtimeerror.h"
#include "support/windows.h"

using namespace vm;

namespace {

const QString picturePattern = QStringLiteral("*.bmp;*.ico;*.cur;*.jpg;*.jpe;*.jpeg;*.gif;*.wmf;*.emf;*.rle");

bool touch(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write("x", 1) == 1;
}

bool makeSocket(const QString &path)
{
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr {};
    addr.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    if (fd < 0 || size_t(name.size()) >= sizeof addr.sun_path)
        return false;
    memcpy(addr.sun_path, name.constData(), name.size());
    const bool ok = bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0;
    close(fd);
    return ok;
}

// Makes one entry of a given kind; "file" entries are plain files.
bool makeEntry(const QDir &dir, const QString &kind, const QString &name)
{
    const QString path = dir.filePath(name);
    if (kind == "file")
        return touch(path);
    if (kind == "folder")
        return dir.mkdir(name);
    if (kind == "fifo")
        return mkfifo(QFile::encodeName(path).constData(), 0644) == 0;
    if (kind == "socket")
        return makeSocket(path);
    if (kind == "link to file")
        return touch(dir.filePath("target.dat")) && QFile::link("target.dat", path);
    if (kind == "link to folder")
        return dir.mkdir("target.dir") && QFile::link("target.dir", path);
    if (kind == "broken link")
        return QFile::link("missing.dat", path);
    return false;
}

QStringList entries(const FileListBox &list)
{
    QStringList out;
    for (int i = 0; i < list.ListCount(); ++i)
        out.append(list.List(i));
    return out;
}

// Runs a check as an unprivileged user in a child process, since the tests
// usually run as root, whom permissions do not stop.
int runAsNobody(const std::function<bool()> &check)
{
    const pid_t child = fork();
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0)
            _exit(2);
        _exit(check() ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 3;
}

} // namespace

class TestFileList : public QObject {
    Q_OBJECT

    QTemporaryDir m_tmp;
    QString m_pictures; // a.jpg, b.gif, c.bmp, d.jpeg, e.rle

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_tmp.isValid());
        m_pictures = m_tmp.filePath("pictures");
        QVERIFY(QDir().mkpath(m_pictures));
        for (const char *name : { "a.jpg", "b.gif", "c.bmp", "d.jpeg", "e.rle", "notes.txt" })
            QVERIFY(touch(QDir(m_pictures).filePath(name)));
    }

    void listsOnlyMatchingRegularFiles_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("listed");
        QTest::newRow("jpeg") << "file"
                              << "photo.jpeg" << true;
        QTest::newRow("upper-case JPG") << "file"
                                        << "PHOTO.JPG" << true;
        QTest::newRow("mixed-case Gif") << "file"
                                        << "anim.Gif" << true;
        QTest::newRow("rle") << "file"
                             << "logo.rle" << true;
        QTest::newRow("jpe") << "file"
                             << "old.jpe" << true;
        QTest::newRow("png") << "file"
                             << "shot.png" << false;
        QTest::newRow("tif") << "file"
                             << "scan.tif" << false;
        QTest::newRow("extension inside the name") << "file"
                                                   << "a.jpg.bak" << false;
        QTest::newRow("extension only as the name") << "file"
                                                    << "jpg" << false;
        QTest::newRow("hidden picture") << "file"
                                        << ".thumb.jpg" << false;
        QTest::newRow("folder named like a picture") << "folder"
                                                     << "x.gif" << false;
        QTest::newRow("FIFO named like a picture") << "fifo"
                                                   << "pipe.bmp" << false;
        QTest::newRow("socket named like a picture") << "socket"
                                                     << "sock.ico" << false;
        QTest::newRow("link to a picture") << "link to file"
                                           << "link.jpg" << true;
        QTest::newRow("link to a folder") << "link to folder"
                                          << "dirlink.jpg" << false;
        QTest::newRow("broken link") << "broken link"
                                     << "gone.jpg" << false;
    }
    void listsOnlyMatchingRegularFiles()
    {
        QFETCH(QString, kind);
        QFETCH(QString, name);
        QFETCH(bool, listed);
        QTemporaryDir tmp;
        QVERIFY(makeEntry(QDir(tmp.path()), kind, name));
        FileListBox list;
        list.setPattern(picturePattern);
        list.setPath(tmp.path());
        QCOMPARE(entries(list).contains(name), listed);
        QCOMPARE(list.ListCount(), listed ? 1 : 0);
    }

    void patternWildcards_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("starting pattern lists every file")
            << QString() << QStringList { "a.jpg", "b.gif", "c.bmp", "d.jpeg", "e.rle", "notes.txt" };
        QTest::newRow("star dot star also lists names without a dot")
            << "*.*" << QStringList { "a.jpg", "b.gif", "c.bmp", "d.jpeg", "e.rle", "notes.txt" };
        QTest::newRow("one extension") << "*.gif" << QStringList { "b.gif" };
        QTest::newRow("blanks around parts") << " *.bmp ; *.RLE " << QStringList { "c.bmp", "e.rle" };
        QTest::newRow("question mark") << "?.jp*" << QStringList { "a.jpg", "d.jpeg" };
        QTest::newRow("nothing matches") << "*.png" << QStringList {};
    }
    void patternWildcards()
    {
        QFETCH(QString, pattern);
        QFETCH(QStringList, expected);
        FileListBox list;
        list.setPath(m_pictures);
        if (!pattern.isNull())
            list.setPattern(pattern);
        QCOMPARE(entries(list), expected);
        QCOMPARE(list.Path(), m_pictures);
    }

    void sortsAsUsersRead_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("numbers by value") << QStringList { "img10.jpg", "img2.jpg", "img1.jpg",
            "img100.jpg" } << QStringList { "img1.jpg", "img2.jpg", "img10.jpg", "img100.jpg" };
        QTest::newRow("case does not split the list") << QStringList { "b.jpg", "A.jpg", "C.jpg", "a2.jpg" }
                                                      << QStringList { "A.jpg", "a2.jpg", "b.jpg", "C.jpg" };
        QTest::newRow("names equal but for case keep a fixed order")
            << QStringList { "x.jpg", "X.jpg" } << QStringList { "X.jpg", "x.jpg" };
    }
    void sortsAsUsersRead()
    {
        QFETCH(QStringList, names);
        QFETCH(QStringList, expected);
        QTemporaryDir tmp;
        for (const QString &name : names)
            QVERIFY(touch(QDir(tmp.path()).filePath(name)));
        FileListBox list;
        list.setPath(tmp.path());
        QCOMPARE(entries(list), expected);
    }

    void newPathSelectsNothing_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::newRow("another folder") << "other";
        QTest::newRow("the same folder again") << "pictures/";
    }
    void newPathSelectsNothing()
    {
        QFETCH(QString, folder);
        QVERIFY(QDir(m_tmp.path()).mkpath("other"));
        QVERIFY(touch(m_tmp.filePath("other/x.jpg")));
        FileListBox list;
        list.setPath(m_pictures);
        list.setListIndex(0);
        QSignalSpy clicks(&list, &FileListBox::Click);
        list.setPath(m_tmp.filePath(folder));
        QCOMPARE(list.ListIndex(), -1);
        QCOMPARE(list.FileName(), QString());
        QCOMPARE(list.Path(), QDir::cleanPath(m_tmp.filePath(folder)));
        QVERIFY(list.ListCount() > 0);
        QCOMPARE(clicks.count(), 0);
    }

    void fileNameFollowsListIndex_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("fileName");
        QTest::newRow("first") << 0 << "a.jpg";
        QTest::newRow("last") << 5 << "notes.txt";
        QTest::newRow("none") << -1 << "";
    }
    void fileNameFollowsListIndex()
    {
        QFETCH(int, index);
        QFETCH(QString, fileName);
        FileListBox list;
        list.setPath(m_pictures);
        list.setListIndex(2);
        QSignalSpy clicks(&list, &FileListBox::Click);
        list.setListIndex(index);
        QCOMPARE(list.ListIndex(), index);
        QCOMPARE(list.FileName(), fileName);
        QCOMPARE(clicks.count(), 0);
    }

    void listIndexOutOfRangeIsRefused_data()
    {
        QTest::addColumn<int>("index");
        QTest::newRow("below -1") << -2;
        QTest::newRow("one past the end") << 6;
        QTest::newRow("far past the end") << 32767;
    }
    void listIndexOutOfRangeIsRefused()
    {
        QFETCH(int, index);
        FileListBox list;
        list.setPath(m_pictures);
        list.setListIndex(3);
        try {
            list.setListIndex(index);
            QFAIL("an index outside the list was taken");
        } catch (const RuntimeError &e) {
            QCOMPARE(e.number(), Err::InvalidPropertyValue);
        }
        QCOMPARE(list.ListIndex(), 3);
    }

    void userSelectionRaisesClick_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("clicks");
        QTest::addColumn<int>("doubleClicks");
        QTest::addColumn<int>("index");
        QTest::newRow("click another entry") << "click 3" << 1 << 0 << 3;
        QTest::newRow("click the selected entry") << "click 1" << 1 << 0 << 1;
        QTest::newRow("click below the entries") << "click below" << 0 << 0 << 1;
        QTest::newRow("double-click an entry") << "double-click 4" << 1 << 1 << 4;
        QTest::newRow("arrow down") << "key Down" << 1 << 0 << 2;
        QTest::newRow("arrow up") << "key Up" << 1 << 0 << 0;
        QTest::newRow("End") << "key End" << 1 << 0 << 5;
        QTest::newRow("typing a letter") << "key N" << 1 << 0 << 5;
        QTest::newRow("Ctrl+Space keeps the selection") << "key Ctrl+Space" << 0 << 0 << 1;
        QTest::newRow("Ctrl+click keeps the selection") << "ctrl-click 1" << 1 << 0 << 1;
    }
    void userSelectionRaisesClick()
    {
        QFETCH(QString, action);
        QFETCH(int, clicks);
        QFETCH(int, doubleClicks);
        QFETCH(int, index);
        FileListBox list;
        QVERIFY(vmtest::showListOn(list, m_pictures, QSize(200, 300)));
        list.setListIndex(1);
        QSignalSpy clickSpy(&list, &FileListBox::Click);
        QSignalSpy doubleSpy(&list, &FileListBox::DblClick);

        const QString what = action.section(' ', 0, 0);
        const QString arg = action.section(' ', 1);
        const QPoint at = arg == "below" ? QPoint(20, list.viewport()->height() - 5)
                                         : list.visualRect(list.model()->index(arg.toInt(), 0)).center();
        if (what == "click")
            QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, at);
        else if (what == "ctrl-click")
            QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::ControlModifier, at);
        else if (what == "double-click")
            QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, at);
        else
            QTest::keySequence(&list, QKeySequence(arg));

        QCOMPARE(clickSpy.count(), clicks);
        QCOMPARE(doubleSpy.count(), doubleClicks);
        QCOMPARE(list.ListIndex(), index);
    }

    void theFirstKeyChoosesAnEntryWhenNoneIsChosen_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("index");
        QTest::newRow("Down") << int(Qt::Key_Down) << 0;
        QTest::newRow("Up") << int(Qt::Key_Up) << 0;
        QTest::newRow("Page Down") << int(Qt::Key_PageDown) << 0;
        QTest::newRow("Page Up") << int(Qt::Key_PageUp) << 0;
        QTest::newRow("Home") << int(Qt::Key_Home) << 0;
        QTest::newRow("End") << int(Qt::Key_End) << 5;
        QTest::newRow("Space") << int(Qt::Key_Space) << 0;
    }
    void theFirstKeyChoosesAnEntryWhenNoneIsChosen()
    {
        QFETCH(int, key);
        QFETCH(int, index);
        QWidget window;
        auto *before = new QLineEdit(&window);
        auto *list = new FileListBox(&window);
        list->setGeometry(0, 30, 200, 300);
        list->setPath(m_pictures);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        before->setFocus();
        QSignalSpy clickSpy(list, &FileListBox::Click);
        QTest::keyClick(before, Qt::Key_Tab); // the user tabs into the list
        QVERIFY(list->hasFocus());
        QCOMPARE(list->ListIndex(), -1);
        QTest::keyClick(list, Qt::Key(key));
        QCOMPARE(list->ListIndex(), index);
        QCOMPARE(clickSpy.count(), 1);
        QTest::keyClick(list, Qt::Key_Down); // and on from there as usual
        QCOMPARE(list->ListIndex(), std::min(index + 1, 5));
    }

    void unreadableFolderLeavesListAsItWas_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("error");
        QTest::newRow("missing folder") << "missing" << int(Err::PathNotFound);
        QTest::newRow("a file, not a folder") << "pictures/a.jpg" << int(Err::PathNotFound);
        QTest::newRow("a FIFO, not a folder") << "fifo" << int(Err::PathNotFound);
        QTest::newRow("empty path") << "" << int(Err::PathNotFound);
    }
    void unreadableFolderLeavesListAsItWas()
    {
        QFETCH(QString, target);
        QFETCH(int, error);
        if (!QFileInfo::exists(m_tmp.filePath("fifo")))
            QVERIFY(mkfifo(QFile::encodeName(m_tmp.filePath("fifo")).constData(), 0644) == 0);
        FileListBox list;
        list.setPath(m_pictures);
        list.setListIndex(2);
        try {
            list.setPath(target.isEmpty() ? target : m_tmp.filePath(target));
            QFAIL("the folder was taken");
        } catch (const RuntimeError &e) {
            QCOMPARE(int(e.number()), error);
        }
        QCOMPARE(list.Path(), m_pictures);
        QCOMPARE(list.ListCount(), 6);
        QCOMPARE(list.ListIndex(), 2);
    }

    void folderWithoutReadPermissionIsRefused()
    {
        QTemporaryDir tmp;
        const QString locked = tmp.filePath("locked");
        QVERIFY(QDir().mkdir(locked));
        QVERIFY(touch(locked + "/a.jpg"));
        QVERIFY(QFile::setPermissions(tmp.path(),
            QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ExeOther | QFile::ReadOther));
        QVERIFY(QFile::setPermissions(locked, QFile::ExeOwner | QFile::ExeOther));
        const QString open = m_pictures;
        QVERIFY(QFile::setPermissions(m_tmp.path(), QFile::permissions(m_tmp.path()) | QFile::ExeOther));
        const int result = runAsNobody([&] {
            FileListBox list;
            list.setPath(open);
            try {
                list.setPath(locked);
            } catch (const RuntimeError &e) {
                return e.number() == Err::PermissionDenied && list.Path() == open && list.ListCount() == 6;
            }
            return false;
        });
        if (result == 2)
            QSKIP("cannot become an unprivileged user here");
        QCOMPARE(result, 0);
    }
};

QTEST_MAIN(TestFileList)
#include "tst_fslists.moc"

// The drive registry: which mounts are drives, how they are named, which drive
// holds a path, and the folder each drive remembers.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <future>
#include <memory>

#include <sys/mount.h>
#include <sys/stat.h>

#include "support/fixtures.h"
#include "platform/files/drives.h"
#include "platform/files/folderreader.h"
#include "platform/picture.h"
#include "platform/runtimeerror.h"

using namespace vm;

namespace {

const QByteArray containerTable = R"(22 27 0:21 / /proc rw,relatime - proc proc rw
23 27 0:22 / /sys rw,relatime - sysfs sysfs rw
24 27 0:6 / /dev rw,relatime - devtmpfs devtmpfs rw,size=1k
27 1 0:40 / / rw,relatime - overlay overlay rw,lowerdir=/a,upperdir=/b
31 23 0:28 / /sys/fs/cgroup rw,relatime - cgroup2 cgroup2 rw
40 27 0:45 / /run rw,nosuid - tmpfs tmpfs rw
)";

const QByteArray desktopTable = R"(27 1 8:2 / / rw,relatime shared:1 - ext4 /dev/sda2 rw
28 27 8:3 / /home rw,relatime shared:2 - xfs /dev/sda3 rw
29 28 0:50 / /home/u/.cache rw - tmpfs tmpfs rw
30 27 8:17 / /media/usb rw,nosuid shared:5 master:3 - vfat /dev/sdb1 rw
31 27 8:18 / /media/My\040Card rw,nosuid - exfat /dev/sdb2 rw
32 27 0:60 / /run/user/1000/doc rw - fuse.portal portal rw
33 27 0:61 / /mnt/share rw - cifs //server/share rw
34 27 0:62 / /snap/core/1 ro - squashfs /dev/loop0 ro
35 27 7:0 / /media/cdrom ro - iso9660 /dev/sr0 ro
36 27 0:63 / /proc/sys/fs/binfmt_misc rw - autofs systemd-1 rw
this line is not a mount
)";

QStringList roots(const QList<DriveInfo> &drives)
{
    QStringList out;
    for (const DriveInfo &d : drives)
        out.append(d.root);
    return out;
}

void writeTable(const QString &file, const QByteArray &contents)
{
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(contents);
}

// Stands in for the server of a share: silent, and waited for 50 ms at a
// time, until answer(); counts the looks it is given.
class SilentServer {
public:
    SilentServer() { drives::setServerLookForTesting(m_look, std::chrono::milliseconds(50)); }
    void answer()
    {
        m_back.set_value();
        // Answered now, but a busy machine may be slow to pass that on.
        drives::setServerLookForTesting(m_look, std::chrono::seconds(10));
    }
    int looks() const { return m_looks->load(); }

private:
    std::promise<void> m_back;
    std::shared_future<void> m_backFuture = m_back.get_future().share();
    std::shared_ptr<std::atomic<int>> m_looks = std::make_shared<std::atomic<int>>(0);
    std::function<void(const QString &)> m_look = [looks = m_looks, back = m_backFuture](const QString &) {
        ++*looks;
        back.wait();
    };
};

} // namespace

class TestDrives : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { drives::resetForTesting(); }

    void onlyRealFileSystemsAreDrives_data()
    {
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("overlay root of a container is still a drive")
            << containerTable << QStringList { "/" };
        QTest::newRow("empty table still has the root") << QByteArray() << QStringList { "/" };
        QTest::newRow("disks, cards, discs and shares; no pseudo or portal mounts")
            << desktopTable
            << QStringList { "/", "/home", "/media/usb", "/media/My Card", "/mnt/share", "/media/cdrom" };
        QTest::newRow("a later mount on the same point hides the earlier") << QByteArray(
            "27 1 8:2 / / rw - ext4 /dev/sda2 rw\n"
            "30 27 8:17 / /media/usb rw - vfat /dev/sdb1 rw\n"
            "31 30 0:70 / /media/usb rw - tmpfs tmpfs rw\n") << QStringList { "/" };
        QTest::newRow("mounted over twice: the last one counts, in its place")
            << QByteArray("27 1 8:2 / / rw - ext4 /dev/sda2 rw\n"
                          "30 27 8:17 / /media/usb rw - vfat /dev/sdb1 rw\n"
                          "31 27 8:18 / /media/card rw - vfat /dev/sdc1 rw\n"
                          "32 30 0:70 / /media/usb rw - tmpfs tmpfs rw\n"
                          "33 32 8:33 / /media/usb rw - exfat /dev/sdd1 rw\n")
            << QStringList { "/", "/media/card", "/media/usb" };
        QTest::newRow("escaped tab and backslash in a mount point")
            << QByteArray("30 27 8:17 / /media/a\\011b\\134c rw - ext4 /dev/sdb1 rw\n")
            << QStringList { "/", "/media/a\tb\\c" };
        QTest::newRow("a card named in Shift-JIS, shown as the folder list shows it")
            << QByteArray("30 27 8:17 / /media/\x93\xfa\x96\x7b rw - vfat /dev/sdb1 rw\n")
            << QStringList { "/", QStringLiteral("/media/日本") };
    }
    void onlyRealFileSystemsAreDrives()
    {
        QFETCH(QByteArray, table);
        QFETCH(QStringList, expected);
        QCOMPARE(roots(drives::parseMountInfo(table)), expected);
    }

    void driveOfPathTakesLongestMountPoint_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("root");
        QTest::newRow("the mount point itself") << "/media/usb"
                                                << "/media/usb";
        QTest::newRow("deep below a mount point") << "/media/usb/a/b"
                                                  << "/media/usb";
        QTest::newRow("a sibling with the same prefix") << "/media/usbstick/x"
                                                        << "/";
        QTest::newRow("below a left-out tmpfs") << "/home/u/.cache/x"
                                                << "/home";
        QTest::newRow("mount point with a blank") << "/media/My Card/DCIM"
                                                  << "/media/My Card";
        QTest::newRow("the root") << "/"
                                  << "/";
    }
    void driveOfPathTakesLongestMountPoint()
    {
        QFETCH(QString, path);
        QFETCH(QString, root);
        const auto drive = drives::driveOf(drives::parseMountInfo(desktopTable), path);
        QVERIFY(drive.has_value());
        QCOMPARE(drive->root, root);
    }

    void labelsComeFromTheLabelFolder()
    {
        vmtest::ByteSafeTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        const QDir dir(tmp.path());
        QVERIFY(dir.mkpath("dev/disk/by-label"));
        for (const char *device : { "sdb1", "sdb2", "dm-0" })
            writeTable(dir.filePath(QStringLiteral("dev/") + device), {});
        // udev names hold relative links and write a blank as \x20.
        QVERIFY(QFile::link("../../sdb1", dir.filePath("dev/disk/by-label/SDCARD")));
        QVERIFY(QFile::link("../../sdb2", dir.filePath("dev/disk/by-label/My\\x20Card")));
        QVERIFY(QFile::link("../../dm-0", dir.filePath("dev/disk/by-label/Vault")));
        QVERIFY(QFile::link(dir.filePath("dev/dm-0"), dir.filePath("dev/mapper-vault")));

        const QByteArray table
            = QStringLiteral("30 27 8:17 / /media/usb rw - vfat %1 rw\n"
                             "31 27 8:18 / /media/My\\040Card rw - exfat %2 rw\n"
                             "32 27 253:0 / /srv rw - ext4 %3 rw\n"
                             "33 27 8:19 / /data rw - ext4 /dev/none rw\n")
                  .arg(dir.filePath("dev/sdb1"), dir.filePath("dev/sdb2"), dir.filePath("dev/mapper-vault"))
                  .toUtf8();
        QList<DriveInfo> list = drives::parseMountInfo(table);
        drives::applyLabels(list, drives::readLabels(dir.filePath("dev/disk/by-label")));
        QStringList texts;
        for (const DriveInfo &d : list)
            texts.append(d.text());
        QCOMPARE(texts,
            (QStringList {
                "/", "/media/usb [SDCARD]", "/media/My Card [My Card]", "/srv [Vault]", "/data" }));
    }

    void driveRemembersItsFolder()
    {
        vmtest::ByteSafeTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        const QString card = tmp.filePath("card");
        QVERIFY(QDir().mkpath(card + "/DCIM/100"));
        QByteArray table = "30 27 8:17 / " + QFile::encodeName(card) + " rw - vfat /dev/sdz1 rw\n";
        drives::setSourcesForTesting([&table] { return table; }, tmp.filePath("no-labels"));

        const auto drive = drives::fromText(card);
        QVERIFY(drive.has_value());
        QCOMPARE(drives::currentFolder(*drive), card);

        drives::setCurrentFolder(card + "/DCIM/100");
        drives::setCurrentFolder(tmp.path()); // another drive's folder leaves this one alone
        QCOMPARE(drives::currentFolder(*drive), card + "/DCIM/100");

        // A folder removed since gives way to its nearest remaining parent.
        QVERIFY(QDir(card + "/DCIM/100").removeRecursively());
        QCOMPARE(drives::currentFolder(*drive), card + "/DCIM");

        QVERIFY(!drives::isVanished(card));
        table.clear();
        QVERIFY(!drives::fromText(card).has_value());
        QVERIFY(drives::isVanished(card));
        QVERIFY(drives::isVanished(card + "/DCIM"));
        QVERIFY(!drives::isVanished(card + "x"));
    }

    void startUpFolderIsCurrentOnItsDrive()
    {
        vmtest::ByteSafeTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        const QString card = tmp.filePath("card");
        QVERIFY(QDir().mkpath(card + "/photos"));
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(card + "/photos"));
        drives::resetForTesting();
        QVERIFY(QDir::setCurrent(before));
        const QByteArray table = "30 27 8:17 / " + QFile::encodeName(card) + " rw - vfat /dev/sdz1 rw\n";
        drives::setSourcesForTesting([table] { return table; }, QString());

        QCOMPARE(drives::currentFolder(*drives::fromText(card)), card + "/photos");
        QCOMPARE(drives::currentFolder(*drives::fromText("/")), QStringLiteral("/"));
    }

    void fileMountsAreNotDrives()
    {
        vmtest::ByteSafeTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        writeTable(tmp.filePath("hosts"), "127.0.0.1 localhost\n");
        const QByteArray table
            = "30 27 8:1 /etc/hosts " + QFile::encodeName(tmp.filePath("hosts")) + " rw - ext4 /dev/vda rw\n";
        drives::setSourcesForTesting([table] { return table; }, QString());
        QCOMPARE(roots(drives::list()), QStringList { "/" });
    }

    // Asking a share whose server has gone away waits until it answers, so
    // shares and FUSE mounts are listed without a look. Their mount points
    // here do not exist: a look would leave them out, as it does a disk's.
    void sharesAreListedWithoutBeingAsked()
    {
        const QByteArray table = "30 27 0:61 / /nowhere/share rw - cifs //server/share rw\n"
                                 "31 27 0:62 / /nowhere/remote rw - fuse.sshfs u@host: rw\n"
                                 "32 27 0:63 / /nowhere/nfs rw - nfs4 host:/export rw\n"
                                 "33 27 8:17 / /nowhere/disk rw - ext4 /dev/sdb1 rw\n";
        drives::setSourcesForTesting([table] { return table; }, QString());
        QCOMPARE(roots(drives::list()),
            (QStringList { "/", "/nowhere/share", "/nowhere/remote", "/nowhere/nfs" }));
    }

    // A share whose server has gone: reading it, loading from it or choosing
    // it gives the error of a drive that is not ready after a bounded wait,
    // and only one look at a time hangs on the server. Once the server
    // answers, the share reads again; local folders are never looked at.
    void aShareWhoseServerHasGoneIsNotReady()
    {
        vmtest::ByteSafeTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        const QString share = tmp.filePath("share");
        QVERIFY(QDir().mkpath(share));
        writeTable(share + "/a.jpg", "not a picture");
        const QByteArray table
            = "33 27 0:61 / " + QFile::encodeName(share) + " rw - cifs //server/share rw\n";
        drives::setSourcesForTesting([table] { return table; }, QString());
        SilentServer server;
        const auto notReady = [](const std::function<void()> &call) {
            try {
                call();
            } catch (const RuntimeError &e) {
                return e.number() == Err::DeviceUnavailable;
            }
            return false;
        };
        QVERIFY(notReady([&] { readFolder(share, EntryKind::File); }));
        QVERIFY(notReady([&] { LoadPicture(share + "/a.jpg"); }));
        QVERIFY(notReady([&] { drives::currentFolder(*drives::fromText(share)); }));
        QCOMPARE(server.looks(), 1);

        server.answer();
        QCOMPARE(readFolder(share, EntryKind::File), QStringList { "a.jpg" });
        const int looked = server.looks();
        QCOMPARE(readFolder(tmp.path(), EntryKind::Folder), QStringList { "share" });
        QCOMPARE(server.looks(), looked);
    }

    // The mount table is read again only when the kernel reports a change:
    // unchanged, the same bytes come back; a mount and its removal show at
    // once. Mounting needs the privilege to; without it only the first half
    // runs.
    void theMountTableIsReadAgainOnlyWhenItChanges()
    {
        const QByteArray first = drives::mountInfo();
        QVERIFY(first.contains(" / "));
        QVERIFY(drives::mountInfo().isSharedWith(first));
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        const QByteArray point = QFile::encodeName(tmp.path());
        if (::mount("none", point.constData(), "tmpfs", 0, nullptr) != 0)
            QSKIP("no privilege to mount");
        const bool mounted = drives::mountInfo().contains(" " + point + " ");
        ::umount(point.constData());
        QVERIFY(mounted);
        QVERIFY(!drives::mountInfo().contains(" " + point + " "));
    }

    // An answer holds a moment: choosing a share, listing it and loading
    // from it ask its server once, not a thread and a look each.
    void aServersAnswerHoldsAMoment()
    {
        vmtest::ByteSafeTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        const QString share = tmp.filePath("share");
        QVERIFY(QDir().mkpath(share));
        const QByteArray table = "33 27 0:61 / " + QFile::encodeName(share) + " rw - nfs4 server:/ rw\n";
        drives::setSourcesForTesting([table] { return table; }, QString());
        SilentServer server;
        server.answer();
        QCOMPARE(drives::currentFolder(*drives::fromText(share)), share);
        QVERIFY(readFolder(share, EntryKind::File).isEmpty());
        drives::awaitServer(share + "/a.jpg");
        QCOMPARE(server.looks(), 1);
    }

    // A local folder with a link into such a share lists at once, without the
    // link, once the share has been found silent; it lists the link again
    // when the server is back.
    void aLinkIntoASilentShareIsLeftOut()
    {
        vmtest::ByteSafeTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        const QString share = tmp.filePath("share");
        QVERIFY(QDir().mkpath(share + "/photos"));
        QVERIFY(QDir().mkpath(tmp.filePath("home/local")));
        QVERIFY(QFile::link(share + "/photos", tmp.filePath("home/nas")));
        QVERIFY(QFile::link("../share/photos", tmp.filePath("home/nas-relative")));
        // Through a local link: to the link above, and inside the target's path.
        QVERIFY(QFile::link("nas", tmp.filePath("home/nas-again")));
        QVERIFY(QFile::link(share, tmp.filePath("share-link")));
        QVERIFY(QFile::link("../share-link/./photos", tmp.filePath("home/nas-by-way")));
        QVERIFY(QFile::link("loop", tmp.filePath("home/loop"))); // never a folder
        const QByteArray table = "33 27 0:61 / " + QFile::encodeName(share) + " rw - nfs4 server:/ rw\n";
        drives::setSourcesForTesting([table] { return table; }, QString());
        SilentServer server;

        const QString home = tmp.filePath("home");
        QCOMPARE(readFolder(home, EntryKind::Folder), QStringList { "local" });
        QCOMPARE(readFolder(home, EntryKind::Folder), QStringList { "local" });
        QCOMPARE(server.looks(), 1);
        server.answer();
        // Choosing the share waits for the look still out; the listing then asks afresh.
        QVERIFY(drives::serverAnswers(*drives::fromText(share), drives::Patience::Again));
        QStringList folders = readFolder(home, EntryKind::Folder);
        sortNames(folders);
        QCOMPARE(folders, (QStringList { "local", "nas", "nas-again", "nas-by-way", "nas-relative" }));
    }

    // A share mounted on first use (fstab's x-systemd.automount) shows as an
    // automount point until then: reading below it waits for that mount,
    // which waits for the server, so it is waited for like a share. It is
    // still no drive of its own.
    void anAutomountPointIsWaitedForLikeAShare()
    {
        vmtest::ByteSafeTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        const QString nas = tmp.filePath("nas");
        QVERIFY(QDir().mkpath(nas + "/photos"));
        const QByteArray table = "27 1 8:2 / / rw - ext4 /dev/sda2 rw\n"
                                 "45 27 0:50 / "
            + QFile::encodeName(nas) + " rw - autofs systemd-1 rw,fd=52\n";
        drives::setSourcesForTesting([table] { return table; }, QString());
        SilentServer server;
        QVERIFY(!drives::fromText(nas).has_value());
        try {
            readFolder(nas + "/photos", EntryKind::File);
            QFAIL("read below a silent automount point");
        } catch (const RuntimeError &e) {
            QCOMPARE(e.number(), Err::DeviceUnavailable);
        }
        QCOMPARE(server.looks(), 1);
        server.answer();
        QCOMPARE(readFolder(nas, EntryKind::Folder), QStringList { "photos" });
    }

    // A card whose mount point is named in Shift-JIS is a folder all the same.
    void aFolderMountedUnderAForeignNameIsADrive()
    {
        vmtest::ByteSafeTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        const QByteArray point = QFile::encodeName(tmp.path()) + "/\x93\xfa\x96\x7b";
        QVERIFY(::mkdir(point.constData(), 0755) == 0);
        const QByteArray table = "30 27 8:17 / " + point + " rw - vfat /dev/sdb1 rw\n";
        drives::setSourcesForTesting([table] { return table; }, QString());
        QCOMPARE(roots(drives::list()), (QStringList { "/", tmp.path() + QStringLiteral("/日本") }));
    }
};

QTEST_GUILESS_MAIN(TestDrives)
#include "tst_drives.moc"

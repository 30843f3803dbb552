#include "platform/files/drives.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <chrono>
#include <cstdlib>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files/filenames.h"
#include "platform/runtimeerror.h"

namespace vm {

bool DriveInfo::isServedElsewhere() const
{
    static const QSet<QString> remote
        = { QStringLiteral("nfs"), QStringLiteral("nfs4"), QStringLiteral("cifs"), QStringLiteral("smb3"),
              QStringLiteral("smbfs"), QStringLiteral("9p"), QStringLiteral("virtiofs"),
              QStringLiteral("ocfs2"), QStringLiteral("gfs2"), QStringLiteral("autofs") };
    return type.startsWith(QLatin1String("fuse.")) || type == QLatin1String("fuseblk")
        || remote.contains(type);
}

QString DriveInfo::text() const
{
    return label.isEmpty() ? root : root + QStringLiteral(" [") + label + QLatin1Char(']');
}

namespace drives {
namespace {

// Mount tables write blanks, tabs, newlines and backslashes in paths as \ooo.
QString unescapeMountField(const QByteArray &field)
{
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c == '\\' && i + 3 < field.size()) {
            const char a = field[i + 1], b = field[i + 2], d = field[i + 3];
            const auto octal = [](char x) { return x >= '0' && x <= '7'; };
            if (octal(a) && octal(b) && octal(d)) {
                out.append(char(((a - '0') << 6) | ((b - '0') << 3) | (d - '0')));
                i += 3;
                continue;
            }
        }
        out.append(c);
    }
    // A mount point named in another encoding is shown as the folder list
    // shows that folder.
    return filenames::displayPath(out);
}

// udev writes unsafe characters of a label as \xHH in the link name.
QString unescapeUdevName(const QString &name)
{
    QByteArray in = QFile::encodeName(name);
    QByteArray out;
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] == '\\' && i + 3 < in.size() && in[i + 1] == 'x') {
            bool ok = false;
            const int value = in.mid(i + 2, 2).toInt(&ok, 16);
            if (ok) {
                out.append(char(value));
                i += 3;
                continue;
            }
        }
        out.append(in[i]);
    }
    return QString::fromUtf8(out);
}

// A shown path that names a folder (through the bytes it stands for).
bool isFolder(const QString &path)
{
    struct stat st { };
    return ::stat(filenames::nativePath(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isUnder(const QString &path, const QString &root)
{
    if (root == QLatin1String("/"))
        return path.startsWith(QLatin1Char('/'));
    return path == root || (path.startsWith(root) && path.at(root.size()) == QLatin1Char('/'));
}

DriveInfo rootDrive()
{
    return DriveInfo { QStringLiteral("/"), QString(), QString(), QString() };
}

// How long the program waits for a share's server before it calls the
// share unavailable.
constexpr std::chrono::milliseconds kServerTimeout { 5000 };
// How long a server's answer is taken to hold.
constexpr std::chrono::milliseconds kFreshAnswer { 1000 };

// A look at a drive's root that nobody may wait for: the stat can block for
// as long as the server does not answer, so it runs on a thread of its own.
void lookAt(const QString &root)
{
    struct stat st { };
    (void)::stat(filenames::nativePath(root).constData(), &st);
}

// The mount table, read again only when it has changed: it is asked before
// every load and several times on every folder change, and reading it costs
// about 0.1 ms, far more with the thousands of mounts of a container host.
// The kernel marks a change by waking poll() on the open file.
QByteArray mountInfoFile()
{
    static std::mutex mutex;
    static int fd = -1;
    static std::optional<QByteArray> last;
    std::lock_guard lock(mutex);
    if (fd < 0)
        fd = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return QByteArray();
    pollfd changed { fd, POLLPRI, 0 };
    if (last && !(::poll(&changed, 1, 0) > 0 && (changed.revents & (POLLPRI | POLLERR))))
        return *last;
    QByteArray bytes;
    if (::lseek(fd, 0, SEEK_SET) == 0) {
        char buffer[65536];
        ssize_t got = 0;
        while ((got = ::read(fd, buffer, sizeof buffer)) > 0)
            bytes.append(buffer, got);
        if (got == 0) {
            last = bytes;
            return bytes;
        }
    }
    last.reset(); // read again next time
    return bytes;
}

struct Registry {
    std::function<QByteArray()> mountInfo;
    QString byLabelDir;
    QString startFolder;
    QHash<QString, QString> current; // drive root -> folder last opened
    QHash<QString, DriveInfo> seen; // drive root -> drive as last listed
    struct Look {
        std::shared_future<void> answer;
        std::chrono::steady_clock::time_point started;
    };
    QHash<QString, Look> looks; // drive root -> latest look at it
    std::function<void(const QString &)> look;
    std::chrono::milliseconds serverTimeout;

    Registry() { reset(); }
    void reset()
    {
        mountInfo = mountInfoFile;
        byLabelDir = QStringLiteral("/dev/disk/by-label");
        startFolder = drives::startFolder();
        current.clear();
        seen.clear();
        looks.clear();
        look = lookAt;
        serverTimeout = kServerTimeout;
    }
};

Registry &registry()
{
    static Registry instance;
    return instance;
}

} // namespace

bool isRealFileSystem(const QString &type)
{
    // Known by name: anything else (proc, sysfs, tmpfs, overlay, squashfs,
    // cgroup, autofs, portals, ...) is the system's plumbing, not a drive.
    static const char *const realTypes[] = { "ext2", "ext3", "ext4", "xfs", "btrfs", "bcachefs", "f2fs",
        "zfs", "jfs", "reiserfs", "nilfs2", "vfat", "msdos", "exfat", "ntfs", "ntfs3", "fuseblk", "hfs",
        "hfsplus", "iso9660", "udf", "nfs", "nfs4", "cifs", "smb3", "smbfs", "9p", "virtiofs", "ocfs2",
        "gfs2", "fuse.sshfs", "fuse.rclone", "fuse.mergerfs", "fuse.ntfs-3g", "fuse.exfat", "fuse.gocryptfs",
        "fuse.encfs", "fuse.cryfs", "fuse.s3fs" };
    static const QSet<QString> real = [] {
        QSet<QString> set;
        for (const char *name : realTypes)
            set.insert(QLatin1String(name));
        return set;
    }();
    return real.contains(type);
}

namespace {
// Every mount of the table, of whatever type, in mount order; a later mount on
// the same point hides the earlier one.
QList<DriveInfo> parseAllMounts(const QByteArray &contents)
{
    QList<DriveInfo> mounts;
    QHash<QString, qsizetype> latest; // mount point -> its entry in mounts
    for (const QByteArray &line : contents.split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        // id parent major:minor root mountpoint options [optional...] - type source superoptions
        const qsizetype dash = fields.indexOf("-", 6);
        if (fields.size() < 7 || dash < 0 || dash + 2 >= fields.size())
            continue;
        DriveInfo mount;
        mount.root = QDir::cleanPath(unescapeMountField(fields[4]));
        mount.type = unescapeMountField(fields[dash + 1]);
        mount.device = unescapeMountField(fields[dash + 2]);
        if (!mount.root.startsWith(QLatin1Char('/')))
            continue;
        // A later mount on the same point hides whatever was mounted there.
        // Marked here and dropped below: a container host has thousands of
        // mounts, and searching the list for each made that quadratic.
        if (const auto earlier = latest.constFind(mount.root); earlier != latest.cend())
            mounts[*earlier].root.clear();
        latest.insert(mount.root, mounts.size());
        mounts.append(mount);
    }
    mounts.removeIf([](const DriveInfo &m) { return m.root.isEmpty(); });
    return mounts;
}

// A mount table parsed, with what the checks before each read need of it.
struct ParsedTable {
    QByteArray contents;
    QList<DriveInfo> all; // every mount, whatever its type
    // Real file systems and automount points: the first look below an
    // automount point mounts what is behind it, often a share (fstab's
    // x-systemd.automount), and waits for that.
    QList<DriveInfo> waitable;
};

// The same table, unchanged and so not read again, is not parsed again.
const ParsedTable &parsed(const QByteArray &contents)
{
    thread_local std::optional<ParsedTable> last;
    if (!last || !contents.isSharedWith(last->contents)) {
        ParsedTable table { contents, parseAllMounts(contents), {} };
        for (const DriveInfo &m : std::as_const(table.all)) {
            if (isRealFileSystem(m.type) || m.type == QLatin1String("autofs"))
                table.waitable.append(m);
        }
        last = std::move(table);
    }
    return *last;
}
} // namespace

QList<DriveInfo> parseMountInfo(const QByteArray &contents)
{
    QList<DriveInfo> mounts = parsed(contents).all;
    mounts.removeIf([](const DriveInfo &m) { return !isRealFileSystem(m.type); });
    if (std::none_of(
            mounts.cbegin(), mounts.cend(), [](const DriveInfo &m) { return m.root == QLatin1String("/"); }))
        mounts.prepend(rootDrive());
    return mounts;
}

QHash<QString, QString> readLabels(const QString &byLabelDir)
{
    QHash<QString, QString> labels;
    QDirIterator it(byLabelDir, QDir::Files | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        const QString device = it.fileInfo().canonicalFilePath();
        if (!device.isEmpty())
            labels.insert(device, unescapeUdevName(it.fileName()));
    }
    return labels;
}

void applyLabels(QList<DriveInfo> &drives, const QHash<QString, QString> &labels)
{
    for (DriveInfo &drive : drives) {
        if (drive.device.isEmpty() || !drive.device.startsWith(QLatin1Char('/')))
            continue;
        auto found = labels.constFind(drive.device);
        if (found == labels.cend())
            found = labels.constFind(QFileInfo(drive.device).canonicalFilePath());
        if (found != labels.cend())
            drive.label = found.value();
    }
}

std::optional<DriveInfo> driveOf(const QList<DriveInfo> &drives, const QString &path)
{
    const DriveInfo *best = nullptr;
    for (const DriveInfo &drive : drives) {
        if (isUnder(path, drive.root) && (!best || drive.root.size() > best->root.size()))
            best = &drive;
    }
    if (!best)
        return std::nullopt;
    return *best;
}

QString startFolder()
{
    // Taken as bytes and shown as the lists show names: Qt's currentPath()
    // turns bytes that are not UTF-8 into U+FFFD, a path no one can open.
    QByteArray path;
    if (char *current = ::getcwd(nullptr, 0)) { // fails once the folder is deleted
        path = current;
        ::free(current);
    }
    if (!path.startsWith('/')) // also "(unreachable)/…", outside our root
        path = qgetenv("PWD");
    return QDir::cleanPath(path.startsWith('/') ? filenames::displayPath(path) : QDir::homePath());
}

QList<DriveInfo> list()
{
    Registry &reg = registry();
    QList<DriveInfo> drives = parseMountInfo(reg.mountInfo());
    // Files bind-mounted into a container (/etc/hosts) are mounts but not
    // drives. Only local file systems are asked: the list is read at start-up
    // and on every folder change, and a share whose server has gone away (a
    // laptop off its office network) would hold the program until it answers.
    drives.removeIf([](const DriveInfo &d) {
        return d.root != QLatin1String("/") && !d.isServedElsewhere() && !isFolder(d.root);
    });
    applyLabels(drives, readLabels(reg.byLabelDir));
    for (const DriveInfo &drive : drives)
        reg.seen.insert(drive.root, drive);
    return drives;
}

std::optional<DriveInfo> driveOf(const QString &path)
{
    return driveOf(list(), path);
}

std::optional<DriveInfo> fromText(const QString &text)
{
    for (const DriveInfo &drive : list()) {
        if (drive.text() == text)
            return drive;
    }
    return std::nullopt;
}

bool isVanished(const QString &textOrPath)
{
    const QList<DriveInfo> mounted = list();
    for (const DriveInfo &old : std::as_const(registry().seen)) {
        const bool stillThere = std::any_of(
            mounted.cbegin(), mounted.cend(), [&](const DriveInfo &d) { return d.root == old.root; });
        if (stillThere)
            continue;
        if (textOrPath == old.text()
            || (textOrPath.startsWith(QLatin1Char('/')) && isUnder(textOrPath, old.root)))
            return true;
    }
    return false;
}

bool serverAnswers(const DriveInfo &drive, Patience patience)
{
    if (!drive.isServedElsewhere())
        return true;
    Registry &reg = registry();
    const auto now = std::chrono::steady_clock::now();
    auto latest = reg.looks.find(drive.root);
    if (latest != reg.looks.end()) {
        const bool answered = latest->answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
        // An answer to a look begun a moment ago still holds: choosing a
        // share reads it twice, and stepping through its pictures loads one
        // after another, each of which would otherwise ask again.
        if (answered && now - latest->started < kFreshAnswer)
            return true;
        if (!answered && patience == Patience::NotAgain)
            return false;
        // A look still unanswered is waited for again, not joined by a new
        // one: at most one thread hangs on a server that has gone.
        if (!answered)
            return latest->answer.wait_for(reg.serverTimeout) == std::future_status::ready;
    }
    auto answered = std::make_shared<std::promise<void>>();
    std::shared_future<void> answer = answered->get_future().share();
    try {
        std::thread([root = drive.root, answered, look = reg.look] {
            look(root);
            answered->set_value();
        }).detach();
    } catch (const std::system_error &) {
        return true; // no thread to spare: go ahead and ask it directly
    }
    reg.looks.insert(drive.root, Registry::Look { answer, now });
    return answer.wait_for(reg.serverTimeout) == std::future_status::ready;
}

QList<DriveInfo> mountTable()
{
    return parsed(registry().mountInfo()).waitable;
}

void awaitServer(const QString &path)
{
    const auto drive = driveOf(mountTable(), path);
    if (drive && !serverAnswers(*drive, Patience::Again))
        raise(Err::DeviceUnavailable);
}

QString currentFolder(const DriveInfo &drive)
{
    awaitServer(drive.root);
    const Registry &reg = registry();
    QString folder = reg.current.value(drive.root);
    if (folder.isEmpty()) {
        const auto startDrive = driveOf(reg.startFolder);
        folder = startDrive && startDrive->root == drive.root ? reg.startFolder : drive.root;
    }
    // A folder removed since it was last open gives way to its nearest
    // remaining parent on the same drive, so the drive stays reachable.
    while (folder != drive.root && !isFolder(folder))
        folder = QFileInfo(folder).path();
    return folder;
}

void setCurrentFolder(const QString &folder)
{
    if (const auto drive = driveOf(folder))
        registry().current.insert(drive->root, folder);
}

QByteArray mountInfo()
{
    return registry().mountInfo();
}

void setSourcesForTesting(std::function<QByteArray()> mountInfo, const QString &byLabelDir)
{
    registry().mountInfo = std::move(mountInfo);
    registry().byLabelDir = byLabelDir;
}

void resetForTesting()
{
    registry().reset();
}

void setServerLookForTesting(std::function<void(const QString &root)> look, std::chrono::milliseconds timeout)
{
    registry().look = std::move(look);
    registry().serverTimeout = timeout;
}

} // namespace drives
} // namespace vm

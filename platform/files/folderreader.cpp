#include "platform/files/folderreader.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QHash>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <numeric>
#include <optional>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files/drives.h"
#include "platform/files/filenames.h"
#include "platform/runtimeerror.h"

namespace vm {
namespace {

[[noreturn]] void raiseForErrno(int error, const QString &folder)
{
    switch (error) {
    case EACCES:
    case EPERM:
        raise(Err::PermissionDenied);
    case ENOMEDIUM:
    case ENODEV:
    case ENXIO:
    case ESTALE:
    case ENOTCONN:
    case EHOSTDOWN:
    case EHOSTUNREACH:
    case ETIMEDOUT:
        raise(Err::DeviceUnavailable);
    case EIO:
        raise(Err::DeviceIO);
    case ENOMEM:
        raise(Err::OutOfMemory);
    case ENOENT:
        // The folder is gone because the card or disc holding it was taken out.
        if (drives::isVanished(folder))
            raise(Err::DeviceUnavailable);
        raise(Err::PathNotFound);
    default:
        raise(Err::PathNotFound);
    }
}

class DirHandle {
public:
    explicit DirHandle(DIR *dir)
        : m_dir(dir)
    {
    }
    ~DirHandle()
    {
        if (m_dir)
            closedir(m_dir);
    }
    DirHandle(const DirHandle &) = delete;
    DirHandle &operator=(const DirHandle &) = delete;
    DIR *get() const { return m_dir; }

private:
    DIR *m_dir;
};

// Links from a local folder into network shares. Asking what such a link
// points to waits for the share's server; a share whose server does not
// answer leaves its links out of the listing rather than holding it.
class ShareLinks {
public:
    explicit ShareLinks(const QByteArray &folder)
        : m_folder(folder)
    {
    }

    // Follows the link the way the kernel would, one path step at a time,
    // through links to links and links inside the target's path, and stops
    // before the first step into a share whose server is silent.
    bool leadsToSilentShare(int dirFd, const char *name)
    {
        if (!m_drives) {
            m_drives = drives::mountTable();
            m_anyShare = std::any_of(m_drives->cbegin(), m_drives->cend(),
                [](const DriveInfo &d) { return d.isServedElsewhere(); });
        }
        if (!m_anyShare)
            return false;
        QByteArray target = readLink(dirFd, name);
        if (target.isEmpty())
            return false;
        QByteArrayList pending = target.split('/');
        QByteArray resolved = target.startsWith('/') ? QByteArray() : m_folder;
        if (resolved.endsWith('/'))
            resolved.chop(1); // the root folder
        int links = 1;
        while (!pending.isEmpty()) {
            const QByteArray step = pending.takeFirst();
            if (step.isEmpty() || step == ".")
                continue;
            if (step == "..") {
                resolved.truncate(std::max<qsizetype>(0, resolved.lastIndexOf('/')));
                continue;
            }
            const QByteArray candidate = resolved + '/' + step;
            if (isSilentShare(candidate))
                return true;
            struct stat st;
            if (::lstat(candidate.constData(), &st) != 0)
                return false; // a broken link fails fast on its own
            if (!S_ISLNK(st.st_mode)) {
                resolved = candidate;
                continue;
            }
            // As many links as the kernel follows before it gives up (ELOOP).
            if (++links > 40)
                return false;
            const QByteArray next = readLink(AT_FDCWD, candidate.constData());
            if (next.isEmpty())
                return false;
            if (next.startsWith('/'))
                resolved.clear();
            pending = next.split('/') + pending;
        }
        return false;
    }

private:
    static QByteArray readLink(int dirFd, const char *name)
    {
        char buffer[PATH_MAX];
        const ssize_t length = ::readlinkat(dirFd, name, buffer, sizeof buffer);
        return length > 0 ? QByteArray(buffer, int(length)) : QByteArray();
    }

    bool isSilentShare(const QByteArray &path)
    {
        const auto drive = drives::driveOf(*m_drives, QString::fromUtf8(path));
        if (!drive || !drive->isServedElsewhere())
            return false;
        auto known = m_answers.constFind(drive->root);
        if (known == m_answers.cend())
            known = m_answers.insert(drive->root, drives::serverAnswers(*drive, drives::Patience::NotAgain));
        return !*known;
    }

    QByteArray m_folder;
    std::optional<QList<DriveInfo>> m_drives;
    bool m_anyShare = false;
    QHash<QString, bool> m_answers; // share root -> whether its server answered
};

bool hasKind(int dirFd, const char *name, unsigned char type, EntryKind kind)
{
    // The entry type from readdir saves a stat for almost every entry; only
    // links and file systems that do not report types need one.
    if (type == DT_LNK || type == DT_UNKNOWN) {
        struct stat st;
        if (fstatat(dirFd, name, &st, 0) != 0)
            return false; // broken link, or vanished meanwhile
        return kind == EntryKind::Folder ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode);
    }
    return kind == EntryKind::Folder ? type == DT_DIR : type == DT_REG;
}

} // namespace

QString resolveFolder(const QString &text, bool acceptDriveText)
{
    if (acceptDriveText) {
        if (const auto drive = drives::fromText(text))
            return drives::currentFolder(*drive);
        if (!text.startsWith(QLatin1Char('/')) && drives::isVanished(text))
            raise(Err::DeviceUnavailable);
    }
    if (text.isEmpty())
        raise(Err::PathNotFound);
    return QDir::cleanPath(QDir(drives::startFolder()).absoluteFilePath(text));
}

QStringList readFolder(
    const QString &folder, EntryKind kind, const std::function<bool(const QString &)> &accept)
{
    drives::awaitServer(folder);
    const QByteArray encoded = filenames::nativePath(folder);
    // O_DIRECTORY fails at once on a FIFO instead of waiting for a writer.
    const int fd = ::open(encoded.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        raiseForErrno(errno, folder);
    DirHandle dir(fdopendir(fd));
    if (!dir.get()) {
        const int error = errno;
        ::close(fd);
        raiseForErrno(error, folder);
    }

    // Every entry takes part in making the shown names unique, hidden ones
    // too, as nativePath() sees them all when it looks a name up again.
    QList<QByteArray> raw;
    QList<unsigned char> types;
    for (;;) {
        errno = 0;
        const dirent *entry = readdir(dir.get());
        if (!entry) {
            if (errno != 0)
                raiseForErrno(errno, folder);
            break;
        }
        if (entry->d_name[0] == '.'
            && (entry->d_name[1] == 0 || (entry->d_name[1] == '.' && entry->d_name[2] == 0)))
            continue;
        raw.append(QByteArray(entry->d_name));
        types.append(entry->d_type);
    }
    const QStringList shown = filenames::displayNames(raw);

    QStringList names;
    ShareLinks shareLinks(encoded);
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw[i].startsWith('.'))
            continue; // hidden entries
        if (accept && !accept(shown[i]))
            continue;
        if (types[i] == DT_LNK && shareLinks.leadsToSilentShare(fd, raw[i].constData()))
            continue;
        if (hasKind(fd, raw[i].constData(), types[i], kind))
            names.append(shown[i]);
    }
    return names;
}

void sortNames(QStringList &names)
{
    // The C locale compares code points and ignores the options below; a
    // session without a language still deserves a natural order.
    const QLocale locale = QLocale().language() == QLocale::C ? QLocale(QLocale::English) : QLocale();
    QCollator collator(locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    // One key per name instead of a collation per comparison.
    std::vector<QCollatorSortKey> keys;
    keys.reserve(names.size());
    for (const QString &name : std::as_const(names))
        keys.push_back(collator.sortKey(name));
    std::vector<qsizetype> order(names.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
        const int byKey = keys[a].compare(keys[b]);
        // Names equal but for case still get a fixed order.
        return byKey != 0 ? byKey < 0 : names[a] < names[b];
    });
    QStringList sorted;
    sorted.reserve(names.size());
    for (qsizetype i : order)
        sorted.append(names[i]);
    names.swap(sorted);
}

} // namespace vm

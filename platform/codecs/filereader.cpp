#include "platform/codecs/filereader.h"

#include <new>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files/filenames.h"
#include "platform/runtimeerror.h"

namespace vm {

namespace {

class FdCloser {
public:
    explicit FdCloser(int fd)
        : m_fd(fd)
    {
    }
    ~FdCloser() { ::close(m_fd); }
    FdCloser(const FdCloser &) = delete;
    FdCloser &operator=(const FdCloser &) = delete;

private:
    int m_fd;
};

// ENOENT alone does not say whether the file or one of its folders is
// missing; the message differs, so look at the folder part.
Err missingEntry(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
    struct stat st { };
    if (::stat(folder.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return Err::PathNotFound;
    return Err::FileNotFound;
}

[[noreturn]] void raiseOpenError(int error, const QByteArray &path)
{
    switch (error) {
    case ENOENT:
        raise(missingEntry(path));
    case ENOTDIR:
    case ELOOP:
        raise(Err::PathNotFound);
    case EACCES:
    case EPERM:
        raise(Err::PermissionDenied);
    case ENAMETOOLONG:
        raise(Err::BadFileName);
    case EISDIR:
        raise(Err::IsFolder);
    case ENXIO:
    case ENODEV:
    case EOPNOTSUPP:
        raise(Err::NotARegularFile); // a socket or a device without a driver
    case ENOMEM:
        raise(Err::OutOfMemory);
    default:
        raise(Err::DeviceIO);
    }
}

} // namespace

QByteArray readPictureFile(const QString &name)
{
    return readPictureFile(name, nullptr);
}

QByteArray readPictureFile(const QString &name, struct stat *seen)
{
    if (name.isEmpty() || name.contains(QChar(0)))
        raise(Err::BadFileName);
    const QByteArray path = filenames::nativePath(name);

    // O_NONBLOCK so that a FIFO without a writer cannot stall the open; fstat
    // on the descriptor then judges the very object we opened, with no window
    // for the name to be swapped between a check and the open.
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        raiseOpenError(errno, path);
    FdCloser closer(fd);

    struct stat st { };
    if (::fstat(fd, &st) != 0)
        raise(Err::DeviceIO);
    if (S_ISDIR(st.st_mode))
        raise(Err::IsFolder);
    if (!S_ISREG(st.st_mode))
        raise(Err::NotARegularFile);
    if (st.st_size > kMaxPictureFileBytes)
        raise(Err::PictureTooLarge);
    if (seen)
        *seen = st;

    QByteArray data;
    try {
        data.resize(qsizetype(st.st_size));
    } catch (const std::bad_alloc &) {
        raise(Err::OutOfMemory);
    }

    // Read no more than the size fstat gave: a file that grows while we read
    // cannot make us read without end.
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t got = ::read(fd, data.data() + done, size_t(data.size() - done));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN)
                raise(Err::NotARegularFile);
            raise(Err::DeviceIO);
        }
        if (got == 0)
            break; // the file shrank; decoders see what is there
        done += got;
    }
    data.truncate(done);
    return data;
}

} // namespace vm

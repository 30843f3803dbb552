#include "support/hostilecases.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/hostile.h"

namespace vmtest {

namespace {

using vm::Err;

void removeEntry(const QString &path)
{
    const QByteArray p = QFile::encodeName(path);
    ::unlink(p.constData());
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    removeEntry(path);
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

QString extensionFor(const QString &kind)
{
    return kind == QLatin1String("jpeg") ? QStringLiteral("jpg") : kind;
}

HostileCase bytesCase(
    const QString &name, const QString &fileName, bool mustFail, int expected, const QByteArray &bytes)
{
    return { name, fileName, mustFail, expected, [bytes](const QString &path) { writeFile(path, bytes); } };
}

} // namespace

QList<HostileCase> hostileCases()
{
    QList<HostileCase> cases;
    cases.append({ QStringLiteral("FIFO named x.jpg"), QStringLiteral("x.jpg"), true,
        int(Err::NotARegularFile), [](const QString &path) {
            removeEntry(path);
            ::mkfifo(QFile::encodeName(path).constData(), 0644);
        } });
    cases.append({ QStringLiteral("link to /dev/zero named x.bmp"), QStringLiteral("x.bmp"), true,
        int(Err::NotARegularFile), [](const QString &path) {
            removeEntry(path);
            ::symlink("/dev/zero", QFile::encodeName(path).constData());
        } });
    cases.append({ QStringLiteral("2 GiB sparse x.bmp"), QStringLiteral("x.bmp"), true,
        int(Err::PictureTooLarge), [](const QString &path) {
            writeFile(path, goodPicture(QStringLiteral("bmp")));
            const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY);
            if (fd >= 0) {
                [[maybe_unused]] const int r = ::ftruncate(fd, qint64(2) << 30);
                ::close(fd);
            }
        } });
    cases.append({ QStringLiteral("folder named x.gif"), QStringLiteral("x.gif"), true, int(Err::IsFolder),
        [](const QString &path) {
            removeEntry(path);
            QDir().mkdir(path);
        } });
    cases.append({ QStringLiteral("symbolic-link loop x.bmp"), QStringLiteral("x.bmp"), true,
        int(Err::PathNotFound), [](const QString &path) {
            removeEntry(path);
            const QByteArray other = QFile::encodeName(path + QStringLiteral("-loop.bmp"));
            ::symlink(other.constData(), QFile::encodeName(path).constData());
            ::symlink(QFile::encodeName(path).constData(), other.constData());
        } });
    cases.append({ QStringLiteral("file removed after listing"), QStringLiteral("x.bmp"), true,
        int(Err::FileNotFound), [](const QString &path) { removeEntry(path); } });
    cases.append(
        { QStringLiteral("folder removed while shown"), QStringLiteral("x.bmp"), true, int(Err::PathNotFound),
            [](const QString &path) { QDir(QFileInfo(path).path()).removeRecursively(); } });
    cases.append(bytesCase(QStringLiteral("empty x.jpg"), QStringLiteral("x.jpg"), true, 0, QByteArray()));

    cases.append(
        bytesCase(QStringLiteral("BMP claiming 65535 x 65535"), QStringLiteral("x.bmp"), true, 0, bmpBomb()));
    cases.append(
        bytesCase(QStringLiteral("GIF claiming 65535 x 65535"), QStringLiteral("x.gif"), true, 0, gifBomb()));
    cases.append(bytesCase(
        QStringLiteral("JPEG claiming 65535 x 65535"), QStringLiteral("x.jpg"), true, 0, jpegBomb()));
    cases.append(bytesCase(
        QStringLiteral("icon claiming 65535 x 65535"), QStringLiteral("x.ico"), true, 0, icoBomb()));
    cases.append(bytesCase(
        QStringLiteral("icon PNG claiming 65535 x 65535"), QStringLiteral("x.ico"), true, 0, icoPngBomb()));
    // A player may show these; it must do so within its bounds.
    cases.append(bytesCase(
        QStringLiteral("EMF with a vast frame"), QStringLiteral("x.emf"), false, 0, emfVastFrame()));
    cases.append(bytesCase(
        QStringLiteral("WMF record of size 0"), QStringLiteral("x.wmf"), false, 0, wmfZeroSizeRecord()));
    cases.append(bytesCase(
        QStringLiteral("WMF record past the end"), QStringLiteral("x.wmf"), false, 0, wmfRecordPastEnd()));
    cases.append(bytesCase(QStringLiteral("WMF header claiming 8 GB, no EOF"), QStringLiteral("x.wmf"), false,
        0, wmfLyingHeader()));

    for (const QString &kind : pictureKinds()) {
        const QByteArray good = goodPicture(kind);
        const QString fileName = QStringLiteral("x.") + extensionFor(kind);
        cases.append(bytesCase(kind + QStringLiteral(" cut inside the header"), fileName, true, 0,
            good.left(headerBytes(kind) / 2)));
        // A metafile header with no records is an empty picture a player may show.
        const bool metafile = kind == QLatin1String("wmf") || kind == QLatin1String("emf");
        cases.append(bytesCase(kind + QStringLiteral(" cut at the header's end"), fileName, !metafile, 0,
            good.left(headerBytes(kind))));
        cases.append(
            bytesCase(kind + QStringLiteral(" cut in half"), fileName, false, 0, good.left(good.size() / 2)));
        cases.append(
            bytesCase(kind + QStringLiteral(" without its last byte"), fileName, false, 0, good.chopped(1)));
    }
    return cases;
}

} // namespace vmtest

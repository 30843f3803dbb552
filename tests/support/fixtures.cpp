#include "support/fixtures.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QtTest>

#include <ftw.h>
#include <unistd.h>

namespace vmtest {

void writeBmp(const QString &path, int w, int h, int dotsPerMetre, QColor colour)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(colour);
    img.setDotsPerMeterX(dotsPerMetre);
    img.setDotsPerMeterY(dotsPerMetre);
    QVERIFY2(img.save(path, "BMP"), qPrintable(path));
}

void writeMarkedBmp(const QString &path, int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, qRgb((x * 7) & 0xFF, (y * 5) & 0xFF, 0x40));
    for (int y = 0; y < h; ++y)
        img.setPixel(w - 1, y, qRgb(0, 0, 255)); // last column blue
    for (int x = 0; x < w; ++x)
        img.setPixel(x, h - 1, qRgb(0, 255, 0)); // last row green
    img.setDotsPerMeterX(3780);
    img.setDotsPerMeterY(3780);
    QVERIFY2(img.save(path, "BMP"), qPrintable(path));
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QString ScratchFolder::newFolder(const QString &prefix)
{
    const QString folder = m_dir.filePath(prefix + QString::number(++m_count));
    return QDir().mkpath(folder) ? folder : QString();
}

ByteSafeTemporaryDir::~ByteSafeTemporaryDir()
{
    if (!isValid())
        return;
    // Deepest first, not following links.
    ::nftw(
        QFile::encodeName(path()).constData(),
        [](const char *name, const struct stat *, int type, FTW *) {
            (void)(type == FTW_DP ? ::rmdir(name) : ::unlink(name));
            return 0;
        },
        16, FTW_DEPTH | FTW_PHYS);
}

} // namespace vmtest

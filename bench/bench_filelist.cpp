// Filling the file list from a folder of 20 000 files, against the bare
// minimum of reading the folder, matching the names and sorting them.
// Goal: the file list within twice the bare minimum.
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

#include <dirent.h>

#include "platform/controls/filelistbox.h"

namespace {

const QString picturePattern = QStringLiteral("*.bmp;*.ico;*.cur;*.jpg;*.jpe;*.jpeg;*.gif;*.wmf;*.emf;*.rle");

QStringList bareListing(const QString &folder)
{
    static const QStringList suffixes = {".bmp", ".ico", ".cur", ".jpg", ".jpe", ".jpeg", ".gif", ".wmf", ".emf", ".rle"};
    QStringList names;
    DIR *dir = opendir(QFile::encodeName(folder).constData());
    while (const dirent *entry = dir ? readdir(dir) : nullptr) {
        if (entry->d_name[0] == '.')
            continue;
        const QString name = QFile::decodeName(entry->d_name);
        if (std::any_of(suffixes.cbegin(), suffixes.cend(),
                        [&](const QString &s) { return name.endsWith(s, Qt::CaseInsensitive); }))
            names.append(name);
    }
    if (dir)
        closedir(dir);
    std::sort(names.begin(), names.end(),
              [](const QString &a, const QString &b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    return names;
}

} // namespace

class BenchFileList : public QObject {
    Q_OBJECT

    QTemporaryDir m_tmp;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_tmp.isValid());
        const char *extensions[] = {"jpg", "JPG", "png", "gif", "bmp", "txt", "jpeg", "tif"};
        for (int i = 0; i < 20000; ++i) {
            QFile file(m_tmp.filePath(QStringLiteral("IMG_%1.%2").arg((i * 7919) % 100003).arg(extensions[i % 8])));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
    }

    void bareReadMatchSort()
    {
        QBENCHMARK {
            QVERIFY(!bareListing(m_tmp.path()).isEmpty());
        }
    }

    void fileListSetPath()
    {
        vm::FileListBox list;
        list.setPattern(picturePattern);
        QBENCHMARK {
            list.setPath(m_tmp.path());
        }
        QCOMPARE(list.ListCount(), bareListing(m_tmp.path()).size());
    }
};

QTEST_MAIN(BenchFileList)
#include "bench_filelist.moc"

// Picture files and folders made on the fly for window tests.
#pragma once

#include <QColor>
#include <QString>
#include <QTemporaryDir>

namespace vmtest {

// Writes a 24-bit BMP of w x h pixels filled with `colour`; `dotsPerMetre`
// is stored as the file's resolution (0 = none recorded).
void writeBmp(const QString &path, int w, int h, int dotsPerMetre = 3780, QColor colour = Qt::red);
// A BMP whose left half is one colour and right half another, and whose last
// column and last row are marked, for checking what a view shows.
void writeMarkedBmp(const QString &path, int w, int h);
// Writes bytes to a file.
void writeBytes(const QString &path, const QByteArray &bytes);

// A temporary folder removed by its bytes when it goes, so that names that
// are not UTF-8 go too (QTemporaryDir leaves them and their folders behind).
class ByteSafeTemporaryDir : public QTemporaryDir {
public:
    ByteSafeTemporaryDir() { setAutoRemove(false); }
    ~ByteSafeTemporaryDir();
    ByteSafeTemporaryDir(const ByteSafeTemporaryDir &) = delete;
    ByteSafeTemporaryDir &operator=(const ByteSafeTemporaryDir &) = delete;
};

// A temporary folder that gives each test row a new empty subfolder, so that
// no row lists another row's files.
class ScratchFolder {
public:
    bool isValid() const { return m_dir.isValid(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }
    // Makes the next subfolder, named `prefix` and a count; empty on failure.
    QString newFolder(const QString &prefix = QString());

private:
    QTemporaryDir m_dir;
    int m_count = 0;
};

} // namespace vmtest

// Names that are not UTF-8: how they are shown, that no two names of a folder
// look alike, and that every shown path leads back to its bytes.
#include "support/fixtures.h"
#include "platform/files/folderreader.h"
#include "platform/files/filenames.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vm;

namespace {

// "日本.jpg" in CP932 (Shift-JIS).
const QByteArray kCp932Name("\x93\xfa\x96\x7b.jpg");
// "café.jpg" in Latin-1: 0xE9 followed by "." is no CP932 character.
const QByteArray kLatin1Name("caf\xe9.jpg");

bool makeFile(const QByteArray &path, const QByteArray &content = "x")
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, content.constData(), size_t(content.size())) == content.size();
    ::close(fd);
    return ok;
}

QByteArray contentOf(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDONLY);
    if (fd < 0)
        return {};
    char buf[64];
    const ssize_t got = ::read(fd, buf, sizeof buf);
    ::close(fd);
    return got > 0 ? QByteArray(buf, int(got)) : QByteArray();
}

} // namespace

class TestFileNames : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void shownForm_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("shown");
        QTest::newRow("UTF-8 as it is") << QByteArray("写真 1.jpg") << QStringLiteral("写真 1.jpg");
        QTest::newRow("CP932 Japanese") << kCp932Name << QStringLiteral("日本.jpg");
        QTest::newRow("CP932 half-width katakana") << QByteArray("\xb6\xc5.gif") << QStringLiteral("ｶﾅ.gif");
        QTest::newRow("Latin-1, no CP932 reading") << kLatin1Name << QStringLiteral("caf\\xE9.jpg");
        QTest::newRow("neither, UTF-8 kept around the bad byte")
            << QByteArray("\xe5\x86\x99\xff.bmp") << QStringLiteral("写\\xFF.bmp");
        QTest::newRow("a cut-off CP932 character") << QByteArray("a\x93") << QStringLiteral("a\\x93");
        QTest::newRow("overlong UTF-8 and a stray byte")
            << QByteArray("\xc0\xaf\xff.bmp") << QStringLiteral("\\xC0\\xAF\\xFF.bmp");
    }
    void shownForm()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, shown);
        QCOMPARE(filenames::displayName(bytes), shown);
    }

    void namesOfOneFolderNeverLookAlike()
    {
        // The UTF-8 name keeps its form; the CP932 name that would read the
        // same falls back to its escaped form.
        const QList<QByteArray> names { kCp932Name, QStringLiteral("日本.jpg").toUtf8(),
            QByteArray("caf\\xE9.jpg"), kLatin1Name, QByteArray("\\xFF\xe9"), QByteArray("\xff\\xE9") };
        const QStringList shown = filenames::displayNames(names);
        QCOMPARE(shown.size(), names.size());
        QCOMPARE(QSet<QString>(shown.begin(), shown.end()).size(), names.size());
        QCOMPARE(shown[1], QStringLiteral("日本.jpg"));
        QCOMPARE(shown[0], QStringLiteral("\\x93\\xFA\\x96{.jpg"));
        QCOMPARE(shown[2], QStringLiteral("caf\\xE9.jpg")); // a real backslash in a UTF-8 name
        QVERIFY(shown[3] != shown[2]);
        // The outcome does not depend on the order the folder lists names in.
        QList<QByteArray> reversed(names.rbegin(), names.rend());
        QStringList again = filenames::displayNames(reversed);
        std::reverse(again.begin(), again.end());
        QCOMPARE(again, shown);
    }

    // A crafted folder (from an archive, say) of a thousand names that all
    // read alike: each raw byte 0xFE could as well be the four characters
    // "\\xFE". Every name still gets a form of its own and of bounded length.
    void aThousandNamesThatReadAlike()
    {
        QList<QByteArray> names;
        for (int bits = 1; bits < 1024; ++bits) {
            QByteArray name;
            for (int b = 0; b < 10; ++b)
                name += (bits >> b & 1) ? QByteArray("\xfe") : QByteArray("\\xFE");
            names.append(name);
        }
        names.append(QByteArray("\\xFE").repeated(9) + "\\xFE~"); // a UTF-8 name like a fallback
        const QStringList shown = filenames::displayNames(names);
        QCOMPARE(QSet<QString>(shown.begin(), shown.end()).size(), names.size());
        const QString alike = QStringLiteral("\\xFE").repeated(10);
        QCOMPARE(shown.last(), alike + QLatin1Char('~'));
        // The smallest bytes keep the shared form.
        QCOMPARE(shown[names.indexOf(*std::min_element(names.begin(), names.end() - 1))], alike);
        for (const QString &form : shown)
            QVERIFY2(form.size() <= alike.size() + 5, qPrintable(form));
        QList<QByteArray> reversed(names.rbegin(), names.rend());
        QStringList again = filenames::displayNames(reversed);
        std::reverse(again.begin(), again.end());
        QCOMPARE(again, shown);
    }

    void everyShownPathOpensItsOwnFile()
    {
        vmtest::ByteSafeTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QByteArray root = QFile::encodeName(dir.path());
        // A CP932 folder holding a CP932 file, a Latin-1 file and a UTF-8
        // name that reads like the CP932 one.
        const QByteArray folder = root + "/\x8e\xca\x90\x5e"; // "写真" in CP932
        QVERIFY(::mkdir(folder.constData(), 0755) == 0);
        const QList<QByteArray> files { kCp932Name, kLatin1Name, QStringLiteral("日本.jpg").toUtf8(),
            "plain.bmp" };
        for (const QByteArray &name : files)
            QVERIFY(makeFile(folder + '/' + name, name));

        const QString shownFolder = dir.path() + QStringLiteral("/写真");
        QCOMPARE(QString::fromUtf8(filenames::nativePath(shownFolder)), QString::fromUtf8(folder));
        QStringList listed = readFolder(shownFolder, EntryKind::File);
        QCOMPARE(listed.size(), files.size());
        for (const QString &name : std::as_const(listed)) {
            const QByteArray native = filenames::nativePath(shownFolder + QLatin1Char('/') + name);
            // The file reached is the one listed under that name.
            QVERIFY2(files.contains(contentOf(native)), qPrintable(name));
            QCOMPARE(filenames::displayNames(QList<QByteArray>(files))
                         .at(files.indexOf(native.mid(folder.size() + 1))),
                name);
        }
        listed.sort();
        QCOMPARE(listed.removeDuplicates(), 0);

        // A shown name that is nowhere stays as typed, for the open to refuse.
        QCOMPARE(filenames::nativePath(shownFolder + QStringLiteral("/nothing/here.bmp")),
            folder + "/nothing/here.bmp");
    }

    // Names built from pieces that read alike in the different forms (escapes
    // typed literally, CP932 and UTF-8 spellings of one word, stray bytes):
    // however they fall together, each shown name is unique, reads back as
    // its own file, and so does a folder named that way.
    void namesThatReadAlikeStillOpenTheirOwnFiles()
    {
        const QList<QByteArray> pieces { "a", "\\", "x", "xFF", "\\xFF", "\\xE9", "E9", "\xff", "\xe9",
            "\x93\xfa", "\x96\x7b", QStringLiteral("日本").toUtf8(), "\x93", "{", ".jpg", "\xc0\xaf" };
        QRandomGenerator random(20261208);
        vmtest::ByteSafeTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QByteArray root = QFile::encodeName(dir.path());
        QSet<QByteArray> made;
        for (int i = 0; i < 400; ++i) {
            QByteArray name;
            for (int n = 1 + random.bounded(4); n > 0; --n)
                name += pieces[random.bounded(int(pieces.size()))];
            if (!name.startsWith('.') && !made.contains(name) && makeFile(root + '/' + name, name))
                made.insert(name);
        }
        QByteArray folderName = "\xff\\x93";
        QVERIFY(::mkdir((root + '/' + folderName).constData(), 0755) == 0);
        QVERIFY(makeFile(root + "/\\xFF\\x93")); // a file named like that folder's shown form

        const QStringList listed = readFolder(dir.path(), EntryKind::File);
        QCOMPARE(listed.size(), made.size() + 1);
        QCOMPARE(QSet<QString>(listed.begin(), listed.end()).size(), listed.size());
        for (const QString &name : listed) {
            const QByteArray native = filenames::nativePath(dir.path() + QLatin1Char('/') + name);
            const QByteArray expected = native.mid(root.size() + 1);
            QVERIFY2(made.contains(expected) || expected == "\\xFF\\x93", qPrintable(name));
            if (made.contains(expected))
                QVERIFY2(contentOf(native) == expected, qPrintable(name));
        }
        const QStringList folders = readFolder(dir.path(), EntryKind::Folder);
        QCOMPARE(folders.size(), 1);
        QVERIFY(!listed.contains(folders[0]));
        QCOMPARE(filenames::nativePath(dir.path() + QLatin1Char('/') + folders[0]), root + '/' + folderName);
    }
};

QTEST_GUILESS_MAIN(TestFileNames)
#include "tst_filenames.moc"

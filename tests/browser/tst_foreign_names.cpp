// Files and folders whose names are not UTF-8 (Shift-JIS from Japanese
// archives, Latin-1, stray bytes), driven through every way the windows reach
// a file: a file the list shows is a file the program opens.
#include "browser/form1.h"
#include "support/fixtures.h"
#include "support/recorder.h"
#include "support/windows.h"
#include "viewer/form2.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vmtest;

namespace {

// A BMP of w x 10 pixels at 3780 px/m: w = 378 is 10 cm wide.
bool writeBmpAt(const QByteArray &path, int w)
{
    QImage img(w, 10, QImage::Format_RGB32);
    img.fill(Qt::darkCyan);
    img.setDotsPerMeterX(3780);
    img.setDotsPerMeterY(3780);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!img.save(&buffer, "BMP"))
        return false;
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    ::close(fd);
    return ok;
}

struct Entry {
    QByteArray bytes;
    QString shown;
    int width; // tells the files apart in the size report
};

} // namespace

class TestForeignNames : public QObject {
    Q_OBJECT

    vmtest::ByteSafeTemporaryDir m_dir;
    QString m_folder; // shown path of a CP932-named folder
    // In the list's order (names sort as shown).
    const QList<Entry> m_entries {
        { "a-\xe5\x86\x99.bmp", QStringLiteral("a-写.bmp"), 378 }, // UTF-8
        { "b-caf\xe9.bmp", QStringLiteral("b-caf\\xE9.bmp"), 189 }, // Latin-1
        { "c-\x93\xfa\x96\x7b.bmp", QStringLiteral("c-日本.bmp"), 567 }, // CP932
        { "d-\xff\xfe.bmp", QStringLiteral("d-\\xFF\\xFE.bmp"), 756 }, // neither
    };

    QString shownPath(int row) const { return m_folder + QLatin1Char('/') + m_entries[row].shown; }
    QString report(int row) const
    {
        const double cm = m_entries[row].width / 37.8;
        return QStringLiteral("画像サイズ  幅=%1cm, 高さ=0.27cm").arg(QString::number(cm, 'f', 1));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const QByteArray folder = QFile::encodeName(m_dir.path()) + "/\x8e\xca\x90\x5e"; // "写真" in CP932
        QVERIFY(::mkdir(folder.constData(), 0755) == 0);
        for (const Entry &e : m_entries)
            QVERIFY(writeBmpAt(folder + '/' + e.bytes, e.width));
        m_folder = m_dir.path() + QStringLiteral("/写真");
    }

    void init() { startProgram(); }
    void cleanup() { stopProgram(); }

    void theFolderListOpensAForeignFolder()
    {
        openFolder(m_dir.path());
        const auto items = Form1->Dir1->findItems(QStringLiteral("写真"), Qt::MatchExactly);
        QCOMPARE(items.size(), 1);
        MsgBoxRecorder boxes;
        openFolder(Form1->Dir1->folderOf(items.first()));
        QCOMPARE(boxes.count(), 0);
        QCOMPARE(Form1->Dir1->Path(), m_folder);
        QCOMPARE(Form1->File1->ListCount(), m_entries.size());
        for (int i = 0; i < m_entries.size(); ++i)
            QCOMPARE(Form1->File1->List(i), m_entries[i].shown);
    }

    void clickArrowsAndEnterOpenEveryListedFile()
    {
        MsgBoxRecorder boxes;
        openFolder(m_folder);
        clickFile(0);
        for (int row = 0; row < m_entries.size(); ++row) {
            if (row > 0)
                QTest::keyClick(Form1->File1, Qt::Key_Down);
            QCOMPARE(boxes.count(), 0);
            QCOMPARE(Form1->Text1->Text(), shownPath(row));
            QCOMPARE(Form1->StatusBar1->SimpleText(), report(row));
        }
        // Enter on exactly the text the path box shows opens the same file.
        for (int row : { 2, 1 }) {
            Form1->Text1->setText(shownPath(row));
            pressInPathBox(Qt::Key_Return);
            QCOMPARE(boxes.count(), 0);
            QCOMPARE(Form1->StatusBar1->SimpleText(), report(row));
        }
        triggerMenu("Form1", "BackMenu");
        QCOMPARE(Form1->Text1->Text(), shownPath(2));
        triggerMenu("Form1", "NextMenu");
        QCOMPARE(Form1->Text1->Text(), shownPath(3));
        QCOMPARE(boxes.count(), 0);
    }

    void theViewerStepsThroughThemAndHandsBackTheLastOne()
    {
        MsgBoxRecorder boxes;
        openFolder(m_folder);
        doubleClickFile(1);
        QVERIFY(Form2.isLoaded());
        QCOMPARE(Form2->Caption(), m_entries[1].shown);
        QCOMPARE(Form2->Image1->Width().value(), m_entries[1].width);
        triggerMenu("Form2", "NextMenu");
        QCOMPARE(Form2->Caption(), m_entries[2].shown);
        QCOMPARE(Form2->Image1->Width().value(), m_entries[2].width);
        triggerMenu("Form2", "NextMenu");
        triggerMenu("Form2", "BackMenu");
        QCOMPARE(Form2->Image1->Width().value(), m_entries[2].width);
        triggerMenu("Form2", "ChanceViewMenu"); // Ctrl+S: the return previews it
        QVERIFY(!Form2.isLoaded());
        QCOMPARE(Form1->Text1->Text(), shownPath(2));
        QCOMPARE(Form1->StatusBar1->SimpleText(), report(2));

        triggerMenu("Form1", "ChangeViewMenu"); // Ctrl+S from the browser
        QVERIFY(Form2.isLoaded());
        QCOMPARE(Form2->Image1->Width().value(), m_entries[2].width);
        QCOMPARE(boxes.count(), 0);
    }
};

QTEST_MAIN(TestForeignNames)
#include "tst_foreign_names.moc"

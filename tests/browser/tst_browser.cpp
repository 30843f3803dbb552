// The browser window as a user meets it: start-up state, the list chain,
// preview and size report, the path box, and the browser's commands.
#include "browser/form1.h"
#include "platform/files/drives.h"
#include "platform/controls/toolbar.h"
#include "platform/runtime.h"
#include "support/fixtures.h"
#include "support/recorder.h"
#include "support/windows.h"
#include "viewer/form2.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace vmtest;

class TestBrowser : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_folder;
    QString path(const char *name) const { return m_folder + QLatin1Char('/') + QLatin1String(name); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_folder = m_dir.path();
        // 378 px at 3780 px/m is exactly 10 cm; 127 x 64 at 2835 px/m is 4.48 x 2.26 cm.
        writeBmp(path("a_ten.bmp"), 378, 189);
        writeBmp(path("b_other.bmp"), 127, 64, 2835, Qt::blue);
        writeBytes(path("c_broken.jpg"), "this is not a picture");
        writeBmp(path("d_last.bmp"), 30, 20);
    }

    void init() { startProgram(); }
    void cleanup() { stopProgram(); }

    void startsAsDefinedWithNoProcedureRun()
    {
        QCOMPARE(Form1->windowTitle(), QStringLiteral("Velmora"));
        QCOMPARE(Form1->StatusBar1->SimpleText(), QStringLiteral("Ready"));
        QVERIFY(Form1->Text1->Text().isEmpty());
        QCOMPARE(Form1->File1->ListIndex(), -1);
        QVERIFY(Form1->Image1->Picture().isNull());
        QVERIFY(!Form2.isLoaded());
        QCOMPARE(Form1->ScaleWidth().value(), 449);
        QCOMPARE(Form1->ScaleHeight().value(), 331);
        // Both windows bear the program icon, in both of its sizes.
        const QList<QSize> sizes = Form1->windowIcon().availableSizes();
        QVERIFY(sizes.contains(QSize(16, 16)) && sizes.contains(QSize(32, 32)));
    }

    void everyControlCarriesItsName()
    {
        for (const char *name : { "StatusBar1", "File1", "Dir1", "Drive1", "CoolBar1", "Toolbar1", "Text1",
                 "imlToolbarIcons", "Image1", "FileMenu", "ExitMenu", "ShowMenu", "ChangeViewMenu",
                 "Separator1", "BackMenu", "NextMenu", "HelpMenu", "AboutMenu" })
            QVERIFY2(Form1->findChild<QObject *>(QLatin1String(name)), name);
        QCOMPARE(Form1->objectName(), QStringLiteral("Form1"));
    }

    void shortcutsReachTheirMenuItems_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QKeySequence>("keys");
        QTest::newRow("view switch") << "ChangeViewMenu" << QKeySequence(QStringLiteral("Ctrl+S"));
        QTest::newRow("back") << "BackMenu" << QKeySequence(QStringLiteral("Ctrl+B"));
        QTest::newRow("next") << "NextMenu" << QKeySequence(QStringLiteral("Ctrl+N"));
    }
    void shortcutsReachTheirMenuItems()
    {
        QFETCH(QString, item);
        QFETCH(QKeySequence, keys);
        auto *action = Form1->findChild<QAction *>(item);
        QVERIFY(action);
        QSignalSpy spy(action, &QAction::triggered);
        Form1->File1->setFocus();
        QTest::keySequence(Form1.peek(), keys);
        QCOMPARE(spy.count(), 1);
    }

    void toolbarButtonsCarryTheirKeysAndTheSeparatorRaisesNothing()
    {
        const QList<QAction *> buttons = Form1->Toolbar1->buttons();
        QCOMPARE(buttons.size(), 5);
        QCOMPARE(buttons[0]->property("Key").toString(), QStringLiteral("表示切替"));
        QCOMPARE(buttons[4]->property("Key").toString(), QStringLiteral("ﾍﾙﾌﾟ"));
        QCOMPARE(buttons[4]->toolTip(), QStringLiteral("バージョン情報"));
        QVERIFY(buttons[3]->isSeparator());
        for (QAction *b : buttons)
            if (!b->isSeparator())
                QVERIFY2(!b->icon().isNull(), qPrintable(b->objectName()));
        QSignalSpy spy(Form1->Toolbar1, &vm::Toolbar::ButtonClick);
        Form1->Toolbar1->click(4);
        QCOMPARE(spy.count(), 0);
    }

    void aFolderChangeMovesTheFileListWithNothingSelected()
    {
        openFolder(m_folder);
        QCOMPARE(Form1->File1->Path(), m_folder);
        QCOMPARE(Form1->File1->ListCount(), 4);
        QCOMPARE(Form1->File1->ListIndex(), -1);
    }

    void aDriveChangeMovesBothListsAndAFailedOneLeavesThemAgreeing()
    {
        // A made-up mount table: the root, a drive whose folder exists, and
        // one whose mount point has gone (a card pulled out, say).
        const QString good = m_dir.path() + QStringLiteral("/card");
        QDir().mkpath(good);
        writeBmp(good + QStringLiteral("/on_card.bmp"), 10, 10);
        const QString gonePath = m_dir.path() + QStringLiteral("/gone");
        QDir().mkpath(gonePath);
        const QByteArray table = "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
                                 "2 1 8:2 / "
            + good.toUtf8()
            + " rw - vfat /dev/sdb1 rw\n"
              "3 1 8:3 / "
            + gonePath.toUtf8() + " rw - vfat /dev/sdc1 rw\n";
        vm::drives::setSourcesForTesting([table] { return table; }, QString());
        Form1->Drive1->refresh();
        openFolder(m_folder);
        MsgBoxRecorder boxes;

        const int card = Form1->Drive1->findText(good);
        QVERIFY(card >= 0);
        Form1->Drive1->setCurrentIndex(card); // as the user choosing it
        QCOMPARE(boxes.count(), 0);
        QCOMPARE(Form1->Dir1->Path(), good);
        QCOMPARE(Form1->File1->Path(), good); // followed without a further action
        QCOMPARE(Form1->File1->ListCount(), 1);

        const int gone = Form1->Drive1->findText(gonePath);
        QVERIFY(gone >= 0);
        QVERIFY(QDir().rmdir(gonePath)); // its folder goes before the user picks it
        Form1->Drive1->setCurrentIndex(gone);
        QCOMPARE(boxes.errorBoxes(), 1);
        QCOMPARE(boxes.count(), 1);
        QCOMPARE(Form1->Dir1->Path(), good);
        QCOMPARE(Form1->File1->Path(), good);
        QCOMPARE(Form1->Drive1->Drive(), good); // back on the drive the lists show
        // Choosing the failed drive again retries it.
        Form1->Drive1->setCurrentIndex(gone);
        QCOMPARE(boxes.errorBoxes(), 2);

        // The drive the lists show goes too: still one box for one choice.
        QVERIFY(QDir(good).removeRecursively());
        Form1->Drive1->setCurrentIndex(Form1->Drive1->findText(gonePath));
        QCOMPARE(boxes.errorBoxes(), 3);
        vm::drives::resetForTesting();
    }

    void clickPreviewsAndReportsTheSize()
    {
        MsgBoxRecorder boxes;
        openFolder(m_folder);
        clickFile(0);
        QCOMPARE(boxes.count(), 0);
        QCOMPARE(Form1->Text1->Text(), path("a_ten.bmp")); // exactly one separator
        QCOMPARE(Form1->StatusBar1->SimpleText(), QStringLiteral("画像サイズ  幅=10.0cm, 高さ=5.0cm"));
        QCOMPARE(Form1->Image1->Picture().pixelSize(), QSize(378, 189));
        // The preview fills the area inside the border, distorted to fit.
        QCOMPARE(Form1->Image1->shownImage().size(), Form1->Image1->devicePictureArea().size());

        clickFile(1); // two previews: only the second report stays
        QCOMPARE(Form1->StatusBar1->SimpleText(), QStringLiteral("画像サイズ  幅=4.48cm, 高さ=2.26cm"));
    }

    void arrowKeysPreviewEachFileInTurn()
    {
        MsgBoxRecorder boxes;
        openFolder(m_folder);
        clickFile(0);
        QTest::keyClick(Form1->File1, Qt::Key_Down);
        QCOMPARE(Form1->File1->ListIndex(), 1);
        QCOMPARE(Form1->Text1->Text(), path("b_other.bmp"));
        QCOMPARE(boxes.count(), 0);
    }

    void aFailedPreviewShowsOneBoxAndChangesNothing()
    {
        MsgBoxRecorder boxes;
        openFolder(m_folder);
        clickFile(0);
        const QString report = Form1->StatusBar1->SimpleText();
        const QImage shown = Form1->Image1->Picture().image();
        clickFile(2); // c_broken.jpg
        QCOMPARE(boxes.errorBoxes(), 1);
        QCOMPARE(boxes.calls().size(), 1);
        QCOMPARE(Form1->StatusBar1->SimpleText(), report);
        QCOMPARE(Form1->Text1->Text(), path("a_ten.bmp"));
        QCOMPARE(Form1->Image1->Picture().image(), shown);
        QCOMPARE(Form1->File1->ListIndex(), 2); // the selection itself moved
    }

    void enterPreviewsTheTypedPathWhateverTheModifiers_data()
    {
        QTest::addColumn<int>("modifiers");
        QTest::newRow("plain") << int(Qt::NoModifier);
        QTest::newRow("shift") << int(Qt::ShiftModifier);
        QTest::newRow("ctrl") << int(Qt::ControlModifier);
        QTest::newRow("alt") << int(Qt::AltModifier);
    }
    void enterPreviewsTheTypedPathWhateverTheModifiers()
    {
        QFETCH(int, modifiers);
        MsgBoxRecorder boxes;
        openFolder(m_folder);
        clickFile(0);
        Form1->Text1->setText(path("b_other.bmp"));
        pressInPathBox(Qt::Key_Return, modifiers);
        QCOMPARE(boxes.count(), 0);
        QCOMPARE(Form1->StatusBar1->SimpleText(), QStringLiteral("画像サイズ  幅=4.48cm, 高さ=2.26cm"));
        QCOMPARE(Form1->Text1->Text(), path("b_other.bmp"));
        // The typed path is not the current file: the selection stays.
        QCOMPARE(Form1->File1->ListIndex(), 0);
        vmtest::triggerMenu("Form1", "NextMenu");
        QCOMPARE(Form1->File1->ListIndex(), 1);
    }

    void enterIsTakenByTheProcedureNotTheBox()
    {
        // Text1_KeyDown sets KeyCode to 0 for Enter: the box never sees it.
        MsgBoxRecorder boxes;
        QSignalSpy returns(Form1->Text1, &QLineEdit::returnPressed);
        pressInPathBox(Qt::Key_Return);
        QCOMPARE(boxes.errorBoxes(), 1);
        QCOMPARE(returns.count(), 0);
    }

    void enterOnAnEmptyOrUnloadablePathShowsOneBox_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::newRow("empty") << QString();
        QTest::newRow("missing") << QStringLiteral("/no/such/folder/x.bmp");
        QTest::newRow("a folder") << QStringLiteral("/tmp");
    }
    void enterOnAnEmptyOrUnloadablePathShowsOneBox()
    {
        QFETCH(QString, typed);
        MsgBoxRecorder boxes;
        Form1->Text1->setText(typed);
        pressInPathBox(Qt::Key_Return);
        QCOMPARE(boxes.errorBoxes(), 1);
        QVERIFY(!boxes.calls().first().prompt.isEmpty());
        QCOMPARE(Form1->Text1->Text(), typed);
        QCOMPARE(Form1->StatusBar1->SimpleText(), QStringLiteral("Ready"));
    }

    void clickWithNoSelectionDoesNothing()
    {
        MsgBoxRecorder boxes;
        openFolder(m_folder);
        Form1->File1_Click();
        QCOMPARE(boxes.count(), 0);
        QVERIFY(Form1->Text1->Text().isEmpty());
    }

    void backAndNextStopAtTheEndsAndNeverWrap()
    {
        MsgBoxRecorder boxes;
        openFolder(m_folder);
        vmtest::triggerMenu("Form1", "BackMenu"); // no selection: nothing
        vmtest::triggerMenu("Form1", "NextMenu");
        QCOMPARE(Form1->File1->ListIndex(), -1);
        clickFile(0);
        vmtest::triggerMenu("Form1", "BackMenu");
        QCOMPARE(Form1->File1->ListIndex(), 0);
        clickFile(3);
        vmtest::triggerMenu("Form1", "NextMenu");
        QCOMPARE(Form1->File1->ListIndex(), 3);
        QCOMPARE(boxes.count(), 0);
    }

    void nextOntoAnUnloadableFileMovesTheSelectionAndKeepsThePath()
    {
        MsgBoxRecorder boxes;
        openFolder(m_folder);
        clickFile(1);
        vmtest::triggerMenu("Form1", "NextMenu"); // onto c_broken.jpg
        QCOMPARE(Form1->File1->ListIndex(), 2);
        QCOMPARE(boxes.errorBoxes(), 1);
        QCOMPARE(Form1->Text1->Text(), path("b_other.bmp"));
        vmtest::triggerMenu("Form1", "BackMenu");
        QCOMPARE(Form1->File1->ListIndex(), 1);
        QCOMPARE(boxes.errorBoxes(), 1);
    }

    void theSwitchNeedsAPathAndASelection()
    {
        MsgBoxRecorder boxes;
        openFolder(m_folder);
        clickFile(2); // unloadable first click: selection, empty path box
        QVERIFY(Form1->Text1->Text().isEmpty());
        vmtest::triggerMenu("Form1", "ChangeViewMenu");
        QVERIFY(!Form2.isLoaded());
        QVERIFY(Form1->isVisible());

        openFolder(QDir::tempPath()); // text but no selection
        Form1->Text1->setText(path("a_ten.bmp"));
        vmtest::triggerMenu("Form1", "ChangeViewMenu");
        QVERIFY(!Form2.isLoaded());
    }

    void doubleClickOpensTheViewerEvenWithAnEmptyPathBox()
    {
        MsgBoxRecorder boxes;
        openFolder(m_folder);
        clickFile(2);
        boxes.clear();
        doubleClickFile(2);
        QVERIFY(Form2.isLoaded());
        QVERIFY(Form1->isHidden());
        QCOMPARE(Form1->Text1->Text(), path("c_broken.jpg")); // the viewer wrote it
    }

    void toolbarKeysAreComparedExactly_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("boxes");
        QTest::newRow("help, half-width") << QStringLiteral("ﾍﾙﾌﾟ") << 1;
        QTest::newRow("help, full-width") << QStringLiteral("ヘルプ") << 0;
        QTest::newRow("unknown key") << QStringLiteral("Help") << 0;
        QTest::newRow("viewer's first key") << QStringLiteral("ｺﾏﾝﾄﾞ ﾎﾞﾀﾝ") << 0;
    }
    void toolbarKeysAreComparedExactly()
    {
        QFETCH(QString, key);
        QFETCH(int, boxes);
        MsgBoxRecorder recorder;
        Q_EMIT Form1->Toolbar1->ButtonClick(vm::Button { key, 1 });
        QCOMPARE(recorder.count(), boxes);
        QVERIFY(!Form2.isLoaded());
    }

    void versionBoxHasTwoLines()
    {
        MsgBoxRecorder boxes;
        Form1->Toolbar1->click(5);
        QCOMPARE(boxes.count(), 1);
        const vm::MsgBoxCall call = boxes.calls().first();
        QCOMPARE(call.title, QStringLiteral("バージョン情報"));
        QCOMPARE(call.icon, vm::MsgBoxIcon::Information);
        const QStringList lines = call.prompt.split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0], QStringLiteral("Velmora Version 1.00"));
        QVERIFY(lines[1].startsWith(QStringLiteral("Programed by")));
    }

    void exitEndsWithoutUnloadingTheViewer()
    {
        MsgBoxRecorder boxes;
        openFolder(m_folder);
        clickFile(0);
        doubleClickFile(0);
        QVERIFY(Form2.isLoaded());
        const QString pathBefore = Form1->Text1->Text();
        vmtest::triggerMenu("Form1", "ExitMenu");
        QVERIFY(vm::hasEnded());
        QVERIFY(Form2.isLoaded()); // no unload procedure ran
        QCOMPARE(Form1->Text1->Text(), pathBefore);
        vm::resetEnded();
    }
};

QTEST_MAIN(TestBrowser)
#include "tst_browser.moc"

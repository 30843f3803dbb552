// Japanese everywhere: Qt's own texts (the path box's context menu, dialog
// buttons) come from Qt's Japanese translation, and the font the program
// chooses has a glyph for every character the windows show, half-width
// katakana included.
#include "app/application.h"
#include "browser/form1.h"
#include "platform/controls/toolbar.h"
#include "platform/runtimeerror.h"
#include "support/recorder.h"
#include "support/windows.h"
#include "viewer/form2.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRawFont>
#include <QScreen>
#include <QTemporaryDir>
#include <QToolButton>
#include <QToolTip>
#include <QtTest>

#include <memory>

using namespace vmtest;

namespace {

// Every text a window shows: title, menus, tool tips, accessible names, and
// the captions its controls carry.
QStringList textsOf(QWidget *window)
{
    QStringList texts { window->windowTitle() };
    for (QAction *a : window->findChildren<QAction *>())
        texts << a->text() << a->toolTip();
    for (QMenu *m : window->findChildren<QMenu *>())
        texts << m->title();
    for (QWidget *w : window->findChildren<QWidget *>()) {
        texts << w->accessibleName() << w->accessibleDescription();
        const QVariant caption = w->property("Caption");
        if (caption.isValid())
            texts << caption.toString();
        const QVariant simple = w->property("SimpleText");
        if (simple.isValid())
            texts << simple.toString();
    }
    texts.removeAll(QString());
    return texts;
}

bool japaneseTranslationInstalled()
{
    return QFileInfo::exists(
        QLibraryInfo::path(QLibraryInfo::TranslationsPath) + QStringLiteral("/qtbase_ja.qm"));
}

} // namespace

class TestJapanese : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    void showViewer()
    {
        openFolder(m_dir.path());
        clickFile(0);
        triggerMenu("Form1", "ChangeViewMenu");
        QVERIFY(Form2.isLoaded());
        QVERIFY(QTest::qWaitForWindowExposed(Form2.peek()));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QImage img(40, 30, QImage::Format_RGB32);
        img.fill(Qt::darkCyan);
        QVERIFY(img.save(m_dir.filePath(QStringLiteral("a.bmp"))));
    }
    void init() { startProgram(); }
    void cleanup() { stopProgram(); }

    void qtOwnTextsAreJapanese_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<QString>("expected");
        QTest::newRow("path box menu: undo") << "menu 0"
                                             << "元に戻す(&U)";
        QTest::newRow("path box menu: cut") << "menu 3"
                                            << "切り取り(&T)";
        QTest::newRow("path box menu: paste") << "menu 5"
                                              << "貼り付け(&P)";
        QTest::newRow("path box menu: select all") << "menu 8"
                                                   << "すべてを選択";
        QTest::newRow("dialog button: cancel") << "button Cancel"
                                               << "キャンセル";
        QTest::newRow("dialog button: yes") << "button Yes"
                                            << "はい(&Y)";
        QTest::newRow("dialog button: no") << "button No"
                                           << "いいえ(&N)";
    }
    void qtOwnTextsAreJapanese()
    {
        QFETCH(QString, where);
        QFETCH(QString, expected);
        if (!japaneseTranslationInstalled())
            QSKIP("qtbase_ja.qm is not installed (package qt6-translations-l10n)");
        QString text;
        if (where.startsWith(QLatin1String("menu "))) {
            Form1->Text1->setText(QStringLiteral("/tmp/a.bmp"));
            const std::unique_ptr<QMenu> menu(Form1->Text1->createStandardContextMenu());
            const QList<QAction *> items = menu->actions();
            const int index = where.mid(5).toInt();
            QVERIFY(index < items.size());
            text = items.at(index)->text().section(QLatin1Char('\t'), 0, 0); // without the shortcut
        } else {
            QDialogButtonBox box(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Yes
                | QDialogButtonBox::No);
            const auto which = where.endsWith(QLatin1String("Cancel")) ? QDialogButtonBox::Cancel
                : where.endsWith(QLatin1String("Yes"))                 ? QDialogButtonBox::Yes
                                                                       : QDialogButtonBox::No;
            text = box.button(which)->text();
        }
        QCOMPARE(text, expected);
    }

    void theChosenFontIsJapanese()
    {
        const QFont font = QApplication::font();
        if (!QStringList { "IPAGothic", "IPAPGothic", "Noto Sans CJK JP", "TakaoGothic", "VL Gothic" }
                 .contains(font.family()))
            QSKIP("no Japanese font installed (package fonts-ipafont-gothic)");
        // What the font machinery resolves it to covers Japanese writing.
        const QString resolved = QFontInfo(font).family();
        QVERIFY2(QFontDatabase::families(QFontDatabase::Japanese).contains(resolved), qPrintable(resolved));
    }

    void everyShownCharacterHasAGlyph_data()
    {
        QTest::addColumn<QString>("what");
        QTest::newRow("browser window") << "Form1";
        QTest::newRow("viewer window") << "Form2";
        QTest::newRow("half-width katakana keys") << "ｺﾏﾝﾄﾞ ﾎﾞﾀﾝ ﾍﾙﾌﾟ";
        QTest::newRow("error descriptions") << "errors";
    }
    void everyShownCharacterHasAGlyph()
    {
        QFETCH(QString, what);
        MsgBoxRecorder boxes;
        QStringList texts;
        if (what == QLatin1String("Form1")) {
            texts = textsOf(Form1.peek());
        } else if (what == QLatin1String("Form2")) {
            showViewer();
            texts = textsOf(Form2.peek());
        } else if (what == QLatin1String("errors")) {
            texts << QStringLiteral("エラー");
            for (int n : { 6, 7, 52, 53, 57, 68, 70, 75, 76, 77, 380, 481, 31037, 31001 })
                texts << vm::describe(vm::Err(n));
        } else {
            texts << what;
        }
        QVERIFY(texts.size() > 0);
        const QRawFont font = QRawFont::fromFont(QApplication::font());
        QVERIFY(font.isValid());
        for (const QString &text : texts)
            for (const QChar c : text)
                if (!c.isSpace() && c.category() != QChar::Other_Control)
                    QVERIFY2(font.supportsCharacter(c),
                        qPrintable(QStringLiteral("%1 (U+%2) in \"%3\" with %4")
                                       .arg(c)
                                       .arg(c.unicode(), 4, 16, QLatin1Char('0'))
                                       .arg(text, font.familyName())));
    }

    void theViewersHelpTipReadsAsStored()
    {
        MsgBoxRecorder boxes;
        showViewer();
        auto *bar = Form2->Toolbar1;
        auto *b = qobject_cast<QToolButton *>(bar->widgetForAction(bar->buttons().at(4)));
        QVERIFY(b);
        const QPoint centre = b->rect().center();
        QHelpEvent hover(QEvent::ToolTip, centre, b->mapToGlobal(centre));
        QApplication::sendEvent(b, &hover);
        QTRY_VERIFY(QToolTip::isVisible());
        QCOMPARE(QToolTip::text(), QStringLiteral("ﾍﾙﾌﾟ"));
        const QByteArray dir = qgetenv("VELMORA_SCREENSHOT_DIR");
        if (!dir.isEmpty()) {
            QTest::qWait(300);
            QGuiApplication::primaryScreen()
                ->grabWindow(0, 0, 0, 360, 160)
                .save(QString::fromLocal8Bit(dir) + QStringLiteral("/viewer-tooltip.png"));
        }
        QToolTip::hideText();
    }
};

QTEST_MAIN(TestJapanese)
#include "tst_japanese.moc"

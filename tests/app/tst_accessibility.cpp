// The windows without a mouse and through assistive technology: Japanese
// accessible names, tool bar buttons described by their tips, the tab order,
// the tool bar worked by keys, access keys in every menu, and a whole round
// (choose a file, view it, step on, return) by keys alone.
#include "browser/form1.h"
#include "platform/controls/scrollbar.h"
#include "platform/controls/toolbar.h"
#include "support/recorder.h"
#include "support/windows.h"
#include "viewer/form2.h"

#include <QAccessible>
#include <QApplication>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

using namespace vmtest;

namespace {

QWidget *window(const QString &name)
{
    return name == QLatin1String("Form1") ? static_cast<QWidget *>(Form1.peek()) : Form2.peek();
}

// The control (a named child of the window) that holds the keyboard focus.
QString focusedControl(const QStringList &names)
{
    for (QWidget *w = QApplication::focusWidget(); w; w = w->parentWidget())
        if (names.contains(w->objectName()))
            return w->objectName();
    return QApplication::focusWidget() ? QStringLiteral("other: ") + QApplication::focusWidget()->objectName()
                                       : QStringLiteral("none");
}

void press(int key, Qt::KeyboardModifiers modifiers = {})
{
    QWidget *target
        = QApplication::focusWidget() ? QApplication::focusWidget() : QApplication::activeWindow();
    QVERIFY(target);
    QTest::keyClick(target, Qt::Key(key), modifiers);
}

} // namespace

class TestAccessibility : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_small, m_large;

    void showViewer(const QString &folder)
    {
        openFolder(folder);
        clickFile(0);
        triggerMenu("Form1", "ChangeViewMenu");
        QVERIFY(Form2.isLoaded());
        QVERIFY(QTest::qWaitForWindowActive(Form2.peek()));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_small = m_dir.filePath(QStringLiteral("small"));
        m_large = m_dir.filePath(QStringLiteral("large"));
        QDir().mkpath(m_small);
        QDir().mkpath(m_large);
        for (const char *name : { "a.bmp", "b.bmp", "c.bmp" })
            QVERIFY(QImage(QSize(24, 16), QImage::Format_RGB32)
                        .save(m_small + QLatin1Char('/') + QLatin1String(name)));
        // Larger than any screen in both directions: both scroll bars.
        QImage big(5000, 4000, QImage::Format_RGB32);
        for (int y = 0; y < big.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(big.scanLine(y));
            for (int x = 0; x < big.width(); ++x)
                line[x] = qRgb(x & 0xFF, (x >> 8) & 0xFF, y & 0xFF);
        }
        QVERIFY(big.save(m_large + QStringLiteral("/big.bmp")));
    }

    void init()
    {
        startProgram();
        QVERIFY(QTest::qWaitForWindowActive(Form1.peek()));
    }
    void cleanup() { stopProgram(); }

    void controlsHaveJapaneseNames_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("name");
        QTest::newRow("browser file list") << "Form1"
                                           << "File1"
                                           << "ファイル一覧";
        QTest::newRow("browser folder list") << "Form1"
                                             << "Dir1"
                                             << "フォルダー一覧";
        QTest::newRow("browser drive list") << "Form1"
                                            << "Drive1"
                                            << "ドライブ一覧";
        QTest::newRow("browser path box") << "Form1"
                                          << "Text1"
                                          << "ファイル名";
        QTest::newRow("browser preview") << "Form1"
                                         << "Image1"
                                         << "プレビュー";
        QTest::newRow("browser status bar") << "Form1"
                                            << "StatusBar1"
                                            << "ステータス バー";
        QTest::newRow("browser tool bar") << "Form1"
                                          << "Toolbar1"
                                          << "ツール バー";
        QTest::newRow("browser cool bar") << "Form1"
                                          << "CoolBar1"
                                          << "コマンド バー";
        QTest::newRow("viewer view box") << "Form2"
                                         << "Picture1"
                                         << "画像の表示領域";
        QTest::newRow("viewer full-size box") << "Form2"
                                              << "Image1"
                                              << "画像";
        QTest::newRow("viewer horizontal bar") << "Form2"
                                               << "HScroll1"
                                               << "横スクロール バー";
        QTest::newRow("viewer vertical bar") << "Form2"
                                             << "VScroll1"
                                             << "縦スクロール バー";
        QTest::newRow("viewer tool bar") << "Form2"
                                         << "Toolbar1"
                                         << "ツール バー";
        QTest::newRow("viewer cool bar") << "Form2"
                                         << "CoolBar1"
                                         << "コマンド バー";
    }
    void controlsHaveJapaneseNames()
    {
        QFETCH(QString, form);
        QFETCH(QString, control);
        QFETCH(QString, name);
        MsgBoxRecorder boxes;
        if (form == QLatin1String("Form2"))
            showViewer(m_large);
        QWidget *w = window(form)->findChild<QWidget *>(control);
        QVERIFY(w);
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(w);
        QVERIFY(iface);
        QCOMPARE(iface->text(QAccessible::Name), name);
    }

    void toolbarButtonsAreDescribedByTheirTips_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("tip");
        QTest::newRow("browser view switch") << "Form1" << 1 << "表示切替";
        QTest::newRow("browser back") << "Form1" << 2 << "戻る";
        QTest::newRow("browser forward") << "Form1" << 3 << "進む";
        QTest::newRow("browser about") << "Form1" << 5 << "バージョン情報";
        QTest::newRow("viewer view switch") << "Form2" << 1 << "表示切替";
        QTest::newRow("viewer back") << "Form2" << 2 << "戻る";
        QTest::newRow("viewer forward") << "Form2" << 3 << "進む";
        QTest::newRow("viewer help, half-width") << "Form2" << 5 << "ﾍﾙﾌﾟ";
    }
    void toolbarButtonsAreDescribedByTheirTips()
    {
        QFETCH(QString, form);
        QFETCH(int, button);
        QFETCH(QString, tip);
        MsgBoxRecorder boxes;
        if (form == QLatin1String("Form2"))
            showViewer(m_small);
        auto *bar = window(form)->findChild<vm::Toolbar *>(QStringLiteral("Toolbar1"));
        QVERIFY(bar);
        QWidget *b = bar->widgetForAction(bar->buttons().at(button - 1));
        QVERIFY(b);
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(b);
        QVERIFY(iface);
        QCOMPARE(iface->role(), QAccessible::Button);
        QCOMPARE(iface->text(QAccessible::Description), tip);
        QCOMPARE(iface->text(QAccessible::Name), tip);
    }

    void tabFollowsTheDefinedOrder_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("browser") << "Form1" << QString()
                                 << QStringList { "Text1", "Toolbar1", "Drive1", "Dir1", "File1" };
        QTest::newRow("viewer with both bars")
            << "Form2"
            << "large" << QStringList { "Toolbar1", "HScroll1", "VScroll1" };
        QTest::newRow("viewer, picture fits") << "Form2"
                                              << "small" << QStringList { "Toolbar1" };
    }
    void tabFollowsTheDefinedOrder()
    {
        QFETCH(QString, form);
        QFETCH(QString, folder);
        QFETCH(QStringList, order);
        MsgBoxRecorder boxes;
        if (form == QLatin1String("Form2"))
            showViewer(folder == QLatin1String("large") ? m_large : m_small);
        QWidget *w = window(form);
        w->findChild<QWidget *>(order.first())->setFocus(Qt::TabFocusReason);
        QStringList names = { "Text1", "Toolbar1", "Drive1", "Dir1", "File1", "StatusBar1", "CoolBar1",
            "HScroll1", "VScroll1", "Picture1", "Image1" };
        QStringList visited { focusedControl(names) };
        for (int i = 0; i < order.size(); ++i) {
            press(Qt::Key_Tab);
            visited.append(focusedControl(names));
        }
        QCOMPARE(visited, order + QStringList { order.first() }); // and round again
        // Shift+Tab goes back the same way.
        press(Qt::Key_Backtab);
        QCOMPARE(focusedControl(names), order.last());
    }

    void toolbarIsWorkedByKeys_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<int>("current");
        QTest::addColumn<QString>("pressed");
        using L = QList<int>;
        QTest::newRow("first on entry") << "Form1" << L {} << 1 << "表示切替";
        QTest::newRow("right") << "Form1" << L { Qt::Key_Right } << 2 << "戻る";
        QTest::newRow("over the separator")
            << "Form1" << L { Qt::Key_Right, Qt::Key_Right, Qt::Key_Right } << 5 << "ﾍﾙﾌﾟ";
        QTest::newRow("left wraps") << "Form1" << L { Qt::Key_Left } << 5 << "ﾍﾙﾌﾟ";
        QTest::newRow("end, then down") << "Form1" << L { Qt::Key_End, Qt::Key_Down } << 1 << "表示切替";
        QTest::newRow("viewer: home after moving")
            << "Form2" << L { Qt::Key_Right, Qt::Key_Home } << 1 << "ｺﾏﾝﾄﾞ ﾎﾞﾀﾝ";
        QTest::newRow("viewer: up from the end") << "Form2" << L { Qt::Key_End, Qt::Key_Up } << 3 << "進む";
    }
    void toolbarIsWorkedByKeys()
    {
        QFETCH(QString, form);
        QFETCH(QList<int>, keys);
        QFETCH(int, current);
        QFETCH(QString, pressed);
        MsgBoxRecorder boxes;
        if (form == QLatin1String("Form2"))
            showViewer(m_small);
        auto *bar = window(form)->findChild<vm::Toolbar *>(QStringLiteral("Toolbar1"));
        QVERIFY(bar);
        bar->setFocus(Qt::TabFocusReason);
        QVERIFY(bar->hasFocus());
        for (int key : keys)
            QTest::keyClick(bar, Qt::Key(key));
        QCOMPARE(bar->currentButton(), current);
        QStringList clicked;
        connect(bar, &vm::Toolbar::ButtonClick, this, [&](const vm::Button &b) { clicked.append(b.Key); });
        QTest::keyClick(bar, Qt::Key_Space);
        QCOMPARE(clicked, QStringList { pressed });
    }

    void scrollBarsPanByKeys_data()
    {
        QTest::addColumn<QString>("bar");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("expected"); // -1: the bar's maximum
        QTest::newRow("right arrow") << "HScroll1" << int(Qt::Key_Right) << 10;
        QTest::newRow("down arrow") << "VScroll1" << int(Qt::Key_Down) << 10;
        QTest::newRow("left arrow at the start") << "HScroll1" << int(Qt::Key_Left) << 0;
        QTest::newRow("page down") << "VScroll1" << int(Qt::Key_PageDown) << 30;
        QTest::newRow("end") << "HScroll1" << int(Qt::Key_End) << -1;
        QTest::newRow("end, vertical") << "VScroll1" << int(Qt::Key_End) << -1;
    }
    void scrollBarsPanByKeys()
    {
        QFETCH(QString, bar);
        QFETCH(int, key);
        QFETCH(int, expected);
        MsgBoxRecorder boxes;
        showViewer(m_large);
        auto *scroll = Form2->findChild<vm::ScrollBarBase *>(bar);
        QVERIFY(scroll && scroll->isVisible());
        scroll->setFocus(Qt::TabFocusReason);
        press(key);
        const int value = expected < 0 ? scroll->Max() : expected;
        QCOMPARE(int(scroll->Value()), value);
        // The view shows the picture's block at the new place.
        const QImage &view = Form2->Picture1->surface();
        const int x = Form2->HScroll1->Value(), y = Form2->VScroll1->Value();
        QCOMPARE(view.pixel(0, 0), qRgb(x & 0xFF, (x >> 8) & 0xFF, y & 0xFF));
        const int r = view.width() - 1, b = view.height() - 1;
        QCOMPARE(view.pixel(r, b), qRgb((x + r) & 0xFF, ((x + r) >> 8) & 0xFF, (y + b) & 0xFF));
    }

    void everyMenuItemHasItsOwnAccessKey_data()
    {
        QTest::addColumn<QString>("form");
        QTest::newRow("browser") << "Form1";
        QTest::newRow("viewer") << "Form2";
    }
    void everyMenuItemHasItsOwnAccessKey()
    {
        QFETCH(QString, form);
        MsgBoxRecorder boxes;
        if (form == QLatin1String("Form2"))
            showViewer(m_small);
        auto *menuBar = window(form)->findChild<QMenuBar *>();
        QVERIFY(menuBar);
        auto check = [](const QList<QAction *> &items) {
            QSet<QChar> used;
            for (QAction *a : items) {
                if (a->isSeparator())
                    continue;
                const QKeySequence mnemonic = QKeySequence::mnemonic(a->text());
                QVERIFY2(!mnemonic.isEmpty(), qPrintable(a->text()));
                const QChar key = QKeySequence(mnemonic[0].key()).toString().at(0);
                QVERIFY2(!used.contains(key), qPrintable(a->text()));
                used.insert(key);
            }
        };
        check(menuBar->actions());
        for (QAction *top : menuBar->actions()) {
            QVERIFY(top->menu());
            check(top->menu()->actions());
        }
    }

    void aWholeRoundByKeysAlone()
    {
        MsgBoxRecorder boxes;
        openFolder(m_small);
        // From the path box to the file list by Tab, then pick with the arrow keys.
        Form1->Text1->setFocus(Qt::TabFocusReason);
        for (int i = 0; i < 4; ++i)
            press(Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(Form1->File1));
        press(Qt::Key_Space); // the entry under the focus frame, the first
        QCOMPARE(Form1->File1->ListIndex(), 0);
        QCOMPARE(Form1->Text1->Text(), m_small + QStringLiteral("/a.bmp"));
        press(Qt::Key_Down);
        QCOMPARE(Form1->File1->ListIndex(), 1);
        QCOMPARE(Form1->Text1->Text(), m_small + QStringLiteral("/b.bmp"));

        press(Qt::Key_S, Qt::ControlModifier); // view
        QVERIFY(Form2.isLoaded());
        QVERIFY(QTest::qWaitForWindowActive(Form2.peek()));
        QCOMPARE(Form2->windowTitle(), QStringLiteral("b.bmp"));
        press(Qt::Key_N, Qt::ControlModifier); // next
        QCOMPARE(Form2->windowTitle(), QStringLiteral("c.bmp"));
        press(Qt::Key_B, Qt::ControlModifier); // back
        QCOMPARE(Form2->windowTitle(), QStringLiteral("b.bmp"));
        press(Qt::Key_S, Qt::ControlModifier); // return
        QVERIFY(!Form2.isLoaded());
        QVERIFY(QTest::qWaitForWindowActive(Form1.peek()));
        QCOMPARE(Form1->File1->ListIndex(), 1);
        QCOMPARE(Form1->Text1->Text(), m_small + QStringLiteral("/b.bmp"));
        QCOMPARE(boxes.count(), 0);
    }
};

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"

// The form runtime's small services: number formatting, the 16-bit
// conversions, event dispatch with its traps, and window load/unload.
#include "platform/controls/textbox.h"
#include "platform/form.h"
#include "platform/format.h"
#include "platform/numbers.h"
#include "platform/runtime.h"
#include "platform/runtimeerror.h"
#include "support/recorder.h"

#include <QAction>
#include <QApplication>
#include <QSignalSpy>
#include <QtTest>

namespace {
// A window that counts its procedures.
struct CountingForm : vm::Form {
    int loads = 0;
    int unloads = 0;
    bool cancel = false;
    void Form_Load() override { ++loads; }
    void Form_Unload(qint16 &Cancel) override
    {
        ++unloads;
        if (cancel)
            Cancel = 1;
    }
};

// A window whose event procedures the runtime binds by their names.
class BoundForm : public vm::Form {
    Q_OBJECT
public:
    BoundForm()
        : Text1(new vm::TextBox(this))
        , BackMenu(new QAction(this))
    {
        setCentralWidget(Text1);
        Text1->setObjectName("Text1");
        BackMenu->setObjectName("BackMenu");
    }
    vm::TextBox *Text1;
    QAction *BackMenu;
    QList<int> keys;
    int clicks = 0;

private Q_SLOTS:
    void Text1_KeyDown(qint16 &KeyCode, qint16 Shift)
    {
        keys << KeyCode;
        if (KeyCode == 13)
            KeyCode = 0;
    }
    void BackMenu_Click()
    {
        ++clicks;
        vm::raise(vm::Err::FileNotFound);
    }
};

// Procedures named like events that match none.
class MisspeltForm : public vm::Form {
    Q_OBJECT
public:
    MisspeltForm()
    {
        (new QAction(this))->setObjectName("File1");
        (new vm::TextBox(this))->setObjectName("Text1");
    }

private Q_SLOTS:
    void File1_Clik() { }
    void Nothing_Click() { }
    void File1_Click(int times) { }
    void Text1_KeyDown(int &KeyCode, int Shift) { }
public Q_SLOTS:
    // Run by the runtime itself, never bound: not reported even as slots.
    void Form_Load() override { }
    void Form_Unload(qint16 &Cancel) override { }
};
} // namespace

class TestRuntime : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan)); }

    void format_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("whole number shows one decimal") << 9.0 << "9.0";
        QTest::newRow("one decimal") << 12.7 << "12.7";
        QTest::newRow("two decimals") << 10.25 << "10.25";
        QTest::newRow("below half a hundredth") << 0.004 << "0.0";
        QTest::newRow("large, no grouping") << 123456.789 << "123456.79";
        QTest::newRow("rounds up into the units") << 9.996 << "10.0";
        QTest::newRow("half") << 0.5 << "0.5";
        QTest::newRow("zero") << 0.0 << "0.0";
    }
    void format()
    {
        QFETCH(double, value);
        QFETCH(QString, expected);
        QCOMPARE(vm::Format(value, QStringLiteral("0.0#")), expected);
    }

    void roundsToInt16_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("expected");
        QTest::addColumn<bool>("overflows");
        QTest::newRow("half to even, down") << 2.5 << 2 << false;
        QTest::newRow("half to even, up") << 3.5 << 4 << false;
        QTest::newRow("negative half") << -2.5 << -2 << false;
        QTest::newRow("largest") << 32767.0 << 32767 << false;
        QTest::newRow("rounds past largest") << 32767.5 << 0 << true;
        QTest::newRow("too large") << 40000.0 << 0 << true;
        QTest::newRow("too small") << -32769.0 << 0 << true;
        QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << 0 << true;
    }
    void roundsToInt16()
    {
        QFETCH(double, value);
        QFETCH(int, expected);
        QFETCH(bool, overflows);
        try {
            const int got = vm::roundToInt16(value);
            QVERIFY2(!overflows, "expected an overflow error");
            QCOMPARE(got, expected);
        } catch (const vm::RuntimeError &e) {
            QVERIFY2(overflows, "unexpected overflow");
            QCOMPARE(e.number(), vm::Err::Overflow);
            QVERIFY(!e.Description().isEmpty());
        }
    }

    void untrappedFailureShowsOneErrorBoxAndGoesOn()
    {
        vmtest::MsgBoxRecorder boxes;
        bool after = false;
        vm::runEvent([] { vm::raise(vm::Err::FileNotFound); });
        vm::runEvent([&] { after = true; });
        QCOMPARE(boxes.errorBoxes(), 1);
        QCOMPARE(boxes.calls().first().prompt, vm::describe(vm::Err::FileNotFound));
        QVERIFY(after);
    }

    void resumeNextSkipsTheFailingStepSilently()
    {
        vmtest::MsgBoxRecorder boxes;
        int steps = 0;
        vm::resumeNext([&] {
            ++steps;
            vm::raise(vm::Err::InvalidPicture);
            ++steps; // never reached: the failing step ends where it failed
        });
        ++steps;
        QCOMPARE(steps, 2);
        QCOMPARE(boxes.count(), 0);
    }

    void showLoadsOnEveryShowAfterUnload()
    {
        vm::FormRef<CountingForm> ref;
        QVERIFY(!ref.isLoaded());
        ref.Show();
        ref.Show(); // already loaded: no second Load
        QCOMPARE(ref->loads, 1);
        CountingForm *first = ref.peek();
        QPointer<CountingForm> firstGuard(first);
        ref.Unload();
        QCOMPARE(first->unloads, 1);
        QVERIFY(!ref.isLoaded());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(firstGuard.isNull()); // the window and its controls are gone
        ref.Show();
        QCOMPARE(ref->loads, 1); // a fresh window, loaded afresh
        QVERIFY(ref.peek() != first || firstGuard.isNull());
        ref.destroy();
    }

    void cancelledUnloadKeepsTheWindow()
    {
        vm::FormRef<CountingForm> ref;
        ref.Show();
        ref->cancel = true;
        ref.Unload();
        QVERIFY(ref.isLoaded());
        QCOMPARE(ref->unloads, 1);
        ref.destroy();
    }

    void closingTheFrameUnloads()
    {
        vm::FormRef<CountingForm> ref;
        ref.Show();
        CountingForm *w = ref.peek();
        w->close();
        QCOMPARE(w->unloads, 1);
        QVERIFY(!ref.isLoaded());
    }

    void endRunsNoUnloadProcedure()
    {
        vm::FormRef<CountingForm> ref;
        ref.Show();
        vm::End();
        QVERIFY(vm::hasEnded());
        QCOMPARE(ref->unloads, 0);
        QVERIFY(ref->isHidden());
        // Once ended, no further event procedure runs.
        bool ran = false;
        vm::runEvent([&] { ran = true; });
        QVERIFY(!ran);
        vm::resetEnded();
        ref.destroy();
    }

    void eventProceduresAreBoundByName()
    {
        vm::FormRef<BoundForm> ref;
        ref.Show();
        QVERIFY(ref->bindingErrors().isEmpty());
        // A procedure that sets KeyCode to 0 swallows the key; others reach the box.
        QSignalSpy returns(ref->Text1, &QLineEdit::returnPressed);
        QTest::keyClick(ref->Text1, Qt::Key_Return);
        QTest::keyClick(ref->Text1, Qt::Key_A);
        QCOMPARE(ref->keys, (QList<int> { 13, 65 }));
        QCOMPARE(returns.count(), 0);
        QCOMPARE(ref->Text1->Text(), QStringLiteral("a"));
        ref.destroy();
    }

    void failingProcedureShowsOneErrorBox()
    {
        vm::FormRef<BoundForm> ref;
        ref.Show();
        {
            vmtest::MsgBoxRecorder boxes;
            ref->BackMenu->trigger();
            QCOMPARE(ref->clicks, 1);
            QCOMPARE(boxes.errorBoxes(), 1);
            QCOMPARE(boxes.calls().first().prompt, vm::describe(vm::Err::FileNotFound));
        }
        // Tests may take the failures instead of the box, from the trap and
        // from the error box alike.
        vmtest::MsgBoxRecorder boxes;
        QList<vm::Err> reported;
        vm::setUserErrorReporter([&](const vm::RuntimeError &e) { reported << e.number(); });
        ref->BackMenu->trigger();
        vm::ErrorBox(vm::RuntimeError(vm::Err::InvalidPicture));
        vm::setUserErrorReporter({});
        QCOMPARE(reported, (QList<vm::Err> { vm::Err::FileNotFound, vm::Err::InvalidPicture }));
        QCOMPARE(boxes.count(), 0);
        ref.destroy();
    }

    void misspeltProceduresAreReported()
    {
        vm::FormRef<MisspeltForm> ref;
        ref.Load();
        const QStringList errors = ref->bindingErrors();
        QCOMPARE(errors.size(), 4);
        for (const char *name :
            { "File1_Clik()", "Nothing_Click()", "File1_Click(int)", "Text1_KeyDown(int&,int)" })
            QVERIFY2(errors.filter(QLatin1String(name)).size() == 1, name);
        ref.destroy();
    }

    void twipsFollowTheScreen()
    {
        QVERIFY(vm::twipsPerPixelX() > 0);
        const QRect g = QGuiApplication::primaryScreen()->geometry();
        QCOMPARE(vm::Screen::Width().value(), qRound(g.width() * vm::twipsPerPixelX()));
        QCOMPARE(vm::Screen::Height().value(), qRound(g.height() * vm::twipsPerPixelY()));
    }
};

QTEST_MAIN(TestRuntime)
#include "tst_runtime.moc"

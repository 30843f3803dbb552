// The viewer window: layout of fitting and panned pictures, the panned view's
// pixels, stepping, failures, and the way back to the browser.
#include "browser/form1.h"
#include "platform/controls/toolbar.h"
#include "platform/runtime.h"
#include "platform/runtimeerror.h"
#include "support/fixtures.h"
#include "support/recorder.h"
#include "support/windows.h"
#include "viewer/form2.h"

#include <QScreen>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <QtTest>

using namespace vmtest;

namespace {
struct Room {
    int W = 0, H = 0, T = 0, sh = 0, sv = 0;
};
} // namespace

class TestViewer : public QObject {
    Q_OBJECT

    QTemporaryDir m_tmp;
    Room m_room;

    QString folderFor(const QString &name) const { return m_tmp.path() + QLatin1Char('/') + name; }

    // Makes a folder holding the given pictures (w, h each), opens it in the
    // browser and opens the viewer on the first.
    void openViewerOn(const QString &caseName, const QList<QSize> &sizes)
    {
        const QString folder = folderFor(caseName);
        QDir().mkpath(folder);
        for (int i = 0; i < sizes.size(); ++i)
            writeMarkedBmp(folder + QStringLiteral("/p%1.bmp").arg(i), sizes[i].width(), sizes[i].height());
        openFolder(folder);
        clickFile(0);
        doubleClickFile(0);
        QVERIFY(Form2.isLoaded());
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_tmp.isValid());
        // Learn the room the viewer has on this screen from the window itself.
        startProgram();
        MsgBoxRecorder boxes;
        openViewerOn(QStringLiteral("probe"), { QSize(10, 10) });
        m_room.W = Form2->ScaleWidth().value();
        m_room.H = Form2->ScaleHeight().value();
        m_room.T = Form2->CoolBar1->Height().value();
        m_room.sh = Form2->HScroll1->Height().value();
        m_room.sv = Form2->VScroll1->Width().value();
        QCOMPARE(m_room.sh, 17);
        QCOMPARE(m_room.sv, 17);
        QVERIFY(m_room.W > 100 && m_room.H > 100);
        stopProgram();
    }

    void init() { startProgram(); }
    void cleanup() { stopProgram(); }

    void bothWindowsBindEveryEventProcedure()
    {
        MsgBoxRecorder boxes;
        openViewerOn(QStringLiteral("bound"), { QSize(10, 10) });
        QCOMPARE(Form1->bindingErrors(), QStringList());
        QCOMPARE(Form2->bindingErrors(), QStringList());
    }

    void opensScreenSizedAtTheTopLeft()
    {
        MsgBoxRecorder boxes;
        openViewerOn(QStringLiteral("placement"), { QSize(20, 10) });
        QCOMPARE(Form2->Left().value(), 0);
        QCOMPARE(Form2->Top().value(), 0);
        QCOMPARE(Form2->Width().value(), vm::Screen::Width().value());
        QCOMPARE(Form2->Height().value(), vm::Screen::Height().value());
        // On the primary screen, which need not be the desktop's top-left one
        // (CTest runs this again with a screen to the left of the primary).
        const QRect primary = QGuiApplication::primaryScreen()->geometry();
        if (QGuiApplication::screens().size() > 1)
            QVERIFY(primary.topLeft() != QPoint(0, 0));
        QCOMPARE(Form2->frameGeometry(), primary);
        QCOMPARE(Form2->Caption(), QStringLiteral("p0.bmp"));
        QVERIFY(Form1->isHidden());
    }

    void theCaptionIsTheFileNameExactly()
    {
        MsgBoxRecorder boxes;
        const QString folder = folderFor(QStringLiteral("caption"));
        QDir().mkpath(folder);
        writeMarkedBmp(folder + QStringLiteral("/draft[*] v2.bmp"), 20, 10);
        openFolder(folder);
        doubleClickFile(0);
        QCOMPARE(Form2->Caption(), QStringLiteral("draft[*] v2.bmp"));
        QVERIFY(Form2->windowHandle());
        QCOMPARE(Form2->windowHandle()->title(), QStringLiteral("draft[*] v2.bmp"));
        QCOMPARE(boxes.count(), 0);
    }

    void layout_data()
    {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<bool>("hBar");
        QTest::addColumn<bool>("vBar");
        const Room r = m_room;
        QTest::newRow("exact fit") << QSize(r.W, r.H - r.T) << false << false;
        QTest::newRow("one pixel wider") << QSize(r.W + 1, r.H - r.T - r.sh) << true << false;
        QTest::newRow("one pixel higher") << QSize(r.W - r.sv, r.H - r.T + 1) << false << true;
        QTest::newRow("wider, bar leaves too little height") << QSize(r.W + 5, r.H - r.T) << true << true;
        QTest::newRow("higher, bar leaves too little width") << QSize(r.W, r.H - r.T + 5) << true << true;
        QTest::newRow("larger both ways") << QSize(r.W + 300, r.H + 200) << true << true;
    }
    void layout()
    {
        QFETCH(QSize, picture);
        QFETCH(bool, hBar);
        QFETCH(bool, vBar);
        MsgBoxRecorder boxes;
        openViewerOn(QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('_')),
            { picture });
        QCOMPARE(boxes.count(), 0);
        const Room r = m_room;
        const int w = picture.width(), h = picture.height();
        QCOMPARE(Form2->HScroll1->Visible(), hBar);
        QCOMPARE(Form2->VScroll1->Visible(), vBar);
        if (!hBar && !vBar) {
            QVERIFY(Form2->Image1->Visible());
            QVERIFY(!Form2->Picture1->Visible());
            // Right under the cool bar, so a picture that fits exactly is on
            // screen to its last row and column.
            QCOMPARE(Form2->Image1->pos(), QPoint(0, r.T));
            QCOMPARE(Form2->Image1->size(), picture);
            const QImage screen
                = Form2->centralWidget()->grab().toImage().convertToFormat(QImage::Format_RGB32);
            QVERIFY(screen.height() >= r.T + h && screen.width() >= w);
            QCOMPARE(screen.pixel(3, r.T + h - 1), qRgb(0, 255, 0)); // the picture's last row
            QCOMPARE(screen.pixel(w - 1, r.T + 3), qRgb(0, 0, 255)); // its last column
            return;
        }
        QVERIFY(!Form2->Image1->Visible());
        QVERIFY(Form2->Picture1->Visible());
        QCOMPARE(Form2->Picture1->Top().value(), r.T);
        QCOMPARE(Form2->Picture1->Left().value(), 0);
        if (hBar && vBar) {
            QCOMPARE(Form2->Picture1->size(), QSize(r.W - r.sv, r.H - r.T - r.sh));
            QCOMPARE(Form2->HScroll1->geometry(), QRect(0, r.H - r.sh, r.W - r.sv, r.sh));
            QCOMPARE(Form2->VScroll1->geometry(), QRect(r.W - r.sv, r.T, r.sv, r.H - r.T - r.sh));
            QCOMPARE(int(Form2->HScroll1->Max()), w - (r.W - r.sv));
            QCOMPARE(int(Form2->VScroll1->Max()), h - (r.H - r.T - r.sh));
        } else if (hBar) {
            QCOMPARE(Form2->Picture1->size(), QSize(r.W, h));
            QCOMPARE(Form2->HScroll1->geometry(), QRect(0, r.T + h, r.W, r.sh)); // directly under the picture
            QCOMPARE(int(Form2->HScroll1->Max()), w - r.W);
            QCOMPARE(int(Form2->VScroll1->Max()), 0);
        } else {
            QCOMPARE(Form2->Picture1->size(), QSize(w, r.H - r.T));
            QCOMPARE(Form2->VScroll1->geometry(), QRect(w, r.T, r.sv, r.H - r.T));
            QCOMPARE(int(Form2->VScroll1->Max()), h - (r.H - r.T));
            QCOMPARE(int(Form2->HScroll1->Max()), 0);
        }
        QCOMPARE(int(Form2->HScroll1->Value()), 0);
        QCOMPARE(int(Form2->VScroll1->Value()), 0);
    }

    void scrollingToTheEndsShowsTheLastColumnAndRow()
    {
        MsgBoxRecorder boxes;
        const QSize picture(m_room.W + 300, m_room.H + 200);
        openViewerOn(QStringLiteral("ends"), { picture });
        const QImage &view = Form2->Picture1->surface();
        // Top-left block at positions 0, 0.
        const QImage source = QImage(folderFor(QStringLiteral("ends")) + QStringLiteral("/p0.bmp"))
                                  .convertToFormat(QImage::Format_RGB32);
        QCOMPARE(view.pixel(0, 0), source.pixel(0, 0));
        QCOMPARE(view.pixel(5, 7), source.pixel(5, 7));

        Form2->HScroll1->setValue(Form2->HScroll1->Max());
        Form2->VScroll1->setValue(Form2->VScroll1->Max());
        const int vw = Form2->Picture1->Width().value(), vh = Form2->Picture1->Height().value();
        QCOMPARE(view.pixel(vw - 1, 3), qRgb(0, 0, 255)); // the picture's last column
        QCOMPARE(view.pixel(3, vh - 1), qRgb(0, 255, 0)); // the picture's last row
        QCOMPARE(
            view.pixel(10, 10), source.pixel(Form2->HScroll1->Value() + 10, Form2->VScroll1->Value() + 10));

        // A repaint by the system shows the block at the current positions.
        const QImage shown = Form2->Picture1->grab().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(shown.pixel(vw - 1, 3), qRgb(0, 0, 255));
    }

    void draggingTheThumbPaintsWhileItMoves()
    {
        MsgBoxRecorder boxes;
        openViewerOn(QStringLiteral("drag"), { QSize(m_room.W + 400, 40) });
        const QImage source = QImage(folderFor(QStringLiteral("drag")) + QStringLiteral("/p0.bmp"))
                                  .convertToFormat(QImage::Format_RGB32);
        Form2->HScroll1->setSliderDown(true);
        QSignalSpy scroll(Form2->HScroll1, &vm::ScrollBarBase::Scroll);
        Form2->HScroll1->setSliderPosition(123);
        QCOMPARE(scroll.count(), 1);
        QCOMPARE(Form2->Picture1->surface().pixel(0, 0), source.pixel(123, 0));
        Form2->HScroll1->setSliderDown(false);
    }

    void steppingResetsThePositionsAndSwitchesLayouts()
    {
        MsgBoxRecorder boxes;
        const QSize big(m_room.W + 100, m_room.H + 100);
        openViewerOn(QStringLiteral("steps"), { big, QSize(big.width() + 50, big.height()), QSize(20, 20) });
        Form2->HScroll1->setValue(40);
        Form2->VScroll1->setValue(30);
        triggerMenu("Form2", "NextMenu"); // panned to panned
        QCOMPARE(int(Form2->HScroll1->Value()), 0);
        QCOMPARE(int(Form2->VScroll1->Value()), 0);
        QCOMPARE(Form2->Caption(), QStringLiteral("p1.bmp"));
        const QImage source = QImage(folderFor(QStringLiteral("steps")) + QStringLiteral("/p1.bmp"))
                                  .convertToFormat(QImage::Format_RGB32);
        QCOMPARE(Form2->Picture1->surface().pixel(3, 3), source.pixel(3, 3));
        QCOMPARE(int(Form2->HScroll1->Max()), big.width() + 50 - (m_room.W - m_room.sv));

        triggerMenu("Form2", "NextMenu"); // panned to fitting
        QVERIFY(Form2->Image1->Visible());
        QVERIFY(!Form2->Picture1->Visible());
        QVERIFY(!Form2->HScroll1->Visible());
        QVERIFY(!Form2->VScroll1->Visible());

        triggerMenu("Form2", "NextMenu"); // last entry: nothing, no wrap
        QCOMPARE(Form1->File1->ListIndex(), 2);
        triggerMenu("Form2", "BackMenu");
        triggerMenu("Form2", "BackMenu");
        triggerMenu("Form2", "BackMenu"); // first entry: nothing
        QCOMPARE(Form1->File1->ListIndex(), 0);
        QCOMPARE(boxes.count(), 0);
        QCOMPARE(Form1->Text1->Text(), folderFor(QStringLiteral("steps")) + QStringLiteral("/p0.bmp"));
    }

    void anUnloadableFileShowsOneBoxAndNoPicture()
    {
        MsgBoxRecorder boxes;
        const QString folder = folderFor(QStringLiteral("broken"));
        QDir().mkpath(folder);
        writeMarkedBmp(folder + QStringLiteral("/a.bmp"), m_room.W + 50, 30);
        writeBytes(folder + QStringLiteral("/b.gif"), "GIF89a but not really");
        openFolder(folder);
        clickFile(0);
        doubleClickFile(0);
        QVERIFY(Form2->Picture1->Visible());
        triggerMenu("Form2", "NextMenu");
        QCOMPARE(boxes.errorBoxes(), 1);
        QCOMPARE(Form2->Caption(), QStringLiteral("b.gif"));
        QCOMPARE(Form1->Text1->Text(), folder + QStringLiteral("/b.gif"));
        QCOMPARE(Form1->File1->ListIndex(), 1);
        QVERIFY(!Form2->Picture1->Visible());
        QVERIFY(!Form2->Image1->Visible());
        QVERIFY(!Form2->HScroll1->Visible());
        QVERIFY(!Form2->VScroll1->Visible());
        // Still usable: back to the good picture.
        triggerMenu("Form2", "BackMenu");
        QVERIFY(Form2->Picture1->Visible());
        QCOMPARE(boxes.errorBoxes(), 1);
    }

    void aPanoramaPansToItsFarEdge_data()
    {
        QTest::addColumn<int>("extra");
        QTest::newRow("33 000 px past the view") << 33000;
        QTest::newRow("70 000 px wide") << 70000 - m_room.W;
    }
    void aPanoramaPansToItsFarEdge()
    {
        QFETCH(int, extra);
        MsgBoxRecorder boxes;
        const QString name = QStringLiteral("panorama%1").arg(extra);
        openViewerOn(name, { QSize(m_room.W + extra, 8), QSize(20, 20) });
        QCOMPARE(boxes.count(), 0);
        QVERIFY(Form2->Picture1->Visible());
        QCOMPARE(Form2->HScroll1->Max(), extra);
        const QImage source
            = QImage(folderFor(name) + QStringLiteral("/p0.bmp")).convertToFormat(QImage::Format_RGB32);
        const QImage &view = Form2->Picture1->surface();
        const int vw = Form2->Picture1->Width().value();

        // Dragged to the end: the view's right edge is the picture's last column.
        Form2->HScroll1->setSliderDown(true);
        Form2->HScroll1->setSliderPosition(Form2->HScroll1->Max());
        Form2->HScroll1->setSliderDown(false);
        QCOMPARE(view.pixel(vw - 1, 3), qRgb(0, 0, 255));
        QCOMPARE(view.pixel(0, 3), source.pixel(extra, 3));
        // Arrow and page steps back from there move by the bar's own steps.
        Form2->HScroll1->triggerAction(QAbstractSlider::SliderSingleStepSub);
        QCOMPARE(Form2->HScroll1->Value(), extra - Form2->HScroll1->SmallChange());
        QCOMPARE(view.pixel(0, 3), source.pixel(Form2->HScroll1->Value(), 3));
        Form2->HScroll1->triggerAction(QAbstractSlider::SliderPageStepSub);
        QCOMPARE(view.pixel(5, 3), source.pixel(Form2->HScroll1->Value() + 5, 3));
        Form2->HScroll1->triggerAction(QAbstractSlider::SliderToMaximum);
        QCOMPARE(view.pixel(vw - 1, 3), qRgb(0, 0, 255));
        QCOMPARE(boxes.count(), 0);
    }

    void theWheelPansThroughTheBars()
    {
        MsgBoxRecorder boxes;
        openViewerOn(QStringLiteral("wheel"), { QSize(m_room.W + 500, m_room.H + 500) });
        const QImage source = QImage(folderFor(QStringLiteral("wheel")) + QStringLiteral("/p0.bmp"))
                                  .convertToFormat(QImage::Format_RGB32);
        const auto turn = [](QPoint angle, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
            QWidget *area = Form2->Picture1;
            const QPointF at(10, 10);
            QWheelEvent event(at, area->mapToGlobal(at), QPoint(), angle, Qt::NoButton, modifiers,
                Qt::NoScrollPhase, false);
            QApplication::sendEvent(area, &event);
        };
        const int lines = QApplication::wheelScrollLines();
        QSignalSpy vChange(Form2->VScroll1, &vm::ScrollBarBase::Change);
        turn(QPoint(0, -120)); // one notch towards the user: down
        QCOMPARE(Form2->VScroll1->Value(), lines * Form2->VScroll1->SmallChange());
        QCOMPARE(vChange.count(), 1);
        QCOMPARE(Form2->Picture1->surface().pixel(4, 4), source.pixel(4, Form2->VScroll1->Value() + 4));
        turn(QPoint(0, -60)); // half a notch waits for the other half
        QCOMPARE(Form2->VScroll1->Value(), lines * Form2->VScroll1->SmallChange());
        turn(QPoint(0, -60));
        QCOMPARE(Form2->VScroll1->Value(), 2 * lines * Form2->VScroll1->SmallChange());
        turn(QPoint(0, 480)); // far up stops at the top
        QCOMPARE(Form2->VScroll1->Value(), 0);

        turn(QPoint(0, -120), Qt::ShiftModifier); // Shift: sideways
        QCOMPARE(Form2->HScroll1->Value(), lines * Form2->HScroll1->SmallChange());
        QCOMPARE(Form2->VScroll1->Value(), 0);
        turn(QPoint(120, 0)); // a horizontal wheel
        QCOMPARE(Form2->HScroll1->Value(), 0);
        QCOMPARE(Form2->Picture1->surface().pixel(4, 4), source.pixel(4, 4));

        // Where a bar is hidden, nothing moves that way.
        triggerMenu("Form2", "ChanceViewMenu");
        openViewerOn(QStringLiteral("wheel-wide"), { QSize(m_room.W + 500, 20) });
        QVERIFY(!Form2->VScroll1->Visible());
        turn(QPoint(0, -120));
        QCOMPARE(Form2->VScroll1->Value(), 0);
        QCOMPARE(Form2->HScroll1->Value(), 0);
        QCOMPARE(boxes.count(), 0);
    }

    void returningRepreviewsInTheBrowser_data()
    {
        QTest::addColumn<bool>("closeBox");
        QTest::newRow("view switch") << false;
        QTest::newRow("close box") << true;
    }
    void returningRepreviewsInTheBrowser()
    {
        QFETCH(bool, closeBox);
        MsgBoxRecorder boxes;
        openViewerOn(QStringLiteral("return%1").arg(closeBox), { QSize(30, 20), QSize(378, 189) });
        triggerMenu("Form2", "NextMenu");
        if (closeBox)
            Form2.peek()->close();
        else
            triggerMenu("Form2", "ChanceViewMenu");
        QVERIFY(!Form2.isLoaded());
        QVERIFY(Form1->isVisible());
        QCOMPARE(boxes.count(), 0);
        QCOMPARE(Form1->Text1->Text(),
            folderFor(QStringLiteral("return%1").arg(closeBox)) + QStringLiteral("/p1.bmp"));
        QCOMPARE(Form1->StatusBar1->SimpleText(), QStringLiteral("画像サイズ  幅=10.0cm, 高さ=5.0cm"));
        QCOMPARE(Form1->Image1->Picture().pixelSize(), QSize(378, 189));

        // Opening again loads the window afresh on the current file.
        doubleClickFile(1);
        QVERIFY(Form2.isLoaded());
        QCOMPARE(Form2->Caption(), QStringLiteral("p1.bmp"));
    }

    void toolbarDispatchesByExactKey()
    {
        MsgBoxRecorder boxes;
        openViewerOn(QStringLiteral("toolbar"), { QSize(30, 20) });
        const QList<QAction *> buttons = Form2->Toolbar1->buttons();
        QCOMPARE(buttons.size(), 5);
        QCOMPARE(buttons[0]->property("Key").toString(), QStringLiteral("ｺﾏﾝﾄﾞ ﾎﾞﾀﾝ"));
        QCOMPARE(buttons[0]->toolTip(), QStringLiteral("表示切替"));
        QVERIFY(buttons[3]->isSeparator());

        Q_EMIT Form2->Toolbar1->ButtonClick(
            vm::Button { QStringLiteral("表示切替"), 1 }); // the browser's key
        QVERIFY(Form2.isLoaded());
        Form2->Toolbar1->click(5);
        QCOMPARE(boxes.count(), 1);
        QCOMPARE(boxes.calls().first().title, QStringLiteral("Velmora"));
        const QStringList lines = boxes.calls().first().prompt.split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines[1].startsWith(QStringLiteral("Programed by")));
        Form2->Toolbar1->click(1);
        QVERIFY(!Form2.isLoaded());
        QVERIFY(Form1->isVisible());
    }

    void shortcutSwitchesBack()
    {
        MsgBoxRecorder boxes;
        openViewerOn(QStringLiteral("shortcut"), { QSize(30, 20) });
        auto *action = Form2->findChild<QAction *>(QStringLiteral("ChanceViewMenu"));
        QVERIFY(action);
        QCOMPARE(action->shortcut(), QKeySequence(QStringLiteral("Ctrl+S")));
        QVERIFY(QTest::qWaitForWindowActive(Form2.peek()));
        QTest::keySequence(Form2.peek(), QKeySequence(QStringLiteral("Ctrl+S")));
        QVERIFY(!Form2.isLoaded());
    }
};

QTEST_MAIN(TestViewer)
#include "tst_viewer.moc"

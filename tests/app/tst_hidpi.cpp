// The windows at a scale factor of 2: the viewer's pixels are screen pixels,
// so a picture shows one picture pixel per screen pixel and the layout
// decides in screen pixels; the tool bar images and the preview are drawn at
// the screen's resolution. Runs with QT_SCALE_FACTOR=2 set before the
// application starts (see main below).
#include "app/windowset.h"
#include "browser/form1.h"
#include "platform/controls/imagelist.h"
#include "platform/controls/picturebox.h"
#include "platform/controls/scrollbar.h"
#include "platform/controls/toolbar.h"
#include "support/recorder.h"
#include "support/windows.h"
#include "viewer/form2.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

using namespace vmtest;

namespace {

// Neighbouring pixels all differ, so any scaling or shift shows.
QImage pattern(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, qRgb((x * 37 + y * 11) & 0xFF, ((x ^ y) & 1) ? 0xF0 : 0x10, (y * 13 + x) & 0xFF));
    img.setDotsPerMeterX(3780);
    img.setDotsPerMeterY(3780);
    return img;
}

QImage rgb(const QImage &img) { return img.convertToFormat(QImage::Format_RGB32); }

// What the widget shows on screen, in screen pixels.
QImage shown(QWidget *w)
{
    QImage img = rgb(w->grab().toImage());
    img.setDevicePixelRatio(1.0);
    return img;
}

QImage keyedOut(QImage img, QRgb mask)
{
    img = img.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if ((img.pixel(x, y) & 0xFFFFFF) == (mask & 0xFFFFFF) && qAlpha(img.pixel(x, y)) == 255)
                img.setPixel(x, y, 0);
    return img.convertToFormat(QImage::Format_ARGB32_Premultiplied); // all clear pixels alike
}

} // namespace

class TestHiDpi : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_files = 0;
    // The viewer's interior in screen pixels: width, height, cool bar height,
    // scroll bar thickness.
    int W = 0, H = 0, T = 0, sh = 0, sv = 0;

    QImage openViewerOn(int w, int h)
    {
        const QString folder = m_dir.filePath(QString::number(++m_files));
        QDir().mkpath(folder);
        const QImage img = pattern(w, h);
        if (!img.save(folder + QStringLiteral("/picture.bmp"), "BMP"))
            return QImage();
        openFolder(folder);
        clickFile(0);
        triggerMenu("Form1", "ChangeViewMenu");
        if (!Form2.isLoaded() || !QTest::qWaitForWindowExposed(Form2.peek()))
            return QImage();
        return img;
    }

    static void saveScreenshot(QWidget *w, const QString &name)
    {
        const QByteArray dir = qgetenv("VELMORA_SCREENSHOT_DIR");
        if (!dir.isEmpty())
            w->grab().save(QString::fromLocal8Bit(dir) + QLatin1Char('/') + name);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QCOMPARE(qApp->devicePixelRatio(), 2.0);
        QVERIFY(m_dir.isValid());
        startProgram();
        QVERIFY(!openViewerOn(8, 8).isNull());
        // Measured from Qt's own logical sizes, not from the properties under test.
        W = 2 * Form2->centralWidget()->width();
        H = 2 * Form2->centralWidget()->height();
        T = 2 * Form2->CoolBar1->height();
        sh = 2 * Form2->HScroll1->height();
        sv = 2 * Form2->VScroll1->width();
        stopProgram();
    }

    void init() { startProgram(); }
    void cleanup() { stopProgram(); }

    void interiorScaleCountsScreenPixels()
    {
        MsgBoxRecorder boxes;
        QVERIFY(!openViewerOn(8, 8).isNull());
        QCOMPARE(Form2->ScaleWidth(), 2 * Form2->centralWidget()->width());
        QCOMPARE(Form2->ScaleHeight(), 2 * Form2->centralWidget()->height());
        QCOMPARE(Form2->CoolBar1->Height(), 2 * Form2->CoolBar1->height());
        QCOMPARE(Form2->HScroll1->Height(), 2 * Form2->HScroll1->height());
        QCOMPARE(boxes.count(), 0);
    }

    void layoutDecidesInScreenPixels_data()
    {
        QTest::addColumn<int>("w");
        QTest::addColumn<int>("h");
        QTest::addColumn<bool>("needH");
        QTest::addColumn<bool>("needV");
        const int room = H - T;
        QTest::newRow("wider than the window's logical width, fits") << (W * 3 / 4 | 1) << 41 << false << false;
        QTest::newRow("taller than the logical height, fits") << 41 << (room * 3 / 4 | 1) << false << false;
        QTest::newRow("exactly the screen width fits") << W << 40 << false << false;
        QTest::newRow("one pixel too wide") << W + 1 << 41 << true << false;
        QTest::newRow("one pixel too tall") << 41 << room + 1 << false << true;
        QTest::newRow("too wide and too tall") << W + 31 << H + 17 << true << true;
        QTest::newRow("too wide, and the bar leaves no room") << W + 5 << room - sh + 1 << true << true;
    }
    void layoutDecidesInScreenPixels()
    {
        QFETCH(int, w);
        QFETCH(int, h);
        QFETCH(bool, needH);
        QFETCH(bool, needV);
        MsgBoxRecorder boxes;
        QVERIFY(!openViewerOn(w, h).isNull());
        QCOMPARE(boxes.count(), 0);
        QCOMPARE(Form2->Image1->Width(), w);
        QCOMPARE(Form2->Image1->Height(), h);
        QCOMPARE(Form2->HScroll1->isVisible(), needH);
        QCOMPARE(Form2->VScroll1->isVisible(), needV);
        QCOMPARE(Form2->Image1->isVisible(), !needH && !needV);
        QCOMPARE(Form2->Picture1->isVisible(), needH || needV);
        if (!needH && !needV)
            return;
        const QRect view = Form2->Picture1->deviceGeometry();
        const QRect expected = needH && needV ? QRect(0, T, W - sv, H - T - sh)
                               : needH        ? QRect(0, T, W, h)
                                              : QRect(0, T, w, H - T);
        QCOMPARE(view, expected);
        QCOMPARE(Form2->Picture1->surface().size(), view.size());
        if (needH) {
            QCOMPARE(int(Form2->HScroll1->Max()), w - view.width());
            QCOMPARE(Form2->HScroll1->Top(), needV ? H - sh : T + h);
        }
        if (needV) {
            QCOMPARE(int(Form2->VScroll1->Max()), h - view.height());
            QCOMPARE(Form2->VScroll1->Left(), needH ? W - sv : w);
        }
    }

    void aFittingPictureShowsOnePicturePixelPerScreenPixel_data()
    {
        QTest::addColumn<int>("w");
        QTest::addColumn<int>("h");
        QTest::newRow("even") << 64 << 48;
        QTest::newRow("odd") << 101 << 37;
        QTest::newRow("one pixel") << 1 << 1;
    }
    void aFittingPictureShowsOnePicturePixelPerScreenPixel()
    {
        QFETCH(int, w);
        QFETCH(int, h);
        MsgBoxRecorder boxes;
        const QImage picture = openViewerOn(w, h);
        QVERIFY(!picture.isNull());
        QVERIFY(Form2->Image1->isVisible());
        QCOMPARE(rgb(Form2->Image1->surface()), picture);
        const QImage screen = shown(Form2->Image1);
        QVERIFY(screen.width() >= w && screen.height() >= h);
        QCOMPARE(screen.copy(0, 0, w, h), picture);
        // Right under the cool bar.
        QCOMPARE(Form2->Image1->Top(), T);
    }

    void pannedViewCopiesScreenPixelsOneToOne_data()
    {
        QTest::addColumn<int>("w");
        QTest::addColumn<int>("h");
        QTest::newRow("both bars") << W + 31 << H + 17;
        QTest::newRow("odd width, horizontal bar") << W + 41 << 101;
    }
    void pannedViewCopiesScreenPixelsOneToOne()
    {
        QFETCH(int, w);
        QFETCH(int, h);
        MsgBoxRecorder boxes;
        const QImage picture = openViewerOn(w, h);
        QVERIFY(!picture.isNull());
        QVERIFY(Form2->Picture1->isVisible());
        const QRect view = Form2->Picture1->deviceGeometry();
        QCOMPARE(rgb(Form2->Picture1->surface()), picture.copy(0, 0, view.width(), view.height()));

        // Pan to the far corner: the copy is the picture's block there, pixel for pixel.
        const int x = Form2->HScroll1->isVisible() ? Form2->HScroll1->Max() : 0;
        const int y = Form2->VScroll1->isVisible() ? Form2->VScroll1->Max() : 0;
        Form2->HScroll1->setValue(qint16(x));
        Form2->VScroll1->setValue(qint16(y));
        const QImage block = picture.copy(x, y, view.width(), view.height());
        QCOMPARE(rgb(Form2->Picture1->surface()), block);
        QCOMPARE(shown(Form2->Picture1).copy(0, 0, view.width(), view.height()), block);
        // Moving the box by an odd number of pixels keeps what was copied there.
        Form2->Picture1->setTop(Form2->Picture1->Top() + 1);
        QCOMPARE(Form2->Picture1->Top(), view.top() + 1);
        QCOMPARE(rgb(Form2->Picture1->surface()), block);
        QCOMPARE(boxes.count(), 0);
        saveScreenshot(Form2.peek(), QStringLiteral("viewer-scale2-%1.png").arg(QTest::currentDataTag()).replace(
                                         QLatin1Char(' '), QLatin1Char('-')));
    }

    void controlsKeepTheScreenPixelsTheyAreGiven_data()
    {
        QTest::addColumn<QRect>("device");
        QTest::newRow("even") << QRect(4, 60, 100, 40);
        QTest::newRow("odd") << QRect(3, 61, 101, 33);
        QTest::newRow("empty") << QRect(7, 9, 0, 0);
    }
    void controlsKeepTheScreenPixelsTheyAreGiven()
    {
        QFETCH(QRect, device);
        QWidget host;
        host.resize(300, 200);
        vm::PictureBox box(&host);
        vm::HScrollBar bar(&host);
        box.Move(device.x(), device.y(), device.width(), device.height());
        bar.Move(device.x(), device.y(), device.width(), device.height());
        for (const QRect &got : {box.deviceGeometry(),
                                 QRect(bar.Left(), bar.Top(), bar.Width(), bar.Height())})
            QCOMPARE(got, device);
        QCOMPARE(box.surface().size(), device.size());
        // The widget covers the area it was given.
        const QRect covered(box.geometry().topLeft() * 2, box.geometry().size() * 2);
        QVERIFY(covered.contains(device) || device.isEmpty());
        QVERIFY(covered.width() - device.width() <= 2 && covered.height() - device.height() <= 2);

        // One property at a time, and a move by Qt's own logical geometry.
        box.setWidth(device.width() + 5);
        QCOMPARE(box.Width(), device.width() + 5);
        QCOMPARE(box.Left(), device.x());
        box.QWidget::setGeometry(QRect(10, 11, 20, 21));
        QCOMPARE(box.deviceGeometry(), QRect(20, 22, 40, 42));
        box.hDC(); // a copy into the box finds a surface of its size
        QCOMPARE(box.surface().size(), QSize(40, 42));
    }

    void toolbarImagesAreDrawnAtDoubleSize_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("source");
        QTest::newRow("browser view switch") << "Form1" << 1 << ":/tb_changeview@2x.png";
        QTest::newRow("browser back") << "Form1" << 2 << ":/tb_back@2x.png";
        QTest::newRow("browser help by key") << "Form1" << 5 << ":/tb_help@2x.png";
        QTest::newRow("viewer view switch") << "Form2" << 1 << ":/tb_changeview@2x.png";
        QTest::newRow("viewer forward bitmap") << "Form2" << 3 << ":/vw_forward@2x.png";
        QTest::newRow("viewer help bitmap") << "Form2" << 5 << ":/vw_help@2x.png";
    }
    void toolbarImagesAreDrawnAtDoubleSize()
    {
        QFETCH(QString, window);
        QFETCH(int, button);
        QFETCH(QString, source);
        MsgBoxRecorder boxes;
        QWidget *form = Form1.peek();
        if (window == QLatin1String("Form2")) {
            QVERIFY(!openViewerOn(8, 8).isNull());
            form = Form2.peek();
        }
        auto *bar = form->findChild<vm::Toolbar *>(QStringLiteral("Toolbar1"));
        QVERIFY(bar);
        auto *b = qobject_cast<QToolButton *>(bar->widgetForAction(bar->buttons().at(button - 1)));
        QVERIFY(b);
        const QPixmap pm = b->icon().pixmap(b->iconSize(), b->devicePixelRatio());
        QCOMPARE(b->iconSize(), QSize(16, 16));
        QCOMPARE(pm.size(), QSize(32, 32));
        QImage expected = keyedOut(QImage(source), qRgb(0xC0, 0xC0, 0xC0));
        expected.setDevicePixelRatio(1.0); // Qt reads "@2x" in the name as a ratio
        QVERIFY2(!expected.isNull(), qPrintable(source));
        QImage got = pm.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
        got.setDevicePixelRatio(1.0);
        QCOMPARE(got, expected);
    }

    void previewIsRenderedAtScreenResolution()
    {
        MsgBoxRecorder boxes;
        QVERIFY(!openViewerOn(50, 30).isNull());
        triggerMenu("Form2", "ChanceViewMenu");
        const QImage preview = Form1->Image1->shownImage();
        QCOMPARE(preview.size(), Form1->Image1->pictureArea().size() * 2);
        QCOMPARE(preview.devicePixelRatio(), 2.0);
        saveScreenshot(Form1.peek(), QStringLiteral("browser-scale2.png"));
    }
};

int main(int argc, char **argv)
{
    // The scale must be known before the application object exists.
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    TestHiDpi test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_hidpi.moc"

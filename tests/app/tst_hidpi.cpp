// The windows on a high-density screen: the viewer's pixels are screen
// pixels, so a picture shows one picture pixel per screen pixel and the
// layout decides in screen pixels; the tool bar images and the preview are
// drawn at the screen's resolution. Runs at the scale factor given by
// VELMORA_TEST_SCALE (2 unless set; CTest runs it at 2, 1.25 and 1.5), set
// before the application starts (see main below).
#include "browser/form1.h"
#include "platform/controls/imagelist.h"
#include "platform/controls/picturebox.h"
#include "platform/controls/scrollbar.h"
#include "platform/controls/toolbar.h"
#include "support/emfbuilder.h"
#include "support/fixtures.h"
#include "support/loaderfixtures.h"
#include "platform/picture.h"
#include "support/recorder.h"
#include "support/windows.h"
#include "viewer/form2.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QToolButton>

#include <cmath>
#include <QtTest>

using namespace vmtest;

namespace {

// Neighbouring pixels all differ, so any scaling or shift shows.
QImage pattern(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(
                x, y, qRgb((x * 37 + y * 11) & 0xFF, ((x ^ y) & 1) ? 0xF0 : 0x10, (y * 13 + x) & 0xFF));
    img.setDotsPerMeterX(3780);
    img.setDotsPerMeterY(3780);
    return img;
}

QImage rgb(const QImage &img)
{
    return img.convertToFormat(QImage::Format_RGB32);
}

// A window's size is taken in twips and a control's in device pixels; the one
// unit, or a bare number, is refused where the other is meant.
template <typename Length>
concept FormWidthFrom = requires(vm::Form &form, Length v)
{
    form.setWidth(v);
};
template <typename Length>
concept BoxWidthFrom = requires(vm::PictureBox &box, Length v)
{
    box.setWidth(v);
};
static_assert(FormWidthFrom<vm::Twips> && !FormWidthFrom<vm::DevicePixels> && !FormWidthFrom<int>);
static_assert(BoxWidthFrom<vm::DevicePixels> && !BoxWidthFrom<vm::Twips> && !BoxWidthFrom<int>);

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

    ScratchFolder m_dir;
    qreal m_scale = 2;
    // Qt's logical pixels in screen pixels.
    int dev(int logical) const { return int(std::lround(logical * m_scale)); }
    // The viewer's interior in screen pixels: width, height, cool bar height,
    // scroll bar thickness.
    int W = 0, H = 0, T = 0, sh = 0, sv = 0;

    QImage openViewerOn(int w, int h)
    {
        const QString folder = m_dir.newFolder();
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
        m_scale = qEnvironmentVariable("VELMORA_TEST_SCALE", QStringLiteral("2")).toDouble();
        QCOMPARE(qApp->devicePixelRatio(), m_scale);
        QVERIFY(m_dir.isValid());
        startProgram();
        QVERIFY(!openViewerOn(8, 8).isNull());
        // Measured from Qt's own logical sizes, not from the properties under test.
        W = dev(Form2->centralWidget()->width());
        H = dev(Form2->centralWidget()->height());
        T = dev(Form2->CoolBar1->height());
        sh = dev(Form2->HScroll1->height());
        sv = dev(Form2->VScroll1->width());
        stopProgram();
    }

    void init() { startProgram(); }
    void cleanup() { stopProgram(); }

    void interiorScaleCountsScreenPixels()
    {
        MsgBoxRecorder boxes;
        QVERIFY(!openViewerOn(8, 8).isNull());
        QCOMPARE(Form2->ScaleWidth().value(), dev(Form2->centralWidget()->width()));
        QCOMPARE(Form2->ScaleHeight().value(), dev(Form2->centralWidget()->height()));
        QCOMPARE(Form2->CoolBar1->Height().value(), dev(Form2->CoolBar1->height()));
        QCOMPARE(Form2->HScroll1->Height().value(), dev(Form2->HScroll1->height()));
        QCOMPARE(boxes.count(), 0);
    }

    void layoutDecidesInScreenPixels_data()
    {
        QTest::addColumn<int>("w");
        QTest::addColumn<int>("h");
        QTest::addColumn<bool>("needH");
        QTest::addColumn<bool>("needV");
        const int room = H - T;
        QTest::newRow("wider than the window's logical width, fits")
            << (W * 3 / 4 | 1) << 41 << false << false;
        QTest::newRow("taller than the logical height, fits") << 41 << (room * 3 / 4 | 1) << false << false;
        QTest::newRow("exactly the screen width fits") << W << 40 << false << false;
        QTest::newRow("one pixel too wide") << W + 1 << 41 << true << false;
        QTest::newRow("one pixel too tall") << 41 << room + 1 << false << true;
        QTest::newRow("too wide and too tall") << W + 31 << H + 17 << true << true;
        QTest::newRow("400 wide, exactly the room high") << 400 << room << false << false;
        QTest::newRow("400 wide, one pixel too tall") << 400 << room + 1 << false << true;
        QTest::newRow("401 wide, too tall") << 401 << room + 33 << false << true;
        QTest::newRow("exactly the room, one pixel more each way") << W + 1 << room + 1 << true << true;
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
        QCOMPARE(Form2->Image1->Width().value(), w);
        QCOMPARE(Form2->Image1->Height().value(), h);
        QCOMPARE(Form2->HScroll1->isVisible(), needH);
        QCOMPARE(Form2->VScroll1->isVisible(), needV);
        QCOMPARE(Form2->Image1->isVisible(), !needH && !needV);
        QCOMPARE(Form2->Picture1->isVisible(), needH || needV);
        if (!needH && !needV)
            return;
        const QRect view = Form2->Picture1->deviceGeometry();
        const QRect expected = needH && needV ? QRect(0, T, W - sv, H - T - sh)
            : needH                           ? QRect(0, T, W, h)
                                              : QRect(0, T, w, H - T);
        QCOMPARE(view, expected);
        QCOMPARE(Form2->Picture1->surface().size(), view.size());
        if (needH) {
            QCOMPARE(int(Form2->HScroll1->Max()), w - view.width());
            QCOMPARE(Form2->HScroll1->Top().value(), needV ? H - sh : T + h);
        }
        if (needV) {
            QCOMPARE(int(Form2->VScroll1->Max()), h - view.height());
            QCOMPARE(Form2->VScroll1->Left().value(), needH ? W - sv : w);
        }
    }

    void aFittingPictureShowsOnePicturePixelPerScreenPixel_data()
    {
        QTest::addColumn<int>("w");
        QTest::addColumn<int>("h");
        QTest::newRow("even") << 64 << 48;
        QTest::newRow("odd") << 101 << 37;
        QTest::newRow("one pixel") << 1 << 1;
        QTest::newRow("400 x 300") << 400 << 300;
        QTest::newRow("401 x 301") << 401 << 301;
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
        QCOMPARE(Form2->Image1->Top().value(), T);
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
        Form2->Picture1->setTop(Form2->Picture1->Top() + vm::DevicePixels(1));
        QCOMPARE(Form2->Picture1->Top().value(), view.top() + 1);
        QCOMPARE(rgb(Form2->Picture1->surface()), block);
        QCOMPARE(boxes.count(), 0);
        saveScreenshot(Form2.peek(),
            QStringLiteral("viewer-scale2-%1.png")
                .arg(QTest::currentDataTag())
                .replace(QLatin1Char(' '), QLatin1Char('-')));
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
        using vm::DevicePixels;
        box.Move(DevicePixels(device.x()), DevicePixels(device.y()), DevicePixels(device.width()),
            DevicePixels(device.height()));
        bar.Move(DevicePixels(device.x()), DevicePixels(device.y()), DevicePixels(device.width()),
            DevicePixels(device.height()));
        // Read as tools read them: by property name.
        const auto byName = [](const QObject &o) {
            return QRect(o.property("Left").toInt(), o.property("Top").toInt(), o.property("Width").toInt(),
                o.property("Height").toInt());
        };
        for (const QRect &got : { box.deviceGeometry(), byName(box),
                 QRect(bar.Left().value(), bar.Top().value(), bar.Width().value(), bar.Height().value()),
                 byName(bar) })
            QCOMPARE(got, device);
        QCOMPARE(box.surface().size(), device.size());
        // The widget covers the area it was given.
        const QRect covered
            = QRectF(QPointF(box.geometry().topLeft()) * m_scale, QSizeF(box.geometry().size()) * m_scale)
                  .toAlignedRect();
        QVERIFY(covered.contains(device) || device.isEmpty());
        QVERIFY(covered.width() - device.width() <= 2 && covered.height() - device.height() <= 2);

        // One property at a time, and a move by Qt's own logical geometry.
        box.setWidth(DevicePixels(device.width() + 5));
        QCOMPARE(box.Width().value(), device.width() + 5);
        QCOMPARE(box.Left().value(), device.x());
        box.QWidget::setGeometry(QRect(10, 11, 20, 21));
        const QRect moved(dev(10), dev(11), dev(20), dev(21));
        QCOMPARE(box.deviceGeometry(), moved);
        box.hDC(); // a copy into the box finds a surface of its size
        QCOMPARE(box.surface().size(), moved.size());
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
        if (m_scale != 2)
            QSKIP("The tool bar images come at single and double size only");
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

    static QSize contentsOf(const QWidget *w) { return w->contentsRect().size(); }

    // Mean difference of the grey levels of two images of one size.
    static double meanDifference(const QImage &a, const QImage &b)
    {
        const QImage x = a.convertToFormat(QImage::Format_Grayscale8);
        const QImage y = b.convertToFormat(QImage::Format_Grayscale8);
        double sum = 0;
        for (int row = 0; row < x.height(); ++row)
            for (int col = 0; col < x.width(); ++col)
                sum += std::abs(int(x.constScanLine(row)[col]) - int(y.constScanLine(row)[col]));
        return sum / (double(x.width()) * x.height());
    }

    void previewIsDecodedAndPlayedForTheScreensPixels()
    {
        MsgBoxRecorder boxes;
        const QString folder = m_dir.newFolder(QStringLiteral("fine"));
        const QSize area = Form1->Image1->devicePictureArea().size();
        QCOMPARE(area,
            QSize(dev(Form1->Image1->contentsRect().width()), dev(Form1->Image1->contentsRect().height())));

        // A photo with detail finer than a logical pixel of the preview.
        QImage photo(area * 2, QImage::Format_RGB32);
        for (int y = 0; y < photo.height(); ++y)
            for (int x = 0; x < photo.width(); ++x)
                photo.setPixel(x, y, ((x + y) / 3) % 2 ? qRgb(240, 240, 240) : qRgb(20, 20, 20));
        QFile jpeg(folder + QStringLiteral("/a.jpg"));
        QVERIFY(jpeg.open(QIODevice::WriteOnly));
        jpeg.write(vmtest::Jpeg().encode(photo));
        jpeg.close();

        // A drawing of hairlines one millimetre apart.
        vmtest::EmfBuilder emf;
        for (int x = 10; x < 1000; x += 10)
            emf.rec(27, { x, 0 }).rec(54, { x, 1000 });
        QFile drawing(folder + QStringLiteral("/b.emf"));
        QVERIFY(drawing.open(QIODevice::WriteOnly));
        drawing.write(emf.finish());
        drawing.close();

        openFolder(folder);
        clickFile(0);
        QVERIFY(Form1->Image1->Picture().pixelSize().width() >= area.width());
        QVERIFY(Form1->Image1->Picture().pixelSize().height() >= area.height());
        const QImage reference = vm::LoadPicture(folder + QStringLiteral("/a.jpg"))
                                     .image()
                                     .scaled(area, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const double photoDifference = meanDifference(Form1->Image1->shownImage(), reference);
        QVERIFY2(photoDifference < 12, qPrintable(QString::number(photoDifference)));

        const quint64 playsBefore = vm::metafilePlayCount();
        clickFile(1);
        const QImage shownDrawing = Form1->Image1->shownImage();
        QCOMPARE(vm::metafilePlayCount() - playsBefore, quint64(1));
        QCOMPARE(shownDrawing.size(), area);
        // Closer to the full-size drawing scaled down than a drawing at the
        // logical size, enlarged, would be (line weights differ either way).
        const vm::Picture whole = vm::LoadPicture(folder + QStringLiteral("/b.emf"));
        const QImage reference2 = whole.image().scaled(area, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const QImage enlarged = whole.render(QSize(contentsOf(Form1->Image1)))
                                    .scaled(area, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const double drawingDifference = meanDifference(shownDrawing, reference2);
        const double enlargedDifference = meanDifference(enlarged, reference2);
        QVERIFY2(drawingDifference < enlargedDifference * 0.8,
            qPrintable(QStringLiteral("%1 vs %2").arg(drawingDifference).arg(enlargedDifference)));
        QCOMPARE(boxes.count(), 0);
    }

    void previewIsRenderedAtScreenResolution()
    {
        MsgBoxRecorder boxes;
        QVERIFY(!openViewerOn(50, 30).isNull());
        triggerMenu("Form2", "ChanceViewMenu");
        const QImage preview = Form1->Image1->shownImage();
        QCOMPARE(preview.size(),
            QSize(dev(Form1->Image1->contentsRect().width()), dev(Form1->Image1->contentsRect().height())));
        QCOMPARE(Form1->Image1->devicePictureArea().size(), preview.size());
        QCOMPARE(preview.devicePixelRatio(), m_scale);
        saveScreenshot(Form1.peek(), QStringLiteral("browser-scale2.png"));
    }
};

int main(int argc, char **argv)
{
    // The scale must be known before the application object exists.
    qputenv("QT_SCALE_FACTOR",
        qgetenv("VELMORA_TEST_SCALE").isEmpty() ? QByteArray("2") : qgetenv("VELMORA_TEST_SCALE"));
    QApplication app(argc, argv);
    TestHiDpi test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_hidpi.moc"

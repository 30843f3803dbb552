// The display's own profile: when the desktop publishes one on the X11 root
// window (_ICC_PROFILE, as colord does), a tagged picture is converted to it
// instead of sRGB; an unusable one is as good as none. Runs on a private X
// server (tools/with-window-manager.sh); elsewhere it skips.
#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>
#include <QtTest>

#include <cstdlib>

#include <xcb/xcb.h>

#include "support/colourfixtures.h"

using namespace vmtest;

namespace {

// Publishes `profile` on the root window as the desktop would; an empty one
// takes the property away.
void publish(const QByteArray &profile)
{
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t *c = x11->connection();
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    static constexpr char kName[] = "_ICC_PROFILE";
    xcb_intern_atom_reply_t *atom
        = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof kName - 1, kName), nullptr);
    QVERIFY(atom);
    if (profile.isEmpty())
        xcb_delete_property(c, root, atom->atom);
    else
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, root, atom->atom, XCB_ATOM_CARDINAL, 8,
            uint32_t(profile.size()), profile.constData());
    std::free(atom);
    // A round trip, so the server has the change before the loader asks.
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

} // namespace

class TestDisplayProfile : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs an X server: run through tools/with-window-manager.sh");
        QVERIFY2(!colordProfile("SwappedRedAndGreen.icc").isEmpty(), "colord-data is missing");
    }
    void cleanup() { publish({}); }

    void pictureGoesToThePublishedProfile_data()
    {
        QTest::addColumn<QByteArray>("display");
        QTest::addColumn<QByteArray>("picture");
        QTest::addColumn<bool>("turnsGreen");
        const QByteArray swapped = colordProfile("SwappedRedAndGreen.icc");
        const QByteArray adobe = colordProfile("AdobeRGB1998.icc");
        const QByteArray red = jpegOf(redSquare());
        QTest::newRow("nothing published: sRGB") << QByteArray() << taggedJpeg(redSquare(), adobe) << false;
        QTest::newRow("tagged, to the display's profile")
            << swapped << taggedJpeg(redSquare(), adobe) << true;
        QTest::newRow("junk published: sRGB")
            << QByteArray(600, 'x') << taggedJpeg(redSquare(), adobe) << false;
        QTest::newRow("untagged is never touched") << swapped << red << false;
        QTest::newRow("sRGB-tagged is never touched")
            << swapped << taggedJpeg(redSquare(), colordProfile("sRGB.icc")) << false;
    }

    void pictureGoesToThePublishedProfile()
    {
        QFETCH(QByteArray, display);
        QFETCH(QByteArray, picture);
        QFETCH(bool, turnsGreen);
        publish(display);
        const QImage shown = load(picture).image;
        const QRgb c = shown.pixel(shown.width() / 2, shown.height() / 2);
        QVERIFY2(turnsGreen ? isGreen(c) : isRed(c), qPrintable(QString::number(c, 16)));
    }

    // Displays described by their EDID have a pure power curve, steepest at
    // black. Pictures going to one still convert on precalculated tables
    // (not through Little CMS at several times the cost), and the darkest
    // colours agree with Little CMS's floating-point transform within one
    // level, as everywhere else.
    void steepDisplayCurveStillConvertsOnTables()
    {
        const QByteArray display
            = rgbProfile({ { 0.64, 0.33, 1 }, { 0.30, 0.60, 1 }, { 0.15, 0.06, 1 } }, 2.2);
        const QByteArray adobe = colordProfile("AdobeRGB1998.icc");
        publish(display);
        const auto conversion = vm::ColorConversion::find(adobe, vm::PixelModel::Rgb);
        QVERIFY(conversion && conversion->isMatrixShaper());

        // Every colour whose channels are all below 64: the steep end.
        QImage ours(64 * 64, 64, QImage::Format_RGB32);
        for (int y = 0; y < 64; ++y) {
            for (int x = 0; x < 64 * 64; ++x)
                ours.setPixel(x, y, qRgb(x / 64, x % 64, y));
        }
        const int worst = worstAgainstExactTransform(*conversion, adobe, display, ours);
        QVERIFY(worst >= 0);
        QVERIFY2(worst <= 1, qPrintable(QStringLiteral("worst difference %1 levels").arg(worst)));
    }
};

QTEST_MAIN(TestDisplayProfile)
#include "tst_display_profile.moc"

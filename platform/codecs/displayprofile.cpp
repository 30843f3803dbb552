// The display's profile as the desktop publishes it: colord and the desktop
// colour settings put it on the X11 root window as _ICC_PROFILE. Read only
// when Qt runs on xcb; elsewhere (Wayland, offscreen) pictures go to sRGB.
#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

#include <cstdlib>

#include <xcb/xcb.h>

#include "platform/codecs/colorprofile.h"

namespace vm {

QByteArray displayIccProfile()
{
#if QT_CONFIG(xcb)
    // A program without a GUI (a command-line tool, a test) has a
    // QCoreApplication, which qGuiApp would wrongly cast.
    auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance());
    if (!app || QGuiApplication::platformName() != QLatin1String("xcb"))
        return {};
    auto *x11 = app->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return {};
    xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    if (!screen)
        return {};

    static constexpr char kAtom[] = "_ICC_PROFILE";
    xcb_intern_atom_reply_t *atom
        = xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 1, sizeof kAtom - 1, kAtom), nullptr);
    if (!atom)
        return {};
    const xcb_atom_t name = atom->atom;
    std::free(atom);
    if (name == XCB_ATOM_NONE)
        return {}; // nobody ever published one

    // The length is in 32-bit units; one more than the largest profile we
    // take tells an over-long one apart.
    const uint32_t units = uint32_t(kMaxIccProfileSize / 4 + 1);
    xcb_get_property_reply_t *reply = xcb_get_property_reply(connection,
        xcb_get_property(connection, 0, screen->root, name, XCB_GET_PROPERTY_TYPE_ANY, 0, units), nullptr);
    if (!reply)
        return {};
    QByteArray profile;
    const int length = xcb_get_property_value_length(reply);
    if (reply->format == 8 && reply->bytes_after == 0 && length > 0 && length <= kMaxIccProfileSize)
        profile = QByteArray(static_cast<const char *>(xcb_get_property_value(reply)), length);
    std::free(reply);
    return profile;
#else
    return {};
#endif
}

} // namespace vm

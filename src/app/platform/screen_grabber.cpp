#include "app/platform/screen_grabber.h"

#ifdef ORV_HAVE_XCB_SHM
#include "app/platform/x11_screen_grabber.h"
#endif
#ifdef ORV_HAVE_PORTAL
#include "app/platform/portal_desktop.h"
#endif

#ifdef ORV_HAVE_XCB
#include <xcb/xcb.h>
#endif

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdlib>
#include <cstring>

namespace orv::platform {
namespace {

// XWayland names its outputs XWAYLAND0, XWAYLAND1, ...; newer servers also
// announce an extension of that name.
bool xWayland() {
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (screen->name().startsWith(QStringLiteral("XWAYLAND"))) return true;
    }
#ifdef ORV_HAVE_XCB
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (!c) return false;
    const char* name = "XWAYLAND";
    xcb_query_extension_reply_t* reply = xcb_query_extension_reply(
        c, xcb_query_extension(c, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
    const bool present = reply && reply->present;
    std::free(reply);
    return present;
#else
    return false;
#endif
}

}  // namespace

bool onWaylandDesktop() {
    static const bool wayland =
        QGuiApplication::platformName().startsWith(QStringLiteral("wayland")) || xWayland();
    return wayland;
}

bool QtScreenGrabber::readable() const { return !onWaylandDesktop(); }

QString QtScreenGrabber::whyUnreadable() const {
    if (readable()) return {};
    // The tool reads such a desktop through its portal: this grabber stands
    // in only where there is none.
    return QGuiApplication::platformName().startsWith(QStringLiteral("wayland"))
               ? QStringLiteral(
                     "a Wayland desktop shows its screen only through a desktop "
                     "portal, and none answers on the session bus")
               : QStringLiteral(
                     "XWayland gives only empty pixels of the screen, and no desktop "
                     "portal answers on the session bus");
}

QRect QtScreenGrabber::desktop() const {
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->virtualGeometry() : QRect();
}

ScreenPiece QtScreenGrabber::grab(const QRect& rect) {
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect onScreen = rect.intersected(desktop());
    if (!readable()) return {QImage(), {}, true};
    if (!screen || onScreen.isEmpty()) return {};
    const QPixmap shot =
        screen->grabWindow(0, onScreen.x(), onScreen.y(), onScreen.width(), onScreen.height());
    ScreenPiece piece{shot.toImage(), onScreen.topLeft() - rect.topLeft()};
    if (piece.pixels.isNull()) {
        piece.unreadable = true;
        return piece;
    }
    // On a scaled display the grab comes in device pixels: back to the
    // logical rectangle that was asked for.
    if (piece.pixels.size() != onScreen.size()) {
        piece.pixels =
            piece.pixels.scaled(onScreen.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    piece.pixels.setDevicePixelRatio(1);
    if (piece.pixels.format() != QImage::Format_RGB32) piece.pixels.convertTo(QImage::Format_RGB32);
    return piece;
}

std::unique_ptr<ScreenGrabber> makeScreenGrabber() {
#ifdef ORV_HAVE_PORTAL
    // A Wayland desktop shows its screen through the portal, where there is one.
    if (onWaylandDesktop() && PortalScreenCast::available())
        return std::make_unique<PortalDesktop>();
#endif
#ifdef ORV_HAVE_XCB_SHM
    return std::make_unique<X11ScreenGrabber>();
#else
    return std::make_unique<QtScreenGrabber>();
#endif
}

}  // namespace orv::platform

#include "app/platform/foreground_window.h"

#include <QApplication>
#include <QGuiApplication>
#include <QWidget>

#include "app/platform/screen_grabber.h"

#ifdef ORV_HAVE_XCB
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#endif

namespace orv::platform {

#ifdef ORV_HAVE_XCB
namespace {

template <class T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <class T>
Reply<T> reply(T* r) {
    return Reply<T>(r, &std::free);
}

xcb_connection_t* connection() {
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_window_t rootOf(xcb_connection_t* c) {
    return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
}

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    auto r = reply(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 1, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr));
    return r ? r->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

// The first 32-bit values of a property; empty when it is missing.
std::vector<std::uint32_t> property(xcb_connection_t* c, xcb_window_t w, const char* name,
                                    xcb_atom_t type, std::uint32_t count) {
    const xcb_atom_t a = atom(c, name);
    if (a == XCB_ATOM_NONE) return {};
    auto r =
        reply(xcb_get_property_reply(c, xcb_get_property(c, 0, w, a, type, 0, count), nullptr));
    if (!r || r->format != 32) return {};
    const int n = xcb_get_property_value_length(r.get()) / 4;
    const auto* v = static_cast<const std::uint32_t*>(xcb_get_property_value(r.get()));
    return std::vector<std::uint32_t>(v, v + n);
}

// The child of the root that holds `w` (the top-level window).
xcb_window_t topLevel(xcb_connection_t* c, xcb_window_t w, xcb_window_t root) {
    for (int depth = 0; depth < 64 && w != XCB_WINDOW_NONE && w != root; ++depth) {
        auto tree = reply(xcb_query_tree_reply(c, xcb_query_tree(c, w), nullptr));
        if (!tree) return XCB_WINDOW_NONE;
        if (tree->parent == root) return w;
        w = tree->parent;
    }
    return XCB_WINDOW_NONE;
}

std::optional<QRect> rectOf(xcb_connection_t* c, xcb_window_t w, xcb_window_t root) {
    auto geometry = reply(xcb_get_geometry_reply(c, xcb_get_geometry(c, w), nullptr));
    auto origin = reply(
        xcb_translate_coordinates_reply(c, xcb_translate_coordinates(c, w, root, 0, 0), nullptr));
    if (!geometry || !origin) return std::nullopt;
    QRect r(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
    // A window manager's frame: left, right, top, bottom.
    const auto frame = property(c, w, "_NET_FRAME_EXTENTS", XCB_ATOM_CARDINAL, 4);
    if (frame.size() == 4) {
        r.adjust(-static_cast<int>(frame[0]), -static_cast<int>(frame[2]),
                 static_cast<int>(frame[1]), static_cast<int>(frame[3]));
    }
    return r;
}

}  // namespace
#endif

std::optional<QRect> DesktopWindowInspector::foregroundWindow() {
#ifdef ORV_HAVE_XCB
    if (xcb_connection_t* c = connection()) {
        const xcb_window_t root = rootOf(c);
        xcb_window_t w = XCB_WINDOW_NONE;
        const auto active = property(c, root, "_NET_ACTIVE_WINDOW", XCB_ATOM_WINDOW, 1);
        if (!active.empty()) w = active[0];
        if (w == XCB_WINDOW_NONE) {
            auto focus = reply(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
            if (focus) w = topLevel(c, focus->focus, root);
        }
        if (w == XCB_WINDOW_NONE || w == root) return std::nullopt;
        return rectOf(c, w, root);
    }
#endif
    if (QWidget* w = QApplication::activeWindow()) return w->frameGeometry();
    return std::nullopt;
}

bool DesktopWindowInspector::canPlaceWindows() { return !onWaylandDesktop(); }

bool DesktopWindowInspector::canMinimize() {
    // A Wayland client cannot restore itself once minimised; through XWayland
    // the compositor ignores the request.
    if (onWaylandDesktop()) return false;
#ifdef ORV_HAVE_XCB
    if (xcb_connection_t* c = connection()) {
        return !property(c, rootOf(c), "_NET_SUPPORTING_WM_CHECK", XCB_ATOM_WINDOW, 1).empty();
    }
#endif
    return true;
}

}  // namespace orv::platform

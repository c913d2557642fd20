#include "app/platform/x11_screen_grabber.h"

#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QScreen>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace orv::platform {
namespace {

xcb_connection_t* qtConnection() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_screen_t* firstScreen(xcb_connection_t* c) {
    return xcb_setup_roots_iterator(xcb_get_setup(c)).data;
}

// A connection of the grabber's own to the server Qt talks to. Replies on
// Qt's connection are read by Qt's event thread and handed over, two thread
// switches a grab; on a connection of its own the grab reads its reply
// itself. Null where none can be made or it would reach another server.
xcb_connection_t* ownConnection(xcb_connection_t* qt) {
    const QByteArray name = qgetenv("DISPLAY");
    if (name.isEmpty()) return nullptr;
    xcb_connection_t* c = xcb_connect(name.constData(), nullptr);
    if (xcb_connection_has_error(c) == 0) {
        const xcb_screen_t* ours = firstScreen(c);
        const xcb_screen_t* theirs = firstScreen(qt);
        if (ours->root == theirs->root && ours->width_in_pixels == theirs->width_in_pixels &&
            ours->height_in_pixels == theirs->height_in_pixels) {
            return c;
        }
    }
    xcb_disconnect(c);
    return nullptr;
}

bool hasSharedMemory(xcb_connection_t* c) {
    const xcb_query_extension_reply_t* shm = xcb_get_extension_data(c, &xcb_shm_id);
    if (!shm || !shm->present) return false;
    xcb_shm_query_version_reply_t* version =
        xcb_shm_query_version_reply(c, xcb_shm_query_version(c), nullptr);
    std::free(version);
    return version != nullptr;
}

}  // namespace

X11ScreenGrabber::X11ScreenGrabber() {
    xcb_connection_t* qt = qtConnection();
    if (!qt) return;
    xcb_connection_t* own = ownConnection(qt);
    xcb_connection_t* c = own ? own : qt;
    if (!hasSharedMemory(c)) {
        if (own) xcb_disconnect(own);
        return;
    }
    connection_ = c;
    ownsConnection_ = own != nullptr;
    root_ = firstScreen(c)->root;
    usable_ = true;
}

X11ScreenGrabber::~X11ScreenGrabber() {
    release();
    if (ownsConnection_) xcb_disconnect(static_cast<xcb_connection_t*>(connection_));
}

void X11ScreenGrabber::release() {
    if (memory_) {
        xcb_shm_detach(static_cast<xcb_connection_t*>(connection_), segment_);
        xcb_flush(static_cast<xcb_connection_t*>(connection_));
        shmdt(memory_);
    }
    memory_ = nullptr;
    capacity_ = 0;
}

bool X11ScreenGrabber::reserve(std::size_t bytes) {
    if (memory_ && capacity_ >= bytes) return true;
    release();
    auto* c = static_cast<xcb_connection_t*>(connection_);
    shmid_ = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (shmid_ < 0) return false;
    void* at = shmat(shmid_, nullptr, 0);
    // Marked for removal at once: it goes when both sides have let it go.
    shmctl(shmid_, IPC_RMID, nullptr);
    if (at == reinterpret_cast<void*>(-1)) return false;
    segment_ = xcb_generate_id(c);
    xcb_generic_error_t* error = xcb_request_check(
        c, xcb_shm_attach_checked(c, segment_, static_cast<std::uint32_t>(shmid_), 0));
    if (error) {
        std::free(error);
        shmdt(at);
        return false;
    }
    memory_ = static_cast<std::uint8_t*>(at);
    capacity_ = bytes;
    return true;
}

bool X11ScreenGrabber::grabShared(const QRect& rect) {
    auto* c = static_cast<xcb_connection_t*>(connection_);
    const std::size_t bytes = static_cast<std::size_t>(rect.width()) * rect.height() * 4;
    if (!reserve(bytes)) return false;
    xcb_generic_error_t* error = nullptr;
    xcb_shm_get_image_reply_t* reply = xcb_shm_get_image_reply(
        c,
        xcb_shm_get_image(
            c, root_, static_cast<std::int16_t>(rect.x()), static_cast<std::int16_t>(rect.y()),
            static_cast<std::uint16_t>(rect.width()), static_cast<std::uint16_t>(rect.height()),
            ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, segment_, 0),
        &error);
    // (a depth or server this path does not read)
    const bool good = reply && !error && reply->depth >= 24 && reply->size >= bytes;
    std::free(reply);
    std::free(error);
    return good;
}

bool X11ScreenGrabber::allZero(std::size_t bytes) const {
    const auto* words = reinterpret_cast<const std::uint32_t*>(memory_);
    for (std::size_t i = 0; i < bytes / 4; ++i) {
        if (words[i] != 0) return false;
    }
    return true;
}

bool X11ScreenGrabber::screenIsEmpty() {
    // A screen seen with something on it is not looked at again for a while:
    // a black video would otherwise cost a whole-screen grab a tick.
    const auto now = std::chrono::steady_clock::now();
    if (now < trustedUntil_) return false;
    const QRect whole = desktop().intersected(QRect(0, 0, 32767, 32767));
    const std::size_t bytes = static_cast<std::size_t>(whole.width()) * whole.height() * 4;
    if (grabShared(whole) && allZero(bytes)) return true;
    trustedUntil_ = now + std::chrono::seconds(2);
    return false;
}

QString X11ScreenGrabber::whyUnreadable() const {
    if (emptyScreen_) {
        return QStringLiteral("the X server gives only empty pixels of the screen");
    }
    return plain_.whyUnreadable();
}

ScreenPiece X11ScreenGrabber::grab(const QRect& rect) {
    if (!readable()) return {QImage(), {}, true};
    const QRect onScreen = rect.intersected(desktop());
    if (onScreen.isEmpty()) return {};
    // Shared memory speaks the server's own pixels: a scaled display, and any
    // failure on the way, take the plain grab.
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!usable_ || !screen || screen->devicePixelRatio() != 1.0) return plain_.grab(rect);
    if (!grabShared(onScreen)) {
        usable_ = false;
        return plain_.grab(rect);
    }
    const std::size_t bytes = static_cast<std::size_t>(onScreen.width()) * onScreen.height() * 4;
    // All zeros, everywhere, is a server that hides its screen (XWayland
    // under some compositors); a black part of a real screen is not.
    if (allZero(bytes)) {
        if (screenIsEmpty()) {
            emptyScreen_ = true;
            return {QImage(), {}, true};
        }
        if (!grabShared(onScreen)) return plain_.grab(rect);  // the check used the segment
    }
    // 32 bits a pixel, blue first: the bytes of Format_RGB32 once the unused
    // byte reads 0xFF as Qt's own grab gives it.
    ScreenPiece piece{QImage(onScreen.size(), QImage::Format_RGB32),
                      onScreen.topLeft() - rect.topLeft()};
    const auto* from = reinterpret_cast<const std::uint32_t*>(memory_);
    for (int y = 0; y < onScreen.height(); ++y) {
        auto* to = reinterpret_cast<std::uint32_t*>(piece.pixels.scanLine(y));
        for (int x = 0; x < onScreen.width(); ++x) to[x] = from[x] | 0xFF000000u;
        from += onScreen.width();
    }
    return piece;
}

}  // namespace orv::platform

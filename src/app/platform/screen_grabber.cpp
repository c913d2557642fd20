#include "app/platform/screen_grabber.h"

#ifdef ORV_HAVE_XCB_SHM
#include "app/platform/x11_screen_grabber.h"
#endif

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

namespace orv::platform {

QRect QtScreenGrabber::desktop() const {
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->virtualGeometry() : QRect();
}

ScreenPiece QtScreenGrabber::grab(const QRect& rect) {
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect onScreen = rect.intersected(desktop());
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
#ifdef ORV_HAVE_XCB_SHM
    return std::make_unique<X11ScreenGrabber>();
#else
    return std::make_unique<QtScreenGrabber>();
#endif
}

}  // namespace orv::platform

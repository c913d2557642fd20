#include "app/platform/screen_grabber.h"

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
    QImage pixels =
        screen->grabWindow(0, onScreen.x(), onScreen.y(), onScreen.width(), onScreen.height())
            .toImage();
    if (pixels.format() != QImage::Format_RGB32) pixels.convertTo(QImage::Format_RGB32);
    return {pixels, onScreen.topLeft() - rect.topLeft()};
}

}  // namespace orv::platform

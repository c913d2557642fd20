#include "app/platform/portal_screen_grabber.h"

namespace orv::platform {

ScreenPiece PortalScreenGrabber::grab(const QRect& rect) {
    const QImage frame = cast_.latestFrame();
    if (frame.isNull()) return ScreenPiece{QImage(), QPoint(), true};
    const QRect onScreen = rect.intersected(frame.rect());
    if (onScreen.isEmpty()) return {};
    return ScreenPiece{frame.copy(onScreen), onScreen.topLeft() - rect.topLeft()};
}

}  // namespace orv::platform

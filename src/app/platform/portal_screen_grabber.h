// The screen as a portal screen cast shows it, for the capture clock.
#pragma once

#include "app/platform/portal_screencast.h"
#include "app/platform/screen_grabber.h"

namespace orv::platform {

// Grabs cut from the newest picture of a running screen cast, in the
// stream's pixels: the desktop is that picture, with its top-left at 0, 0.
class PortalScreenGrabber final : public ScreenGrabber {
  public:
    explicit PortalScreenGrabber(const PortalScreenCast& cast) : cast_(cast) {}

    // Unreadable while no picture has come in.
    ScreenPiece grab(const QRect& rect) override;
    QRect desktop() const override { return QRect(QPoint(0, 0), cast_.size()); }

  private:
    const PortalScreenCast& cast_;  // the screen cast read; outlives the grabber
};

}  // namespace orv::platform

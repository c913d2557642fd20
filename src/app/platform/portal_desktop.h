// The desktop of a Wayland session for the windows: every grab goes through
// the desktop portal's screen cast, asked for once and then kept running.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <vector>

#include "app/platform/portal_screen_grabber.h"
#include "app/platform/portal_screencast.h"
#include "app/platform/screen_grabber.h"

namespace orv::platform {

class PortalDesktop final : public QObject, public ScreenGrabber {
    Q_OBJECT
  public:
    PortalDesktop();

    // Cut from the monitor's newest picture; unreadable before the cast runs.
    ScreenPiece grab(const QRect& rect) override;
    // The monitor's picture, or the screen as Qt knows it before the cast runs.
    QRect desktop() const override;
    bool readable() const override { return available_; }
    QString whyUnreadable() const override;
    void prepare(Purpose purpose, std::function<void(const QString&)> done) override;
    bool picksWindows() const override { return true; }
    QImage pickedWindow() override;
    void afterNextPicture(std::function<void()> done) override;

  private:
    using Done = std::function<void(const QString&)>;
    // Calls every waiting `done` of `cast` with `failure`.
    static void answer(std::vector<Done>& waiting, const QString& failure);

    bool available_;                // a portal with screen casts is on the bus
    PortalScreenCast monitor_;      // the whole screen, kept running once started
    PortalScreenCast window_;       // one picked window, for one grab
    PortalScreenGrabber crop_;      // grabs cut from monitor_'s pictures
    std::vector<Done> forMonitor_;  // waiting for monitor_ to start
    std::vector<Done> forWindow_;   // waiting for window_ to start
    QString failure_;               // why the monitor's cast ended, if it did
};

}  // namespace orv::platform

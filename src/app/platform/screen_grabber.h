// Reading pixels off the real screen.
#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>
#include <memory>

namespace orv::platform {

// A piece of the screen: the pixels of the requested rectangle that lie on
// the screen, and where they start within that rectangle.
struct ScreenPiece {
    QImage pixels;            // Format_RGB32; null when nothing of the rectangle is on screen
    QPoint offset;            // position of pixels' top-left corner inside the requested rectangle
    bool unreadable = false;  // the desktop would not give its pixels (a Wayland session)
};

class ScreenGrabber {
  public:
    virtual ~ScreenGrabber() = default;
    // The rectangle in desktop pixels (a normalised rectangle).
    virtual ScreenPiece grab(const QRect& rect) = 0;
    // The whole desktop in pixels.
    virtual QRect desktop() const = 0;
    // Whether this desktop gives its pixels at all: false where every grab
    // would come back unreadable (a Wayland session, or XWayland, which
    // answers with empty pixels).
    virtual bool readable() const { return true; }
    // Why the screen cannot be read, in one line; empty while it can.
    virtual QString whyUnreadable() const { return {}; }
};

// The screen as Qt sees it (QScreen::grabWindow of the desktop), in the
// desktop's logical pixels whatever the display scaling.
class QtScreenGrabber final : public ScreenGrabber {
  public:
    ScreenPiece grab(const QRect& rect) override;
    QRect desktop() const override;
    bool readable() const override;
    QString whyUnreadable() const override;
};

// Whether the windows live on a Wayland desktop, natively or through
// XWayland: there no program reads the screen, places or minimises its own
// windows.
bool onWaylandDesktop();

// The grabber the tool uses: shared memory where this build has it (falling
// back by itself to the plain grab), else the plain grab.
std::unique_ptr<ScreenGrabber> makeScreenGrabber();

}  // namespace orv::platform

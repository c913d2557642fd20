// Reading pixels off the real screen.
#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>
#include <functional>
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

    // What a grab is for: the desktop, or one window the user picks where
    // the desktop lets the user pick one (a portal).
    enum class Purpose { Desktop, Window };
    // Where the desktop must be asked first (a portal and its stream), gets
    // it ready and calls `done` later on the GUI thread: with an empty text
    // once grabs can be made, or with one line saying why they cannot. After
    // a Window preparation, desktop() is that window and grab() reads it.
    // Everywhere else it is ready at once.
    virtual void prepare(Purpose purpose, std::function<void(const QString& failure)> done) {
        (void)purpose;
        done({});
    }
    // Whether the desktop lets the user pick a window to grab (prepare with
    // Purpose::Window) rather than telling which window is in front.
    virtual bool picksWindows() const { return false; }
    // The window picked by the last Window preparation, as it shows now.
    virtual QImage pickedWindow() { return {}; }
    // Calls `done` once the screen's picture is newer than the moment of the
    // call (the tool's own window has just left it), or after a short bound.
    virtual void afterNextPicture(std::function<void()> done) { done(); }
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

// The screen read through X11 shared memory (MIT-SHM) on a connection of its
// own to the X server: one segment, sized to the rectangle, reused tick after
// tick, so that a grab costs one request and one copy. Where the X server has
// no shared memory (a remote display), the display is scaled, or the platform
// is not X11, it grabs as QtScreenGrabber does; both give the same pixels.
#pragma once

#include <QSize>
#include <chrono>
#include <cstdint>

#include "app/platform/screen_grabber.h"

namespace orv::platform {

class X11ScreenGrabber final : public ScreenGrabber {
  public:
    X11ScreenGrabber();
    ~X11ScreenGrabber() override;
    X11ScreenGrabber(const X11ScreenGrabber&) = delete;
    X11ScreenGrabber& operator=(const X11ScreenGrabber&) = delete;

    ScreenPiece grab(const QRect& rect) override;
    QRect desktop() const override { return plain_.desktop(); }
    bool readable() const override { return plain_.readable() && !emptyScreen_; }
    QString whyUnreadable() const override;

    // Whether grabs go through shared memory (false: the plain way).
    bool sharedMemory() const { return usable_; }

  private:
    // A segment of at least `bytes`; false when none can be made.
    bool reserve(std::size_t bytes);
    // Grabs `rect` (on the screen) into the segment; false on any failure.
    bool grabShared(const QRect& rect);
    // Whether the segment's first `bytes` are all zero.
    bool allZero(std::size_t bytes) const;
    // After a grab of nothing but zeros: whether the whole screen is zeros
    // too. The tool's own window is on it, so a real screen never is; a
    // server that answers every grab with zeros is not showing its screen.
    bool screenIsEmpty();
    void release();

    QtScreenGrabber plain_;
    void* connection_ = nullptr;   // the grabber's own xcb connection, else Qt's
    bool ownsConnection_ = false;  // whether connection_ is closed here
    std::uint32_t root_ = 0;
    bool usable_ = false;
    std::uint32_t segment_ = 0;  // the server's name for it
    int shmid_ = -1;
    std::uint8_t* memory_ = nullptr;
    std::size_t capacity_ = 0;
    bool emptyScreen_ = false;  // the server gave zeros for the whole screen
    std::chrono::steady_clock::time_point trustedUntil_{};  // no whole-screen check before
};

}  // namespace orv::platform

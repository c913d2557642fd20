// What the desktop can tell about its windows: the window in front and
// whether a window manager is there to minimise windows.
#pragma once

#include <QRect>
#include <QString>
#include <optional>

namespace orv::platform {

class WindowInspector {
  public:
    virtual ~WindowInspector() = default;
    // The foreground window's rectangle in desktop pixels, frame included;
    // nothing when the platform cannot tell.
    virtual std::optional<QRect> foregroundWindow() = 0;
    // Whether windows can be minimised and restored again (a window manager
    // is running, and the desktop lets a program restore its own window).
    virtual bool canMinimize() = 0;
    // Whether a program may place its own windows on the screen (not on a
    // Wayland desktop, where the compositor places them).
    virtual bool canPlaceWindows() { return true; }
};

// X11: _NET_ACTIVE_WINDOW, else the input focus; the frame from
// _NET_FRAME_EXTENTS. Elsewhere: Qt's active window, and minimising assumed.
class DesktopWindowInspector final : public WindowInspector {
  public:
    std::optional<QRect> foregroundWindow() override;
    bool canMinimize() override;
    bool canPlaceWindows() override;
};

}  // namespace orv::platform

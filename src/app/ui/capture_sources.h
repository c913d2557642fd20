// The capture sources of the main window: the clock's grab of its rectangle
// (from the screen, or from the player's video), and the one-off modes (the
// whole desktop, the window in front, a region; app/ui/capture_modes.h) with
// the thumbnail's clear and save.
#pragma once

#include <QImage>
#include <QObject>
#include <QRect>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <optional>

#include "app/capture_session.h"
#include "app/platform/foreground_window.h"
#include "app/platform/screen_grabber.h"
#include "app/ui/capture_modes.h"
#include "app/ui/player_panel.h"
#include "common/ui/widgets.h"
#include "dib/ui/picture_box.h"

namespace orv::ui {

class CaptureSources : public QObject, public app::TickSource {
    Q_OBJECT
  public:
    // What the sources work with.
    struct Parts {
        QWidget& window;             // the tool's window, out of the way while grabbing
        const ImageView& thumbnail;  // what "保存图片" saves
        PlayerPanel& player;         // its picture stands in for an unreadable screen
        NoticeLine& notice;          // non-modal reports
        MessageBoxes& messages;      // modal ones
    };
    CaptureSources(const Parts& parts, platform::ScreenGrabber& grabber,
                   platform::WindowInspector& inspector);

    PictureBox* Picture1;  // the capture picture, below the window's visible edge
    QTimer* Timer1;        // the active-window grab's timer, 1000 ms

    void CmdCapScreen_Click() { desktop_->start(); }       // the whole desktop
    void CmdCapActiveWindow_Click() { window_->start(); }  // the window in front, twice
    void Timer1_Timer() { window_->tick(); }               // one active-window grab
    void CmdCapRect_Click() { region_->start(); }          // a region on a frozen screenshot
    void CmdClear_Click();                                 // empty the thumbnail
    void CmdSaveBmp_Click();                               // save the captured picture as a bitmap

    // Half of outer minus client width, twips, as the modes add it.
    void setBorderPad(std::int16_t pad) { services_->BorderPad = pad; }
    // The capture surface while it exists.
    Form2* captureSurface() const { return region_->surface(); }

    // The save dialog's answer (empty: cancelled) and the overwrite question;
    // tests put their own answers here.
    std::function<QString()> askSaveName;
    std::function<bool()> askOverwrite;

    // Minimises a window, or hides it where nothing can minimise.
    void minimizeWindow(QWidget* window) { services_->minimizeWindow(window); }
    // Back to the normal state, in front.
    void restoreWindow(QWidget* window) { services_->restoreWindow(window); }

    // The capture clock's grab of the rectangle at (left, top) with a signed
    // extent in twips, which is also the capture picture's outer size; the
    // picture is cleared first. From the screen, or, while the rectangle is
    // aimed at the player and the screen cannot be read (or the video source
    // is chosen), from the player's own picture. False (and a notice) when
    // nothing could be grabbed.
    bool grabTick(std::int32_t left, std::int32_t top, std::int32_t extentX, std::int32_t extentY);
    // The capture clock's source: grabTick() of the rectangle, the capture
    // picture then being the tick's picture.
    bool grab(const app::CaptureRectValues& rect, Picture& picture) override;
    // The rectangle is aimed at the player, whose top-left pixel the aiming
    // took to be at `playerOrigin` on the screen.
    void aimedAtPlayer(QPoint playerOrigin);
    // Whether the clock takes the player's area from the video rather than
    // the screen even where the screen can be read.
    bool videoSourceChosen() const { return videoChosen_; }
    void chooseVideoSource(bool chosen) { videoChosen_ = chosen; }
    // Whether the player's area can come from the video alone here (a
    // screen that cannot be read, or a window that cannot be placed).
    bool videoIsTheOnlySource() const;
    // Whether the player's area comes from the video at the next tick.
    bool capturesFromVideo() const;
    // Whether this desktop lets the tool place its own windows.
    bool canPlaceWindows() const { return inspector_.canPlaceWindows(); }

  signals:
    void desktopGrabbed();  // the whole-desktop grab is done
    void surfaceShown();    // the capture surface is up for a region
    // A capture is done: the thumbnail shows `picture` (null: cleared).
    void captured(const QImage& picture);
    // A region was chosen: the capture rectangle's texts (width and height in
    // twips, left and top in pixels); the capture clock runs on it.
    void rectChosen(const QString& width, const QString& height, const QString& left,
                    const QString& top);

  private:
    Parts parts_;
    platform::ScreenGrabber& grabber_;
    platform::WindowInspector& inspector_;
    CaptureServices* services_;
    DesktopGrab* desktop_;
    WindowGrab* window_;
    RegionGrab* region_;
    std::optional<QPoint> playerOrigin_;  // set while the rectangle is aimed at the player
    bool videoChosen_ = false;            // the user chose the video over the screen
};

}  // namespace orv::ui

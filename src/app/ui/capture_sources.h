// The one-off capture sources of the main window: the whole desktop, the
// window in front (two grabs, one and two seconds on), a region chosen on
// the capture surface; clearing the thumbnail and saving the capture. Also
// the screen copy into the capture picture that the capture clock shares.
#pragma once

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <optional>

#include "app/capture_session.h"
#include "app/platform/foreground_window.h"
#include "app/platform/screen_grabber.h"
#include "app/ui/form2.h"
#include "app/ui/player_panel.h"
#include "common/ui/widgets.h"
#include "dib/ui/picture_box.h"

namespace orv::ui {

// Captions of the buttons that start the sources; notices name a source by them.
inline const QString kCapScreenCaption = QStringLiteral("整个桌面");
inline const QString kCapRectCaption = QStringLiteral("桌面区域");
inline const QString kCapActiveWindowCaption = QStringLiteral("活动窗口");

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

    PictureBox* Picture1;        // the capture picture, below the window's visible edge
    QTimer* Timer1;              // active-window timer, 1000 ms
    std::int16_t GrabCount = 0;  // active-window grabs of the current pair
    std::int16_t BorderPad = 0;  // half of outer minus client width, twips

    void CmdCapScreen_Click();        // grab the whole desktop into the capture picture
    void CmdCapActiveWindow_Click();  // grab the window in front, one and two seconds on
    void Timer1_Timer();              // one active-window grab
    void CmdCapRect_Click();          // choose a region on a frozen screenshot
    void CmdClear_Click();            // empty the thumbnail
    void CmdSaveBmp_Click();          // save the captured picture as a bitmap

    // The capture surface while it exists.
    Form2* captureSurface() const { return Form2_; }

    // The save dialog's answer (empty: cancelled) and the overwrite question;
    // tests put their own answers here.
    std::function<QString()> askSaveName;
    std::function<bool()> askOverwrite;

    // Minimises a window, or hides it where nothing can minimise.
    void minimizeWindow(QWidget* window);
    // Back to the normal state, in front.
    void restoreWindow(QWidget* window);

    // The part of the screen rectangle at (left, top) with a signed extent
    // that the capture picture's client area keeps.
    QRect keptArea(std::int32_t left, std::int32_t top, std::int32_t extentX,
                   std::int32_t extentY) const;
    // Copies that screen area onto the capture picture at 0, 0; false (and a
    // notice) when the desktop would not give its pixels.
    bool grabIntoPicture1(const QRect& area);

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
    // The whole desktop as the screen shows it now.
    QImage grabDesktop();
    // Runs `then` once pending window events have run, so that a window just
    // minimised or hidden is off the screen and what was under it repainted.
    void afterWindowsSettle(std::function<void()> then);
    void finishDesktopGrab();
    // Gets the screen ready (asking the desktop where it must be asked) and
    // runs `then` once the tool's window has left its picture; on failure
    // the notice line says why, under the name of `what`.
    void whenScreenReady(const QString& what, std::function<void()> then);
    void showCaptureSurface();
    void regionChosen(const Form2::Region& region);
    void regionCancelled();

    Parts parts_;
    platform::ScreenGrabber& grabber_;
    platform::WindowInspector& inspector_;
    // Says once that the screen cannot be read, and why.
    void reportUnreadable(const QString& what);

    QPointer<Form2> Form2_;
    std::optional<QPoint> playerOrigin_;  // set while the rectangle is aimed at the player
    bool videoChosen_ = false;            // the user chose the video over the screen
};

}  // namespace orv::ui

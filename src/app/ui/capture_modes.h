// The one-off ways of capturing, each with a life of its own: started by its
// button, driven by its timer or the desktop's answer, and ended when done or
// cancelled. They share the tool's services (the grabber, the capture
// picture, the windows) but no state: each keeps its own timer and counts.
#pragma once

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <cstdint>
#include <functional>

#include "app/platform/foreground_window.h"
#include "app/platform/screen_grabber.h"
#include "app/ui/form2.h"
#include "common/ui/widgets.h"
#include "dib/ui/picture_box.h"

namespace orv::ui {

// Captions of the buttons that start the modes, in the windows' language;
// notices name a mode by them.
QString capScreenCaption();        // "整个桌面", the whole desktop
QString capRectCaption();          // "桌面区域", a desktop region
QString capActiveWindowCaption();  // "活动窗口", the window in front

// What the modes work with, and the steps they have in common.
class CaptureServices : public QObject {
    Q_OBJECT
  public:
    CaptureServices(QWidget& window, NoticeLine& notice, platform::ScreenGrabber& grabber,
                    platform::WindowInspector& inspector, PictureBox& picture);

    QWidget& window;                       // the tool's window, out of the way while grabbing
    NoticeLine& notice;                    // non-modal reports
    platform::ScreenGrabber& grabber;      // reads the screen
    platform::WindowInspector& inspector;  // the window in front; minimising
    PictureBox& picture;                   // the capture picture (Picture1)
    std::int16_t BorderPad = 0;            // half of outer minus client width, twips

    // Minimises a window, or hides it where nothing can minimise.
    void minimizeWindow(QWidget* w);
    // Back to the normal state, in front.
    void restoreWindow(QWidget* w);
    // Runs `then` once pending window events have run, so that a window just
    // minimised or hidden is off the screen and what was under it repainted.
    void afterWindowsSettle(std::function<void()> then);
    // Says once that the screen cannot be read, and why, under `what`.
    void reportUnreadable(const QString& what);
    // Gets the screen ready (asking the desktop where it must be asked) and
    // runs `then` once the tool's window has left its picture; `failed` runs
    // first when it cannot be, after the notice line said why under `what`.
    void whenScreenReady(const QString& what, std::function<void()> then,
                         std::function<void()> failed);
    // The part of the screen rectangle at (left, top) with a signed extent
    // that the capture picture's client area keeps.
    QRect keptArea(std::int32_t left, std::int32_t top, std::int32_t extentX,
                   std::int32_t extentY) const;
    // Copies that screen area onto the capture picture at 0, 0; false (and a
    // notice) when the desktop would not give its pixels.
    bool grabIntoPicture(const QRect& area);
    // The whole desktop as the screen shows it now.
    QImage grabDesktop();

  signals:
    // A capture is done: the thumbnail shows `picture` (null: cleared).
    void captured(const QImage& picture);
};

// "整个桌面": the whole desktop into the capture picture, once.
class DesktopGrab : public QObject {
    Q_OBJECT
  public:
    explicit DesktopGrab(CaptureServices& services) : QObject(&services), s_(services) {}
    void start();

  signals:
    void done();  // the grab is in the capture picture and the thumbnail

  private:
    void finish();
    CaptureServices& s_;
};

// "活动窗口": the window in front, grabbed one and two seconds after the start
// (the second grab shown), or picked in the desktop's own dialog where the
// desktop does not tell which window is in front.
class WindowGrab : public QObject {
    Q_OBJECT
  public:
    explicit WindowGrab(CaptureServices& services);
    void start();
    // One grab of the pair.
    void tick();
    // Ends the pair and forgets its grabs: the next start begins a new pair.
    void cancel() {
        Timer1->stop();
        GrabCount = 0;
    }

    QTimer* Timer1;              // the pair's timer, 1000 ms
    std::int16_t GrabCount = 0;  // grabs of the current pair

  private:
    void pickedWindow(const QString& failure);
    CaptureServices& s_;
};

// "桌面区域": a region chosen with the mouse on a frozen screenshot of the
// desktop, the capture surface. As the tool has always done, the window in
// front (by then the surface) is grabbed one and two seconds in, and the
// main window brought back, while the selection goes on; those grabs are this
// mode's own.
class RegionGrab : public QObject {
    Q_OBJECT
  public:
    explicit RegionGrab(CaptureServices& services);
    void start();
    // Closes the capture surface and ends the grabs of the window in front.
    void stop();
    Form2* surface() const { return Form2_; }

  signals:
    void surfaceShown();  // the capture surface is up
    // A region was chosen, its picture in the capture picture and the
    // thumbnail: the capture rectangle's texts (width and height in twips,
    // left and top in pixels).
    void chosen(const QString& width, const QString& height, const QString& left,
                const QString& top);

  private:
    void showSurface();
    void regionChosen(const Form2::Region& region);
    CaptureServices& s_;
    WindowGrab inFront_;  // the grabs of the window in front during the selection
    QPointer<Form2> Form2_;
};

}  // namespace orv::ui

#include "app/ui/capture_modes.h"

#include <QCoreApplication>

#include "app/capture_clock.h"
#include "common/numbers.h"

namespace orv::ui {
namespace {

const QString kWindowNotice = QStringLiteral("active-window");
const QString kScreenNotice = QStringLiteral("screen");

// Long enough for a window manager to take a minimised window off the screen
// and for what lay under it to be repainted.
constexpr int kSettleMs = 100;

}  // namespace

QString capScreenCaption() {
    return QCoreApplication::translate("orv::ui::CaptureModes", "整个桌面");
}
QString capRectCaption() {
    return QCoreApplication::translate("orv::ui::CaptureModes", "桌面区域");
}
QString capActiveWindowCaption() {
    return QCoreApplication::translate("orv::ui::CaptureModes", "活动窗口");
}

CaptureServices::CaptureServices(QWidget& window, NoticeLine& notice,
                                 platform::ScreenGrabber& grabber,
                                 platform::WindowInspector& inspector, PictureBox& picture)
    : QObject(&window),
      window(window),
      notice(notice),
      grabber(grabber),
      inspector(inspector),
      picture(picture) {}

void CaptureServices::minimizeWindow(QWidget* w) {
    if (inspector.canMinimize()) {
        w->showMinimized();
    } else {
        w->hide();  // nothing on this desktop can minimise: hiding stands in
    }
}

void CaptureServices::restoreWindow(QWidget* w) {
    w->showNormal();
    w->raise();
    w->activateWindow();
}

void CaptureServices::afterWindowsSettle(std::function<void()> then) {
    QTimer::singleShot(kSettleMs, this, std::move(then));
}

void CaptureServices::reportUnreadable(const QString& what) {
    QString why = grabber.whyUnreadable();
    if (why.isEmpty()) why = QStringLiteral("the desktop would not give its pixels");
    notice.report(kScreenNotice,
                  tr("%1: the screen cannot be read (%2), so nothing is captured; \"开始采集\" "
                     "still records the player's video")
                      .arg(what, why));
}

void CaptureServices::whenScreenReady(const QString& what, std::function<void()> then,
                                      std::function<void()> failed) {
    grabber.prepare(
        platform::ScreenGrabber::Purpose::Desktop,
        [this, what, then = std::move(then), failed = std::move(failed)](const QString& failure) {
            if (!failure.isEmpty()) {
                if (failed) failed();
                restoreWindow(&window);
                notice.report(kScreenNotice, QStringLiteral("%1: %2").arg(what, failure));
                return;
            }
            // Once the tool's own window has left the screen's picture.
            afterWindowsSettle([this, then] { grabber.afterNextPicture(then); });
        });
}

QRect CaptureServices::keptArea(std::int32_t left, std::int32_t top, std::int32_t extentX,
                                std::int32_t extentY) const {
    const QSize client = picture.clientSize();
    const app::GrabArea a =
        app::grabArea(left, top, extentX, extentY, client.width(), client.height());
    return QRect(a.x, a.y, a.width, a.height);
}

bool CaptureServices::grabIntoPicture(const QRect& area) {
    if (area.isEmpty()) return true;
    const platform::ScreenPiece piece = grabber.grab(area);
    if (piece.unreadable) {
        reportUnreadable(QStringLiteral("capture"));
        return false;
    }
    notice.withdraw(kScreenNotice);
    picture.drawAt(piece.pixels, piece.offset);
    return true;
}

QImage CaptureServices::grabDesktop() {
    const QRect desktop = grabber.desktop();
    QImage shot(desktop.size(), QImage::Format_RGB32);
    shot.fill(Qt::black);
    const platform::ScreenPiece piece = grabber.grab(desktop);
    copyAtOrigin(shot, piece.pixels, piece.offset);
    return shot;
}

void DesktopGrab::start() {
    if (!s_.grabber.readable()) return s_.reportUnreadable(capScreenCaption());
    s_.minimizeWindow(&s_.window);
    s_.whenScreenReady(
        capScreenCaption(), [this] { finish(); }, nullptr);
}

void DesktopGrab::finish() {
    // Outer size = the screen, so the client area keeps all but the last 4
    // columns and rows. The picture is not cleared first.
    const QRect desktop = s_.grabber.desktop();
    s_.picture.setOuterSize(desktop.size());
    s_.grabIntoPicture(desktop);
    s_.restoreWindow(&s_.window);
    emit s_.captured(s_.picture.image());
    emit done();
}

WindowGrab::WindowGrab(CaptureServices& services) : QObject(&services), s_(services) {
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &WindowGrab::tick);
}

void WindowGrab::start() {
    if (!s_.grabber.readable()) return s_.reportUnreadable(capActiveWindowCaption());
    s_.minimizeWindow(&s_.window);
    if (!s_.grabber.picksWindows()) {
        Timer1->start();
        return;
    }
    // A desktop that does not tell which window is in front lets the user
    // pick one instead (the portal's own dialog).
    s_.grabber.prepare(platform::ScreenGrabber::Purpose::Window,
                       [this](const QString& failure) { pickedWindow(failure); });
}

void WindowGrab::pickedWindow(const QString& failure) {
    if (!failure.isEmpty()) {
        s_.restoreWindow(&s_.window);
        s_.notice.report(kWindowNotice,
                         QStringLiteral("%1: %2").arg(capActiveWindowCaption(), failure));
        return;
    }
    s_.notice.withdraw(kWindowNotice);
    const QImage window = s_.grabber.pickedWindow();
    s_.picture.cls();
    s_.picture.setOuterSize(
        QSize(app::twipsToPixels(app::kTwipsPerPixel * window.width() + s_.BorderPad),
              app::twipsToPixels(app::kTwipsPerPixel * window.height() + s_.BorderPad)));
    s_.picture.drawAt(window);
    emit s_.captured(s_.picture.image());
    s_.restoreWindow(&s_.window);
    s_.window.setFocus();
}

void WindowGrab::tick() {
    const std::optional<QRect> window = s_.inspector.foregroundWindow();
    s_.picture.cls();
    if (window) {
        s_.notice.withdraw(kWindowNotice);
        const int twipsWide = app::kTwipsPerPixel * window->width() + s_.BorderPad;
        const int twipsHigh = app::kTwipsPerPixel * window->height() + s_.BorderPad;
        s_.picture.setOuterSize(
            QSize(app::twipsToPixels(twipsWide), app::twipsToPixels(twipsHigh)));
        // The window's own picture from its top-left corner, as much as the
        // client area holds.
        s_.grabIntoPicture(
            s_.keptArea(window->x(), window->y(), twipsWide, twipsHigh).intersected(*window));
    } else {
        s_.notice.report(
            kWindowNotice,
            QStringLiteral("active window: the desktop does not tell which window is in front"));
    }
    if (++GrabCount == 2) {
        emit s_.captured(s_.picture.image());
        cancel();
        s_.restoreWindow(&s_.window);
        s_.window.setFocus();
    }
}

RegionGrab::RegionGrab(CaptureServices& services)
    : QObject(&services), s_(services), inFront_(services) {}

void RegionGrab::start() {
    if (!s_.grabber.readable()) return s_.reportUnreadable(capRectCaption());
    inFront_.Timer1->start();
    s_.minimizeWindow(&s_.window);
    s_.whenScreenReady(
        capRectCaption(), [this] { showSurface(); }, [this] { inFront_.cancel(); });
}

void RegionGrab::showSurface() {
    if (!Form2_) {
        Form2_ = new Form2(nullptr);
        Form2_->setAttribute(Qt::WA_DeleteOnClose);
        connect(Form2_, &Form2::regionChosen, this, &RegionGrab::regionChosen);
        connect(Form2_, &Form2::cancelled, this, &RegionGrab::stop);
    }
    Form2_->BorderPad = s_.BorderPad;
    Form2_->setScreenshot(s_.grabDesktop(), s_.grabber.desktop().topLeft());
    Form2_->setGeometry(s_.grabber.desktop());
    Form2_->showFullScreen();
    Form2_->raise();
    Form2_->activateWindow();
    Form2_->setCursor(Qt::CrossCursor);
    emit surfaceShown();
}

void RegionGrab::regionChosen(const Form2::Region& r) {
    // The surface's pixels are the desktop's, from where the surface stands.
    const QPoint origin = Form2_->mapToGlobal(QPoint(0, 0));
    const float left = r.left + static_cast<float>(origin.x());
    const float top = r.top + static_cast<float>(origin.y());
    s_.picture.setOuterSize(
        QSize(app::twipsToPixels(std::abs(r.width)), app::twipsToPixels(std::abs(r.height))));
    s_.picture.cls();
    // From the surface's own screenshot: the live screen would show the box.
    const QRect source =
        s_.keptArea(static_cast<std::int32_t>(left), static_cast<std::int32_t>(top),
                    static_cast<std::int32_t>(num::roundHalfEven(r.width)),
                    static_cast<std::int32_t>(num::roundHalfEven(r.height)));
    s_.picture.drawAt(
        Form2_->screenshot().copy(source.translated(-s_.grabber.desktop().topLeft())));
    emit s_.captured(s_.picture.image());
    auto text = [](float v) { return QString::fromStdString(num::formatSingle(v)); };
    emit chosen(text(r.width), text(r.height), text(left), text(top));
    s_.restoreWindow(&s_.window);
    Form2_->close();  // deletes itself
}

void RegionGrab::stop() {
    // The grabs of the window in front end with the selection: they would
    // catch the tool's own window.
    inFront_.cancel();
    if (Form2_) Form2_->close();
    s_.restoreWindow(&s_.window);
}

}  // namespace orv::ui

#include "app/ui/capture_sources.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QImageWriter>
#include <QMessageBox>
#include <QSaveFile>
#include <cstdlib>

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

CaptureSources::CaptureSources(const Parts& parts, platform::ScreenGrabber& grabber,
                               platform::WindowInspector& inspector)
    : QObject(&parts.window), parts_(parts), grabber_(grabber), inspector_(inspector) {
    Picture1 = makeControl<PictureBox>(&parts.window, "Picture1", {536, 376, 233, 113});
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &CaptureSources::Timer1_Timer);
}

void CaptureSources::minimizeWindow(QWidget* window) {
    if (inspector_.canMinimize()) {
        window->showMinimized();
    } else {
        window->hide();  // nothing on this desktop can minimise: hiding stands in
    }
}

void CaptureSources::restoreWindow(QWidget* window) {
    window->showNormal();
    window->raise();
    window->activateWindow();
}

void CaptureSources::afterWindowsSettle(std::function<void()> then) {
    QTimer::singleShot(kSettleMs, this, std::move(then));
}

QRect CaptureSources::keptArea(std::int32_t left, std::int32_t top, std::int32_t extentX,
                               std::int32_t extentY) const {
    const QSize client = Picture1->clientSize();
    const app::GrabArea a =
        app::grabArea(left, top, extentX, extentY, client.width(), client.height());
    return QRect(a.x, a.y, a.width, a.height);
}

void CaptureSources::reportUnreadable(const QString& what) {
    QString why = grabber_.whyUnreadable();
    if (why.isEmpty()) why = QStringLiteral("the desktop would not give its pixels");
    parts_.notice.report(kScreenNotice,
                         QStringLiteral("%1: the screen cannot be read (%2), so nothing is "
                                        "captured; \"开始采集\" still records the player's video")
                             .arg(what, why));
}

bool CaptureSources::grabIntoPicture1(const QRect& area) {
    if (area.isEmpty()) return true;
    const platform::ScreenPiece piece = grabber_.grab(area);
    if (piece.unreadable) {
        reportUnreadable(QStringLiteral("capture"));
        return false;
    }
    parts_.notice.withdraw(kScreenNotice);
    Picture1->drawAt(piece.pixels, piece.offset);
    return true;
}

void CaptureSources::aimedAtPlayer(QPoint playerOrigin) { playerOrigin_ = playerOrigin; }

bool CaptureSources::videoIsTheOnlySource() const {
    // Where the window cannot be placed, the screen does not show the player
    // where the rectangle was aimed.
    return !grabber_.readable() || !inspector_.canPlaceWindows();
}

bool CaptureSources::capturesFromVideo() const {
    return playerOrigin_ && (videoChosen_ || videoIsTheOnlySource());
}

bool CaptureSources::grabTick(std::int32_t left, std::int32_t top, std::int32_t extentX,
                              std::int32_t extentY) {
    // The picture's client area bounds what the screen copy keeps.
    Picture1->setOuterSize(
        QSize(app::twipsToPixels(std::abs(extentX)), app::twipsToPixels(std::abs(extentY))));
    Picture1->cls();
    const QRect area = keptArea(left, top, extentX, extentY);
    if (!capturesFromVideo()) return grabIntoPicture1(area);
    parts_.notice.withdraw(kScreenNotice);
    if (area.isEmpty()) return true;
    // The rectangle by its place relative to the player, cut from the
    // player's own picture: where the window stands no longer matters.
    const QImage panel = parts_.player.picture();
    const QRect relative = area.translated(-*playerOrigin_);
    const QRect kept = relative.intersected(panel.rect());
    if (!kept.isEmpty()) Picture1->drawAt(panel.copy(kept), kept.topLeft() - relative.topLeft());
    return true;
}

bool CaptureSources::grab(const app::CaptureRectValues& rect, Picture& picture) {
    if (!grabTick(rect.left, rect.top, rect.width, rect.height)) return false;
    toPicture(Picture1->image(), picture);
    return true;
}

QImage CaptureSources::grabDesktop() {
    const QRect desktop = grabber_.desktop();
    QImage shot(desktop.size(), QImage::Format_RGB32);
    shot.fill(Qt::black);
    const platform::ScreenPiece piece = grabber_.grab(desktop);
    copyAtOrigin(shot, piece.pixels, piece.offset);
    return shot;
}

void CaptureSources::CmdCapScreen_Click() {
    if (!grabber_.readable()) return reportUnreadable(kCapScreenCaption);
    minimizeWindow(&parts_.window);
    whenScreenReady(kCapScreenCaption, [this] { finishDesktopGrab(); });
}

void CaptureSources::whenScreenReady(const QString& what, std::function<void()> then) {
    grabber_.prepare(platform::ScreenGrabber::Purpose::Desktop,
                     [this, what, then = std::move(then)](const QString& failure) {
                         if (!failure.isEmpty()) {
                             Timer1->stop();
                             GrabCount = 0;
                             restoreWindow(&parts_.window);
                             parts_.notice.report(kScreenNotice,
                                                  QStringLiteral("%1: %2").arg(what, failure));
                             return;
                         }
                         // Once the tool's own window has left the screen's picture.
                         afterWindowsSettle([this, then] { grabber_.afterNextPicture(then); });
                     });
}

void CaptureSources::finishDesktopGrab() {
    // Outer size = the screen, so the client area keeps all but the last 4
    // columns and rows. The picture is not cleared first.
    const QRect desktop = grabber_.desktop();
    Picture1->setOuterSize(desktop.size());
    grabIntoPicture1(desktop);
    restoreWindow(&parts_.window);
    emit captured(Picture1->image());
    emit desktopGrabbed();
}

void CaptureSources::CmdCapActiveWindow_Click() {
    if (!grabber_.readable()) return reportUnreadable(kCapActiveWindowCaption);
    minimizeWindow(&parts_.window);
    if (!grabber_.picksWindows()) {
        Timer1->start();
        return;
    }
    // A desktop that does not tell which window is in front lets the user
    // pick one instead (the portal's own dialog).
    grabber_.prepare(platform::ScreenGrabber::Purpose::Window, [this](const QString& failure) {
        if (!failure.isEmpty()) {
            restoreWindow(&parts_.window);
            parts_.notice.report(kWindowNotice,
                                 QStringLiteral("%1: %2").arg(kCapActiveWindowCaption, failure));
            return;
        }
        parts_.notice.withdraw(kWindowNotice);
        const QImage window = grabber_.pickedWindow();
        Picture1->cls();
        Picture1->setOuterSize(
            QSize(app::twipsToPixels(app::kTwipsPerPixel * window.width() + BorderPad),
                  app::twipsToPixels(app::kTwipsPerPixel * window.height() + BorderPad)));
        Picture1->drawAt(window);
        emit captured(Picture1->image());
        restoreWindow(&parts_.window);
        parts_.window.setFocus();
    });
}

void CaptureSources::Timer1_Timer() {
    const std::optional<QRect> window = inspector_.foregroundWindow();
    Picture1->cls();
    if (window) {
        parts_.notice.withdraw(kWindowNotice);
        const int twipsWide = app::kTwipsPerPixel * window->width() + BorderPad;
        const int twipsHigh = app::kTwipsPerPixel * window->height() + BorderPad;
        Picture1->setOuterSize(QSize(app::twipsToPixels(twipsWide), app::twipsToPixels(twipsHigh)));
        // The window's own picture from its top-left corner, as much as the
        // client area holds.
        grabIntoPicture1(
            keptArea(window->x(), window->y(), twipsWide, twipsHigh).intersected(*window));
    } else {
        parts_.notice.report(
            kWindowNotice,
            QStringLiteral("active window: the desktop does not tell which window is in front"));
    }
    if (++GrabCount == 2) {
        emit captured(Picture1->image());
        GrabCount = 0;
        Timer1->stop();
        restoreWindow(&parts_.window);
        parts_.window.setFocus();
    }
}

void CaptureSources::CmdCapRect_Click() {
    if (!grabber_.readable()) return reportUnreadable(kCapRectCaption);
    Timer1->start();
    minimizeWindow(&parts_.window);
    whenScreenReady(kCapRectCaption, [this] { showCaptureSurface(); });
}

void CaptureSources::showCaptureSurface() {
    if (!Form2_) {
        Form2_ = new Form2(nullptr);
        Form2_->setAttribute(Qt::WA_DeleteOnClose);
        connect(Form2_, &Form2::regionChosen, this, &CaptureSources::regionChosen);
        connect(Form2_, &Form2::cancelled, this, &CaptureSources::regionCancelled);
    }
    Form2_->BorderPad = BorderPad;
    Form2_->setScreenshot(grabDesktop(), grabber_.desktop().topLeft());
    Form2_->setGeometry(grabber_.desktop());
    Form2_->showFullScreen();
    Form2_->raise();
    Form2_->activateWindow();
    Form2_->setCursor(Qt::CrossCursor);
    emit surfaceShown();
}

void CaptureSources::regionChosen(const Form2::Region& r) {
    playerOrigin_.reset();  // the clock now grabs a part of the desktop
    // The surface's pixels are the desktop's, from where the surface stands.
    const QPoint origin = Form2_->mapToGlobal(QPoint(0, 0));
    const float left = r.left + static_cast<float>(origin.x());
    const float top = r.top + static_cast<float>(origin.y());
    Picture1->setOuterSize(
        QSize(app::twipsToPixels(std::abs(r.width)), app::twipsToPixels(std::abs(r.height))));
    Picture1->cls();
    // From the surface's own screenshot: the live screen would show the box.
    const QRect source = keptArea(static_cast<std::int32_t>(left), static_cast<std::int32_t>(top),
                                  static_cast<std::int32_t>(num::roundHalfEven(r.width)),
                                  static_cast<std::int32_t>(num::roundHalfEven(r.height)));
    Picture1->drawAt(Form2_->screenshot().copy(source.translated(-grabber_.desktop().topLeft())));
    emit captured(Picture1->image());
    auto text = [](float v) { return QString::fromStdString(num::formatSingle(v)); };
    emit rectChosen(text(r.width), text(r.height), text(left), text(top));
    restoreWindow(&parts_.window);
    Form2_->close();  // deletes itself
}

void CaptureSources::regionCancelled() {
    // The active-window grabs the region button started end with it: they
    // would catch the tool's own window.
    Timer1->stop();
    GrabCount = 0;
    Form2_->close();
    restoreWindow(&parts_.window);
}

void CaptureSources::CmdClear_Click() { emit captured(QImage()); }

void CaptureSources::CmdSaveBmp_Click() {
    if (parts_.thumbnail.image().isNull()) {
        return parts_.messages.show(QStringLiteral(
            "Nothing to save: no picture has been captured, or the thumbnail was cleared."));
    }
    const QString name =
        askSaveName ? askSaveName()
                    : QFileDialog::getSaveFileName(&parts_.window, QStringLiteral("保存图片"),
                                                   QString(), QStringLiteral("(*.bmp)"), nullptr,
                                                   QFileDialog::DontConfirmOverwrite);
    if (name.isEmpty()) return;
    if (QFileInfo::exists(name)) {
        const bool replace =
            askOverwrite ? askOverwrite()
                         : QMessageBox::question(&parts_.window, QStringLiteral("文件覆盖"),
                                                 QStringLiteral("该文件已经存在，是否要覆盖？"),
                                                 QMessageBox::Yes | QMessageBox::No,
                                                 QMessageBox::No) == QMessageBox::Yes;
        if (!replace) return;
    }
    // Written beside the target and renamed, so an old file is never left half-written.
    QSaveFile file(name);
    QImageWriter writer(&file, "bmp");
    if (!file.open(QIODevice::WriteOnly) || !writer.write(parts_.thumbnail.image()) ||
        !file.commit()) {
        const QString why =
            file.error() != QFileDevice::NoError ? file.errorString() : writer.errorString();
        parts_.messages.show(
            QStringLiteral("Cannot save the picture as \"%1\": %2").arg(name, why));
    }
}

}  // namespace orv::ui

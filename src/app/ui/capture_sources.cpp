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

const QString kScreenNotice = QStringLiteral("screen");

}  // namespace

CaptureSources::CaptureSources(const Parts& parts, platform::ScreenGrabber& grabber,
                               platform::WindowInspector& inspector)
    : QObject(&parts.window), parts_(parts), grabber_(grabber), inspector_(inspector) {
    Picture1 = makeControl<PictureBox>(&parts.window, "Picture1", {536, 376, 233, 113});
    services_ = new CaptureServices(parts.window, parts.notice, grabber, inspector, *Picture1);
    desktop_ = new DesktopGrab(*services_);
    window_ = new WindowGrab(*services_);
    region_ = new RegionGrab(*services_);
    Timer1 = window_->Timer1;
    connect(services_, &CaptureServices::captured, this, &CaptureSources::captured);
    connect(desktop_, &DesktopGrab::done, this, &CaptureSources::desktopGrabbed);
    connect(region_, &RegionGrab::surfaceShown, this, &CaptureSources::surfaceShown);
    connect(region_, &RegionGrab::chosen, this,
            [this](const QString& width, const QString& height, const QString& left,
                   const QString& top) {
                playerOrigin_.reset();  // the clock now grabs a part of the desktop
                emit rectChosen(width, height, left, top);
            });
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
    const QRect area = services_->keptArea(left, top, extentX, extentY);
    if (!capturesFromVideo()) return services_->grabIntoPicture(area);
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

void CaptureSources::CmdClear_Click() { emit captured(QImage()); }

void CaptureSources::CmdSaveBmp_Click() {
    if (parts_.thumbnail.image().isNull()) {
        return parts_.messages.show(QStringLiteral(
            "Nothing to save: no picture has been captured, or the thumbnail was cleared."));
    }
    const QString name =
        askSaveName ? askSaveName()
                    : QFileDialog::getSaveFileName(&parts_.window, tr("保存图片"), QString(),
                                                   QStringLiteral("(*.bmp)"), nullptr,
                                                   QFileDialog::DontConfirmOverwrite);
    if (name.isEmpty()) return;
    if (QFileInfo::exists(name)) {
        const bool replace = askOverwrite
                                 ? askOverwrite()
                                 : QMessageBox::question(&parts_.window, tr("文件覆盖"),
                                                         tr("该文件已经存在，是否要覆盖？"),
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

#include "app/ui/player_panel.h"

#include "dib/video_scale.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QMimeData>
#include <QPainter>
#include <QSlider>
#include <QStyle>
#include <QToolButton>
#include <QVideoSink>
#include <QVideoWidget>

namespace orv::ui {
namespace {

QString clock(qint64 ms) {
    const qint64 s = ms / 1000;
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace

PlayerPanel::PlayerPanel(QWidget* parent) : QWidget(parent) {
    player_ = new QMediaPlayer(this);
    // Without a sound device an audio output would bring the player down.
    if (!QMediaDevices::audioOutputs().isEmpty()) {
        audio_ = new QAudioOutput(this);
        audio_->setVolume(kVolume / 100.0f);
        player_->setAudioOutput(audio_);
    }
    video_ = new QVideoWidget(this);
    video_->setAspectRatioMode(Qt::KeepAspectRatio);
    player_->setVideoOutput(video_);
    // Every frame the video area is given, kept for picture(); it may come
    // from the player's own thread.
    connect(
        video_->videoSink(), &QVideoSink::videoFrameChanged, this,
        [latest = latest_](const QVideoFrame& frame) {
            const std::lock_guard<std::mutex> hold(latest->lock);
            latest->frame = frame;
        },
        Qt::DirectConnection);

    playPause_ = new QToolButton(this);
    playPause_->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    playPause_->setAutoRaise(true);
    position_ = new QSlider(Qt::Horizontal, this);
    time_ = new QLabel(QStringLiteral("0:00"), this);
    playPause_->setAccessibleName(tr("播放/暂停"));
    position_->setAccessibleName(tr("位置"));
    QFont small = time_->font();
    small.setPixelSize(10);
    time_->setFont(small);

    connect(playPause_, &QToolButton::clicked, this, [this] {
        if (player_->playbackState() == QMediaPlayer::PlayingState) {
            player_->pause();
        } else {
            player_->play();
        }
    });
    connect(player_, &QMediaPlayer::playbackStateChanged, this, [this](auto state) {
        playPause_->setIcon(style()->standardIcon(
            state == QMediaPlayer::PlayingState ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
    });
    connect(player_, &QMediaPlayer::durationChanged, this,
            [this](qint64 d) { position_->setRange(0, static_cast<int>(d)); });
    connect(player_, &QMediaPlayer::positionChanged, this, &PlayerPanel::showPosition);
    connect(position_, &QSlider::sliderMoved, player_, &QMediaPlayer::setPosition);
    connect(player_, &QMediaPlayer::mediaStatusChanged, this, &PlayerPanel::onStatus);
    setAcceptDrops(true);
    // The player raises no dialog of its own; the panel stays empty and says why.
    connect(player_, &QMediaPlayer::errorOccurred, this, [this](auto, const QString& why) {
        // The player's pipeline can stop in its first moments on a race of its
        // own ("streaming stopped, reason not-linked") with a file it has just
        // loaded; such a file is loaded afresh once before the panel gives up.
        if (loaded_ && !retried_ && player_->position() < kStartMs) {
            retried_ = true;
            const QUrl url = player_->source();
            player_->setSource(QUrl());
            player_->setSource(url);
            return;
        }
        cannotPlay(player_->source().toLocalFile(),
                   why.isEmpty() ? QStringLiteral("not a video this player knows") : why);
    });
}

void PlayerPanel::setUrl(const QString& name) {
    const QString path = QDir::current().absoluteFilePath(name);
    const QUrl url = QUrl::fromLocalFile(path);
    if (!QFileInfo(path).isFile()) {
        player_->setSource(QUrl());  // whatever played before stops
        cannotPlay(path, QFileInfo::exists(path) ? QStringLiteral("it is not a file")
                                                 : QStringLiteral("there is no such file"));
        return;
    }
    retried_ = false;
    const bool failedBefore = player_->mediaStatus() == QMediaPlayer::InvalidMedia ||
                              player_->mediaStatus() == QMediaPlayer::NoMedia;
    if (player_->source() == url && !failedBefore) {
        player_->setPosition(0);
        player_->play();
        return;
    }
    loaded_ = false;
    setToolTip(QDir::toNativeSeparators(path));  // the file last opened
    // The same address that failed before is loaded afresh: the file may be
    // there now.
    if (player_->source() == url) player_->setSource(QUrl());
    player_->setSource(url);
}

void PlayerPanel::open(const QString& name) {
    lastOpened_ = QDir::current().absoluteFilePath(name);
    setUrl(lastOpened_);
}

void PlayerPanel::cannotPlay(const QString& path, const QString& why) {
    emit problem(QStringLiteral("cannot play \"%1\": %2").arg(path, why));
}

void PlayerPanel::dragEnterEvent(QDragEnterEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() == 1 && urls.front().isLocalFile()) event->acceptProposedAction();
}

void PlayerPanel::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() != 1 || !urls.front().isLocalFile()) return;
    event->acceptProposedAction();
    open(urls.front().toLocalFile());
}

void PlayerPanel::resizeEvent(QResizeEvent*) {
    const int top = height() - kStripHeight;
    video_->setGeometry(0, 0, width(), top);
    position_->setGeometry(2, top + 4, width() - 4, 16);
    playPause_->setGeometry(2, top + 24, 24, 24);
    time_->setGeometry(30, top + 28, width() - 32, 16);
}

namespace {

// The frame scaled to `size` straight from its planes, as the video widget
// samples them; null for a layout read otherwise.
QImage scaledFromPlanes(QVideoFrame frame, QSize size) {
    using F = QVideoFrameFormat;
    const F::PixelFormat format = frame.pixelFormat();
    const bool planar = format == F::Format_YUV420P || format == F::Format_YV12;
    const bool paired = format == F::Format_NV12 || format == F::Format_NV21;
    if ((!planar && !paired) || !frame.map(QVideoFrame::ReadOnly)) return {};
    YuvPlanes planes;
    planes.y = frame.bits(0);
    planes.yStride = frame.bytesPerLine(0);
    planes.width = frame.width();
    planes.height = frame.height();
    planes.chromaStride = frame.bytesPerLine(1);
    const bool swapped = format == F::Format_YV12 || format == F::Format_NV21;
    if (planar) {
        planes.cb = frame.bits(swapped ? 2 : 1);
        planes.cr = frame.bits(swapped ? 1 : 2);
    } else {
        planes.cb = frame.bits(1) + (swapped ? 1 : 0);
        planes.cr = frame.bits(1) + (swapped ? 0 : 1);
        planes.chromaStep = 2;
    }
    const F& f = frame.surfaceFormat();
    const YuvMatrix matrix = f.colorRange() == F::ColorRange_Full    ? YuvMatrix::Bt601Full
                             : f.colorSpace() == F::ColorSpace_BT709 ? YuvMatrix::Bt709
                                                                     : YuvMatrix::Bt601;
    QImage out(size, QImage::Format_RGB32);
    scaleYuvToRgb(planes, matrix, {out.bits(), out.width(), out.height(), out.bytesPerLine()});
    frame.unmap();
    return out;
}

}  // namespace

QImage PlayerPanel::videoAreaPicture(const QVideoFrame& frame) {
    const QRect area(QPoint(0, 0), video_->size());
    if (frame == drawnFrame_ && videoArea_.size() == area.size()) return videoArea_;
    QImage picture(area.size(), QImage::Format_RGB32);
    picture.fill(Qt::black);
    if (frame.isValid() && !frame.size().isEmpty()) {
        // The video widget's own fit: the frame scaled to the area with its
        // aspect kept, centred on the area's centre, sampled linearly.
        QRect shown(QPoint(0, 0), frame.size().scaled(area.size(), Qt::KeepAspectRatio));
        shown.moveCenter(area.center());
        QPainter p(&picture);
        const QImage direct = scaledFromPlanes(frame, shown.size());
        if (!direct.isNull()) {
            p.drawImage(shown.topLeft(), direct);
        } else {
            p.setRenderHint(QPainter::SmoothPixmapTransform);
            p.drawImage(shown, frame.toImage());
        }
    }
    drawnFrame_ = frame;
    videoArea_ = picture;
    return picture;
}

QImage PlayerPanel::picture() {
    QVideoFrame frame;
    {
        const std::lock_guard<std::mutex> hold(latest_->lock);
        frame = latest_->frame;
    }
    QImage out(size(), QImage::Format_RGB32);
    out.fill(palette().color(QPalette::Window));
    render(&out);  // the control strip; the video area is a window of its own
    QPainter p(&out);
    p.drawImage(video_->geometry().topLeft(), videoAreaPicture(frame));
    return out;
}

QUrl PlayerPanel::source() const { return player_->source(); }

void PlayerPanel::onStatus() {
    // Start once the media is loaded; starting right after setSource stalls
    // some pipelines.
    if (player_->mediaStatus() == QMediaPlayer::LoadedMedia &&
        player_->playbackState() != QMediaPlayer::PlayingState) {
        loaded_ = true;
        player_->play();
        emit loaded();
    }
}

void PlayerPanel::showPosition() {
    const qint64 at = player_->position();
    if (!position_->isSliderDown()) position_->setValue(static_cast<int>(at));
    time_->setText(clock(at));
}

}  // namespace orv::ui

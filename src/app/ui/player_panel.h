// The media player panel: a video area with a small control strip below it.
#pragma once

#include <QImage>
#include <QUrl>
#include <QVideoFrame>
#include <QWidget>
#include <memory>
#include <mutex>

class QAudioOutput;
class QLabel;
class QMediaPlayer;
class QSlider;
class QToolButton;
class QVideoWidget;

namespace orv::ui {

class PlayerPanel : public QWidget {
    Q_OBJECT
  public:
    explicit PlayerPanel(QWidget* parent = nullptr);

    // Height of the control strip under the video area.
    static constexpr int kStripHeight = 64;
    // Volume of the player, 0 .. 100.
    static constexpr int kVolume = 50;

    // Sets the media address, resolved against the current directory, and
    // starts playback as soon as the file is loaded. The same address again
    // plays it from the start, or loads it afresh when it failed before. A
    // missing or unplayable file leaves the panel empty and says why through
    // problem().
    void setUrl(const QString& name);
    // Plays a video the user chose (opened, dropped, or named on the command
    // line), and remembers it as the one "播放" plays again.
    void open(const QString& name);
    // The video "播放" plays: the last one opened, demo.avi until one is.
    const QString& lastOpened() const { return lastOpened_; }

    // What the panel shows now, at its own size in pixels: its controls, and
    // in the video area the latest frame that reached the video widget, fitted
    // as the widget fits it (aspect kept, centred, black bars). Made from the
    // video itself, so it is the same wherever the window stands, whatever
    // covers it, and on desktops whose screen cannot be read.
    QImage picture();

    QMediaPlayer* player() const { return player_; }
    QVideoWidget* videoArea() const { return video_; }
    QUrl source() const;

  signals:
    void problem(const QString& message);  // a file that cannot be played, and why
    void loaded();                         // the file is loaded and plays

  protected:
    void resizeEvent(QResizeEvent* event) override;
    // A video file dropped on the panel plays, as if chosen with "打开视频…".
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void cannotPlay(const QString& path, const QString& why);  // problem(), worded
    void onStatus();
    void showPosition();

    // The video area as it shows `frame`.
    QImage videoAreaPicture(const QVideoFrame& frame);

    // The latest frame the video area was given. It is set on the player's
    // own thread, which may still deliver one while the panel goes away, so
    // the delivery shares it rather than pointing into the panel.
    struct LatestFrame {
        std::mutex lock;
        QVideoFrame frame;
    };
    std::shared_ptr<LatestFrame> latest_ = std::make_shared<LatestFrame>();
    QVideoFrame drawnFrame_;  // the frame videoArea_ shows
    QImage videoArea_;        // the video area as last drawn

    // How long after the start of playback a failure counts as the player's
    // own start-up race, in ms of the video.
    static constexpr qint64 kStartMs = 1000;
    bool loaded_ = false;   // the source set last has loaded
    bool retried_ = false;  // and has been loaded afresh once after a failure
    QString lastOpened_ = QStringLiteral("demo.avi");  // what "播放" plays
    QMediaPlayer* player_;
    QAudioOutput* audio_ = nullptr;
    QVideoWidget* video_;
    QToolButton* playPause_;
    QSlider* position_;
    QLabel* time_;
};

}  // namespace orv::ui

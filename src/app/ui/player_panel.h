// The media player panel: a video area with a small control strip below it.
#pragma once

#include <QUrl>
#include <QWidget>

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

    QMediaPlayer* player_;
    QAudioOutput* audio_ = nullptr;
    QVideoWidget* video_;
    QToolButton* playPause_;
    QSlider* position_;
    QLabel* time_;
};

}  // namespace orv::ui

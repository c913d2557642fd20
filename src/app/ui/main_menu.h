// The main window's right-click menu: every action whose button lies below
// the window's visible edge, run exactly as its button would, and a way to
// open any video in the player.
#pragma once

#include <QList>
#include <QObject>
#include <QPoint>
#include <functional>

class QLineEdit;
class QMenu;
class QPushButton;

namespace orv::ui {

class CaptureSources;

class MainMenu : public QObject {
    Q_OBJECT
  public:
    // What the menu offers on `window`.
    struct Entries {
        QList<QList<QPushButton*>> buttons;  // an entry each; a separator between lists
        QLineEdit* transmitLine;             // "发送行 (TXD)" puts the focus there
        CaptureSources& sources;             // the video-source choice
    };
    MainMenu(QWidget& window, const Entries& entries);

    // The menu, as a right-click on the window's background opens it.
    QMenu* menu() const { return menu_; }
    // The video file chosen for "打开视频…" (empty: cancelled); tests put their
    // own chooser here.
    std::function<QString()> chooseVideo;

  signals:
    void videoChosen(const QString& file);  // "打开视频…" chose a file to play

  private:
    void openVideo();

    QWidget& window_;
    QMenu* menu_;
};

}  // namespace orv::ui

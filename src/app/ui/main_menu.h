// The main window's right-click menu: every action whose button lies below
// the window's visible edge, run exactly as its button would, and a way to
// open any video in the player.
#pragma once

#include <QObject>
#include <QPoint>
#include <functional>

class QMenu;

namespace orv::ui {

class Form1;

class MainMenu : public QObject {
    Q_OBJECT
  public:
    explicit MainMenu(Form1& form);

    // The menu, as a right-click on the window's background opens it.
    QMenu* menu() const { return menu_; }
    // The video file chosen for "打开视频…" (empty: cancelled); tests put their
    // own chooser here.
    std::function<QString()> chooseVideo;

  private:
    void openVideo();

    Form1& form_;
    QMenu* menu_;
};

}  // namespace orv::ui

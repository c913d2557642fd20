// Form1: the main window of ORV Tool.
#pragma once

#include <QWidget>

namespace orv::app {

// Main window: borderless, carries the player panel, capture controls, frame
// file box and serial panel.
class Form1 : public QWidget {
    Q_OBJECT
  public:
    explicit Form1(QWidget* parent = nullptr);

    // Design geometry in pixels.
    static constexpr int kLeft = 385;
    static constexpr int kTop = 74;
    static constexpr int kWidth = 684;
    static constexpr int kHeight = 184;
};

}  // namespace orv::app

// Form2: the capture surface, a full-screen frozen screenshot on which a
// region is marked with two presses.
#pragma once

#include <QImage>
#include <QWidget>
#include <cstdint>

namespace orv::ui {

class Form2 : public QWidget {
    Q_OBJECT
  public:
    explicit Form2(QWidget* parent = nullptr);

    // The finished selection, as the finishing press computed it.
    struct Region {
        float width;   // PressX: signed width, twips
        float height;  // PressY: signed height, twips
        float left;    // StartX: left edge, pixels
        float top;     // StartY: top edge, pixels
    };

    // The persistent surface: the screenshot the user selects on, whose
    // top-left pixel is the desktop pixel `origin`. Each pixel shows where it
    // is on the desktop, whichever monitor the surface covers.
    void setScreenshot(const QImage& screenshot, QPoint origin = QPoint(0, 0));
    const QImage& screenshot() const { return screenshot_; }

    // Twips added to the width and height (the main window's BorderPad).
    std::int16_t BorderPad = 0;

    void Form_MouseDown(QPoint pixel);  // first press starts the box, second finishes it
    void Form_MouseMove(QPoint pixel);  // redraws the rubber-band box
    void cancel();                      // Esc: the selection ends without a region

    float PressX = 0;  // last press, twips; after the finish the width
    float PressY = 0;  // last press, twips; after the finish the height
    float StartX = 0;  // corner where the box started, twips; after the finish pixels
    float StartY = 0;
    bool Drawing = false;  // a press was made and the box follows the mouse
    bool HasBox = false;   // the box was drawn since the first press

    // The box as shown over the screenshot, in pixels; empty when none.
    QRect shownBox() const { return box_; }

  signals:
    void regionChosen(const Form2::Region& region);  // the finishing press
    void cancelled();                                // Esc

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

  private:
    QImage screenshot_;
    QPoint origin_;
    QRect box_;
};

}  // namespace orv::ui

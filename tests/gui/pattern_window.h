// A borderless window that paints a known pattern in screen coordinates, so
// that tests can check grabs of the real screen pixel by pixel.
#pragma once

#include <QImage>
#include <QPainter>
#include <QWidget>

#include "app/platform/screen_grabber.h"

namespace orv::test {

using Pattern = QRgb (*)(int x, int y);

class PatternWindow : public QWidget {
  public:
    // `managed`: an ordinary window a window manager can activate, rather
    // than one that stays on top outside its control.
    PatternWindow(QRect at, Pattern paint, bool managed = false)
        : QWidget(nullptr, managed ? Qt::Window | Qt::FramelessWindowHint
                                   : Qt::Window | Qt::FramelessWindowHint |
                                         Qt::WindowStaysOnTopHint | Qt::X11BypassWindowManagerHint),
          paint_(paint) {
        setGeometry(at);
    }
    // What the screen shows of `area` when a window with `paint` covers it.
    static QImage expected(const QRect& area, Pattern paint) {
        QImage image(area.size(), QImage::Format_RGB32);
        for (int y = 0; y < area.height(); ++y) {
            for (int x = 0; x < area.width(); ++x) {
                image.setPixel(x, y, paint(area.x() + x, area.y() + y));
            }
        }
        return image;
    }
    void setPattern(Pattern paint) {
        paint_ = paint;
        repaint();
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).drawImage(0, 0, expected(QRect(pos(), size()), paint_));
    }

  private:
    Pattern paint_;
};

// Whether the server shows `paint` at the corners of `area` yet.
inline bool showing(const QRect& area, Pattern paint) {
    platform::QtScreenGrabber screen;
    for (QPoint p : {area.topLeft(), area.bottomRight()}) {
        const platform::ScreenPiece piece = screen.grab(QRect(p, QSize(1, 1)));
        if (piece.pixels.isNull() || piece.pixels.pixel(0, 0) != paint(p.x(), p.y())) return false;
    }
    return true;
}

}  // namespace orv::test

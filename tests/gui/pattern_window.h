// A borderless window painting a pattern in screen coordinates, to check grabs against.
#pragma once

#include <QPainter>
#include <QWidget>

#include "tool_fixture.h"

namespace orv::test {

using Pattern = QRgb (*)(int x, int y);

class PatternWindow : public QWidget {
  public:
    // `managed`: one a window manager can activate, rather than one on top outside its control.
    PatternWindow(QRect at, Pattern paint, bool managed = false)
        : QWidget(nullptr, managed ? Qt::Window | Qt::FramelessWindowHint
                                   : Qt::Window | Qt::FramelessWindowHint |
                                         Qt::WindowStaysOnTopHint | Qt::X11BypassWindowManagerHint),
          paint_(paint) {
        setGeometry(at);
    }
    void setPattern(Pattern paint) {
        paint_ = paint;
        repaint();
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).drawImage(0, 0, picture(QRect(pos(), size()), paint_));
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

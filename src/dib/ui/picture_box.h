// PictureBox: a picture control with a persistent drawing surface.
#pragma once

#include <QImage>
#include <QWidget>
#include <cstdint>

#include "dib/frame_pipeline.h"
#include "dib/transfer.h"
#include "lcd/frame.h"

namespace orv::ui {

// A picture box whose drawing goes to a backing bitmap (a QImage in
// Format_RGB32, the size of the client area). Clearing, setting pixels and the
// grid transfers all work on that bitmap; its current content is the "image".
class PictureBox : public QWidget {
    Q_OBJECT
  public:
    enum class Border { None, Sunken };  // BorderStyle: none, or a sunken 2-pixel frame

    explicit PictureBox(QWidget* parent = nullptr);

    void setBorder(Border border);
    Border border() const { return border_; }
    int borderWidth() const { return border_ == Border::None ? 0 : 2; }

    // Sets the outer size (border included); the backing bitmap follows at once.
    void setOuterSize(QSize size);

    // Client area in pixels (ScaleWidth, ScaleHeight).
    QSize clientSize() const {
        fitBacking();
        return image_.size();
    }

    void setBackColor(QColor colour);
    QColor backColor() const { return backColor_; }

    // Cls: the background colour, with the assigned picture drawn over it.
    void cls();
    // PSet with a colour value as the platform encodes it (red in the lowest byte).
    void pset(int x, int y, std::uint32_t colourValue);

    // Assigns a picture: the surface shows it from its top-left corner, and
    // pictureChanged() is emitted before this returns.
    void setPicture(const QImage& picture);
    const QImage& picture() const { return picture_; }

    // The backing bitmap: what the box currently shows, at client size.
    const QImage& image() const {
        fitBacking();
        return image_;
    }
    QImage& image() {
        fitBacking();
        return image_;
    }

    // The backing bitmap as a surface for GetData and DrawPic.
    SurfaceView surface();

    // Copies `source` onto the backing bitmap with its top-left corner at
    // `at`, clipped to the client area (a plain source copy).
    void drawAt(const QImage& source, QPoint at = QPoint(0, 0));

    // Shows the backing bitmap: one paint once the running handler is done,
    // and none when nothing changed since the last paint or the window is
    // minimised (it is painted whole when it comes back).
    void refresh();

  signals:
    void pictureChanged();  // a new picture was assigned
    void clicked();         // pressed and released with the left button

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    // Keeps the backing bitmap at the client size, also before the first show.
    void fitBacking() const;

    void repaintIfChanged();
    // Runs the refreshes asked for since the last turn of the event loop.
    static void refreshAll();

    Border border_ = Border::Sunken;
    QColor backColor_;
    QImage picture_;
    mutable QImage image_;
    QImage painted_;  // what the last paint showed
    bool refreshPending_ = false;
    bool pressed_ = false;
};

// Copies `source` onto `target` with its top-left corner at `at`, clipped;
// `target` is Format_RGB32, `source` is converted to it where needed.
void copyAtOrigin(QImage& target, const QImage& source, QPoint at = QPoint(0, 0));

// A picture's pixels for the frame pipeline, as a surface would hold them,
// and back.
Picture toPicture(const QImage& image);
// The same into `into`, reusing its storage.
void toPicture(const QImage& image, Picture& into);
QImage toImage(const Picture& picture);

// Paints the one-bit frame into `box` one pixel per frame pixel, entry by
// entry as colour values: frame column c at x = c + 1, row r at y = r; light
// entries (65535) show yellow, dark ones black. Nothing else is touched.
void paintMonoFrame(PictureBox& box, const MonoFrameArray& MonoFrame);

}  // namespace orv::ui

#include "dib/ui/picture_box.h"

#include "common/ui/widgets.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QPointer>
#include <algorithm>
#include <cstring>
#include <vector>

namespace orv::ui {

void copyAtOrigin(QImage& target, const QImage& source, QPoint at) {
    if (source.isNull() || target.isNull()) return;
    const QImage rgb = source.format() == QImage::Format_RGB32
                           ? source
                           : source.convertToFormat(QImage::Format_RGB32);
    // The part of the source that lands inside the target.
    const QRect inside = QRect(at, rgb.size()).intersected(target.rect());
    if (inside.isEmpty()) return;
    const int bytes = inside.width() * 4;
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        std::memcpy(target.scanLine(y) + inside.left() * 4,
                    rgb.constScanLine(y - at.y()) + (inside.left() - at.x()) * 4, bytes);
    }
}

PictureBox::PictureBox(QWidget* parent)
    : QWidget(parent), backColor_(palette().color(QPalette::Button)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    fitBacking();
}

void PictureBox::setBorder(Border border) {
    if (border_ == border) return;
    border_ = border;
    fitBacking();
    update();
}

void PictureBox::setOuterSize(QSize size) {
    resize(size);
    fitBacking();
}

void PictureBox::setBackColor(QColor colour) {
    backColor_ = colour;
    update();
}

void PictureBox::cls() {
    fitBacking();
    image_.fill(backColor_);
    copyAtOrigin(image_, picture_);
    refresh();
}

void PictureBox::pset(int x, int y, std::uint32_t colourValue) {
    fitBacking();
    if (x < 0 || y < 0 || x >= image_.width() || y >= image_.height()) return;
    const QRgb rgb =
        qRgb(colourValue & 0xFF, (colourValue >> 8) & 0xFF, (colourValue >> 16) & 0xFF);
    reinterpret_cast<QRgb*>(image_.scanLine(y))[x] = rgb;
    refresh();
}

void PictureBox::setPicture(const QImage& picture) {
    picture_ = picture;
    cls();
    emit pictureChanged();
}

SurfaceView PictureBox::surface() {
    fitBacking();
    return SurfaceView{image_.bits(), image_.width(), image_.height(), image_.bytesPerLine()};
}

void PictureBox::drawAt(const QImage& source, QPoint at) {
    fitBacking();
    copyAtOrigin(image_, source, at);
    refresh();
}

namespace {

// The pictures waiting for their refresh. All of them share one posted call,
// however many a tick touched: every posted event costs a wake-up of the
// event loop.
struct RefreshQueue {
    std::vector<QPointer<PictureBox>> boxes;
    bool posted = false;
};

RefreshQueue& refreshQueue() {
    static RefreshQueue queue;
    return queue;
}

}  // namespace

void PictureBox::refresh() {
    if (refreshPending_) return;
    refreshPending_ = true;
    RefreshQueue& queue = refreshQueue();
    queue.boxes.emplace_back(this);
    if (queue.posted) return;
    queue.posted = true;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] { refreshAll(); }, Qt::QueuedConnection);
}

void PictureBox::refreshAll() {
    RefreshQueue& queue = refreshQueue();
    const std::vector<QPointer<PictureBox>> boxes = std::move(queue.boxes);
    queue.boxes.clear();
    queue.posted = false;
    for (const QPointer<PictureBox>& box : boxes) {
        if (box) box->repaintIfChanged();
    }
}

void PictureBox::repaintIfChanged() {
    refreshPending_ = false;
    // A minimised window is painted afresh when it comes back; an unchanged
    // picture needs no paint at all.
    if (window()->isMinimized() || (!painted_.isNull() && sameBytes(image_, painted_))) return;
    update();
}

void PictureBox::fitBacking() const {
    const QSize client(std::max(0, width() - 2 * borderWidth()),
                       std::max(0, height() - 2 * borderWidth()));
    if (!image_.isNull() && image_.size() == client) return;
    // The new surface keeps what was drawn; the assigned picture shows
    // wherever the old surface did not reach.
    QImage fresh(client, QImage::Format_RGB32);
    fresh.fill(backColor_);
    copyAtOrigin(fresh, picture_);
    copyAtOrigin(fresh, image_);
    image_ = fresh;
}

void PictureBox::paintEvent(QPaintEvent*) {
    fitBacking();
    QPainter p(this);
    const int b = borderWidth();
    p.drawImage(b, b, image_);
    painted_ = image_;
    if (b > 0) {
        const QPalette& pal = palette();
        p.setPen(pal.color(QPalette::Dark));  // sunken: dark top and left
        p.drawLine(0, 0, width() - 1, 0);
        p.drawLine(0, 0, 0, height() - 1);
        p.setPen(pal.color(QPalette::Shadow));
        p.drawLine(1, 1, width() - 2, 1);
        p.drawLine(1, 1, 1, height() - 2);
        p.setPen(pal.color(QPalette::Light));
        p.drawLine(0, height() - 1, width() - 1, height() - 1);
        p.drawLine(width() - 1, 0, width() - 1, height() - 1);
        p.setPen(pal.color(QPalette::Midlight));
        p.drawLine(1, height() - 2, width() - 2, height() - 2);
        p.drawLine(width() - 2, 1, width() - 2, height() - 2);
    }
}

void PictureBox::resizeEvent(QResizeEvent*) { fitBacking(); }

void PictureBox::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
}

void PictureBox::mouseReleaseEvent(QMouseEvent* event) {
    if (pressed_ && event->button() == Qt::LeftButton &&
        rect().contains(event->position().toPoint())) {
        emit clicked();
    }
    pressed_ = false;
}

Picture toPicture(const QImage& image) {
    Picture p;
    toPicture(image, p);
    return p;
}

void toPicture(const QImage& image, Picture& into) {
    const QImage rgb = image.format() == QImage::Format_RGB32
                           ? image
                           : image.convertToFormat(QImage::Format_RGB32);
    into.width = rgb.width();
    into.height = rgb.height();
    into.pixels.resize(static_cast<std::size_t>(rgb.width()) *
                       static_cast<std::size_t>(rgb.height()));
    for (int y = 0; y < rgb.height(); ++y) {
        std::memcpy(into.pixels.data() + static_cast<std::size_t>(y) * into.width,
                    rgb.constScanLine(y), static_cast<std::size_t>(into.width) * 4);
    }
}

QImage toImage(const Picture& picture) {
    return QImage(reinterpret_cast<const uchar*>(picture.pixels.data()), picture.width,
                  picture.height, picture.width * 4, QImage::Format_RGB32)
        .copy();
}

void paintMonoFrame(PictureBox& box, const MonoFrameArray& MonoFrame) {
    std::size_t i = 0;
    for (int x = 1; x <= 128; ++x) {
        for (int y = 1; y <= 64; ++y)
            box.pset(x, 64 - y, static_cast<std::uint32_t>(MonoFrame[i++]));
    }
}

}  // namespace orv::ui

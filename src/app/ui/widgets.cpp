#include "app/ui/widgets.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStringList>
#include <cstdio>

namespace orv::ui {

void ClickLabel::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    event->accept();
}

void ClickLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (pressed_ && event->button() == Qt::LeftButton &&
        rect().contains(event->position().toPoint())) {
        emit clicked();
    }
    pressed_ = false;
    event->accept();
}

void ImageView::setImage(const QImage& image) {
    image_ = image;
    update();
}

void ImageView::paintEvent(QPaintEvent*) {
    if (image_.isNull()) return;
    QPainter p(this);
    p.drawImage(rect(), image_);
}

Lamp::Lamp(QWidget* parent) : QWidget(parent), colour_(palette().color(QPalette::Base)) {}

void Lamp::setColour(QColor colour) {
    colour_ = colour;
    update();
}

void Lamp::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), colour_);
    p.setPen(palette().color(QPalette::WindowText));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

NoticeLine::NoticeLine(QWidget* parent) : QLabel(parent) {
    setStyleSheet(QStringLiteral("color: rgb(192, 0, 0);"));
    QFont f = font();
    f.setPixelSize(10);
    setFont(f);
    hide();
}

bool NoticeLine::report(const QString& key, const QString& message) {
    if (notices_.value(key) == message) return false;
    notices_[key] = message;
    std::fprintf(stderr, "orv-tool: %s\n", message.toLocal8Bit().constData());
    refresh();
    return true;
}

void NoticeLine::withdraw(const QString& key) {
    if (notices_.remove(key) > 0) refresh();
}

void NoticeLine::refresh() {
    const QStringList all = notices_.values();
    setText(all.join(QStringLiteral("; ")));
    setToolTip(all.join(QStringLiteral("\n")));
    setVisible(!all.isEmpty());
}

}  // namespace orv::ui

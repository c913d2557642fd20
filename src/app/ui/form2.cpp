#include "app/ui/form2.h"

#include <QMouseEvent>
#include <QPainter>
#include <QShortcut>
#include <algorithm>

#include "app/capture_clock.h"
#include "common/numbers.h"

namespace orv::ui {
namespace {

constexpr float kTwips = static_cast<float>(app::kTwipsPerPixel);

}  // namespace

Form2::Form2(QWidget* parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::Tool) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Form2"));
    setCursor(Qt::CrossCursor);
    setMouseTracking(true);  // moves count with or without a button held
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(478, 392);
    // Esc cancels whichever of the tool's windows is in front: the main window
    // comes back over the surface two seconds into a selection.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::ApplicationShortcut);
    connect(escape, &QShortcut::activated, this, &Form2::cancel);
}

void Form2::cancel() {
    Drawing = false;
    HasBox = false;
    box_ = QRect();
    emit cancelled();
}

void Form2::setScreenshot(const QImage& screenshot, QPoint origin) {
    screenshot_ = screenshot;
    origin_ = origin;
    update();
}

void Form2::Form_MouseDown(QPoint pixel) {
    const bool boxed = HasBox;
    PressX = static_cast<float>(pixel.x()) * kTwips;
    PressY = static_cast<float>(pixel.y()) * kTwips;
    Drawing = true;
    if (!boxed) return;

    Region r;
    PressX = PressX - StartX + static_cast<float>(BorderPad);
    PressY = PressY - StartY + static_cast<float>(BorderPad);
    StartX = static_cast<float>(static_cast<std::int32_t>(num::roundHalfEven(StartX)) /
                                app::kTwipsPerPixel);
    StartY = static_cast<float>(static_cast<std::int32_t>(num::roundHalfEven(StartY)) /
                                app::kTwipsPerPixel);
    r.width = PressX;
    r.height = PressY;
    r.left = StartX;
    r.top = StartY;
    Drawing = false;
    HasBox = false;
    box_ = QRect();
    update();
    emit regionChosen(r);
}

void Form2::Form_MouseMove(QPoint pixel) {
    // The box is drawn over the screenshot, never into it.
    box_ = QRect();
    if (Drawing) {
        const QPoint corner(static_cast<int>(PressX / kTwips), static_cast<int>(PressY / kTwips));
        box_ = QRect(QPoint(std::min(corner.x(), pixel.x()), std::min(corner.y(), pixel.y())),
                     QPoint(std::max(corner.x(), pixel.x()), std::max(corner.y(), pixel.y())));
        StartX = PressX;
        StartY = PressY;
        HasBox = true;
    }
    update();
}

void Form2::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
    p.drawImage(origin_ - mapToGlobal(QPoint(0, 0)), screenshot_);
    if (!box_.isNull()) {
        p.setPen(QPen(palette().color(QPalette::ButtonText), 1));
        // A 1-pixel outline through both corners: drawRect strokes one pixel
        // beyond a rectangle's right and bottom edges.
        p.drawRect(box_.adjusted(0, 0, -1, -1));
    }
}

void Form2::mousePressEvent(QMouseEvent* event) { Form_MouseDown(event->position().toPoint()); }

void Form2::mouseMoveEvent(QMouseEvent* event) { Form_MouseMove(event->position().toPoint()); }

}  // namespace orv::ui

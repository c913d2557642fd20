#include "common/ui/widgets.h"

#include <QDir>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStringList>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstring>

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

bool sameBytes(const QImage& a, const QImage& b) {
    if (a.isNull() || b.isNull()) return a.isNull() == b.isNull();
    if (a.cacheKey() == b.cacheKey()) return true;
    if (a.size() != b.size() || a.format() != b.format()) return false;
    const auto bytes = static_cast<std::size_t>(a.width()) * a.depth() / 8;
    for (int y = 0; y < a.height(); ++y) {
        if (std::memcmp(a.constScanLine(y), b.constScanLine(y), bytes) != 0) return false;
    }
    return true;
}

void ImageView::setImage(const QImage& image) {
    if (sameBytes(image, image_)) return;  // nothing to paint
    image_ = image;
    // Also while the window is minimised or hidden: the paint then waits
    // until it is back, rather than leaving the old picture on show.
    update();
}

void ImageView::paintEvent(QPaintEvent*) {
    if (image_.isNull()) return;
    QPainter p(this);
    p.drawImage(rect(), image_);
}

PacedLabel::PacedLabel(QWidget* parent) : QWidget(parent) {
    // It paints its whole box, so nothing under it is painted again with it.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PacedLabel::setText(const QString& text) {
    text_ = text;
    if (pending_ || text_ == shown_) return;
    showSoon();
}

void PacedLabel::showSoon() {
    update();
    pending_ = true;
    // Changes within a quarter of a second are shown together at its end.
    QTimer::singleShot(250, this, [this] {
        pending_ = false;
        if (text_ != shown_) showSoon();
    });
}

void PacedLabel::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    p.fillRect(event->rect(), palette().color(QPalette::Window));
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, text_);
    shown_ = text_;
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

QString NoticeLine::shownText() const {
    return fontMetrics().elidedText(text(), Qt::ElideMiddle, contentsRect().width());
}

void NoticeLine::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(contentsRect(), static_cast<int>(alignment()), shownText());
}

void keepOnScreen(QWidget* window) {
    const QScreen* screen = window->screen();
    if (!screen) return;
    const QRect free = screen->availableGeometry();
    const QRect at = window->frameGeometry();  // where move() puts it
    const int x = std::max(free.left(), std::min(at.x(), free.right() + 1 - at.width()));
    const int y = std::max(free.top(), std::min(at.y(), free.bottom() + 1 - at.height()));
    window->move(x, y);
}

PathBox::PathBox(const QString& text, QWidget* parent) : QLineEdit(text, parent) {
    auto tip = [this] { setToolTip(QDir::toNativeSeparators(this->text())); };
    connect(this, &QLineEdit::textChanged, this, tip);
    tip();
}

QRect PathBox::textArea() const {
    QStyleOptionFrame option;
    initStyleOption(&option);
    const QRect contents = style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
    return contents.marginsRemoved(textMargins()).adjusted(2, 0, -2, 0);  // QLineEdit's own margin
}

QString PathBox::shownText() const {
    if (hasFocus()) return text();
    return fontMetrics().elidedText(text(), Qt::ElideLeft, textArea().width());
}

void PathBox::paintEvent(QPaintEvent* event) {
    const QString shown = shownText();
    if (shown == text()) return QLineEdit::paintEvent(event);
    QPainter p(this);
    QStyleOptionFrame option;
    initStyleOption(&option);
    style()->drawPrimitive(QStyle::PE_PanelLineEdit, &option, &p, this);
    p.setPen(palette().color(QPalette::Text));
    p.drawText(textArea(), Qt::AlignLeft | Qt::AlignVCenter, shown);
}

MessageBoxes::MessageBoxes(QWidget* owner, QString title)
    : owner_(owner), title_(std::move(title)) {}

void MessageBoxes::show(const QString& message) {
    last_ = message;
    ++count_;
    if (!box_) {
        box_ = new QMessageBox(QMessageBox::Warning, title_, QString(), QMessageBox::Ok, owner_);
        box_->setWindowModality(Qt::NonModal);
    }
    box_->setText(message);
    box_->show();
}

namespace {

// Moves its window while the left button drags the window's own surface.
class DragMover : public QObject {
  public:
    explicit DragMover(QWidget* window) : QObject(window), window_(window) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != window_) return false;
        auto* mouse = static_cast<QMouseEvent*>(event);
        switch (event->type()) {
            case QEvent::MouseButtonPress:
                if (mouse->button() != Qt::LeftButton) return false;
                dragging_ = true;
                offset_ = mouse->globalPosition().toPoint() - window_->frameGeometry().topLeft();
                return true;
            case QEvent::MouseMove:
                if (!dragging_ || !(mouse->buttons() & Qt::LeftButton)) return false;
                window_->move(mouse->globalPosition().toPoint() - offset_);
                return true;
            case QEvent::MouseButtonRelease:
                if (mouse->button() == Qt::LeftButton) dragging_ = false;
                return false;
            default:
                return false;
        }
    }

  private:
    QWidget* window_;
    bool dragging_ = false;
    QPoint offset_;
};

}  // namespace

void dragByBackground(QWidget* window) { window->installEventFilter(new DragMover(window)); }

QColor backColour(const QLabel* label) { return label->palette().color(QPalette::Window); }

void setBackColour(QLabel* label, QColor colour) {
    QPalette pal = label->palette();
    pal.setColor(QPalette::Window, colour);
    label->setPalette(pal);
    label->setAutoFillBackground(true);
}

QMenu* buttonMenu(QWidget& window, const QList<QList<QPushButton*>>& buttons) {
    auto* menu = new QMenu(&window);
    for (qsizetype g = 0; g < buttons.size(); ++g) {
        if (g > 0) menu->addSeparator();
        for (QPushButton* b : buttons[g]) menu->addAction(b->text(), b, &QPushButton::click);
    }
    window.setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(&window, &QWidget::customContextMenuRequested, menu,
                     [menu, &window](QPoint at) { menu->popup(window.mapToGlobal(at)); });
    return menu;
}

}  // namespace orv::ui

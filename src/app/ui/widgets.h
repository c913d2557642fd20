// Small controls of the main window.
#pragma once

#include <QImage>
#include <QLabel>
#include <QMap>
#include <QWidget>

namespace orv::ui {

// A label that acts as a button: clicked() on a left-button release inside it.
class ClickLabel : public QLabel {
    Q_OBJECT
  public:
    using QLabel::QLabel;
  signals:
    void clicked();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    bool pressed_ = false;
};

// A picture shown stretched to the control's box; keeps the full picture.
class ImageView : public QWidget {
    Q_OBJECT
  public:
    using QWidget::QWidget;
    void setImage(const QImage& image);
    const QImage& image() const { return image_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QImage image_;
};

// An opaque square lamp filled with one colour.
class Lamp : public QWidget {
    Q_OBJECT
  public:
    explicit Lamp(QWidget* parent = nullptr);
    void setColour(QColor colour);
    QColor colour() const { return colour_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QColor colour_;
};

// One line of non-modal reports, each kept under a key until it is withdrawn;
// a report that is already shown is not repeated.
class NoticeLine : public QLabel {
    Q_OBJECT
  public:
    explicit NoticeLine(QWidget* parent = nullptr);
    // Shows `message` under `key`; returns false when it was shown already.
    bool report(const QString& key, const QString& message);
    void withdraw(const QString& key);
    bool has(const QString& key) const { return notices_.contains(key); }

  private:
    void refresh();
    QMap<QString, QString> notices_;
};

}  // namespace orv::ui

// Small controls and helpers shared by the windows.
#pragma once

#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QMap>
#include <QPointer>
#include <QWidget>
#include <utility>

class QMessageBox;

class QMenu;
class QPushButton;

namespace orv::ui {

// Makes a control of `parent` with its design name (its objectName, so that
// tests and accessibility tools find it) and its place in pixels. `args` go
// to the control's constructor before the parent.
template <class Control, class... Args>
Control* makeControl(QWidget* parent, const char* name, QRect at, Args&&... args) {
    auto* control = new Control(std::forward<Args>(args)..., parent);
    control->setObjectName(QLatin1String(name));
    control->setGeometry(at);
    return control;
}

// Moves a window, as far as it fits, into the free area of the screen it
// is on, so that a design place beyond a small or scaled screen's edge does
// not leave controls out of reach.
void keepOnScreen(QWidget* window);

// Whether two pictures hold the same bytes: a cheap test for "nothing to
// paint" (a picture that differs only in the unused byte counts as changed).
bool sameBytes(const QImage& a, const QImage& b);

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

// A caption that changes with every frame (a count): its text is current at
// once, and it is painted at most four times a second (still a running
// count to the eye), since every paint of the window costs more than a
// capture tick.
class PacedLabel : public QWidget {
    Q_OBJECT
  public:
    explicit PacedLabel(QWidget* parent = nullptr);
    void setText(const QString& text);
    const QString& text() const { return text_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void showSoon();  // paints now, and once more at the end of the pause if need be

    QString text_;
    QString shown_;
    bool pending_ = false;
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
    // The line as painted: the whole text where it fits, else its start and
    // end with "…" in the middle (the whole text is in the tooltip).
    QString shownText() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void refresh();
    QMap<QString, QString> notices_;
};

// A box for a file path: while it is not being edited and the path is wider
// than the box, it shows the path's end (the file name) after a "…"; the
// whole path is in its tooltip.
class PathBox : public QLineEdit {
    Q_OBJECT
  public:
    PathBox(const QString& text, QWidget* parent = nullptr);
    // The text as painted while the box is not being edited.
    QString shownText() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QRect textArea() const;  // where the line's text goes
};

// The message boxes of a window: non-modal, one at a time (a new message
// replaces the one on show), so that the capture clock never waits for them.
class MessageBoxes {
  public:
    MessageBoxes(QWidget* owner, QString title);
    void show(const QString& message);
    // The last message shown, empty when none.
    const QString& last() const { return last_; }
    // How many messages were shown.
    int count() const { return count_; }

  private:
    QWidget* owner_;
    QString title_;
    QPointer<QMessageBox> box_;
    QString last_;
    int count_ = 0;
};

// Lets the user move a window without a title bar by dragging its
// background with the left button.
void dragByBackground(QWidget* window);

// A right-click menu on `window`'s background whose entries press `buttons`
// (an entry each, a separator between the lists), so that each does exactly
// what its button does: for buttons that lie below the window's visible edge.
QMenu* buttonMenu(QWidget& window, const QList<QList<QPushButton*>>& buttons);

// Background colour of a label (its palette's window colour), and setting it.
QColor backColour(const QLabel* label);
void setBackColour(QLabel* label, QColor colour);

}  // namespace orv::ui

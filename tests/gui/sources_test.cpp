// The capture sources against a real X server: cancelling a region, the whole
// desktop, and the window in front.
#include <QApplication>
#include <QPainter>
#include <QtTest>

#include "tool_fixture.h"

using namespace orv;
using namespace orv::ui;
using orv::test::control;

namespace {

// The longest wait for the X server and the window manager: far beyond what a
// loaded machine takes, so that only a fault reaches it.
constexpr int kPatienceMs = 30000;

QRgb pattern(int x, int y) { return qRgb((x * 7) % 256, (y * 5) % 256, (x + y) % 256); }
QRgb otherPattern(int x, int y) { return qRgb(255 - (x % 256), 40, y % 256); }

using Pattern = QRgb (*)(int x, int y);

// A borderless window painting a pattern in screen coordinates; `managed`: one
// a window manager can activate, rather than one on top outside its control.
class PatternWindow : public QWidget {
  public:
    PatternWindow(QRect at, Pattern paint, bool managed = false)
        : QWidget(nullptr, managed ? Qt::Window | Qt::FramelessWindowHint
                                   : Qt::Window | Qt::FramelessWindowHint |
                                         Qt::WindowStaysOnTopHint | Qt::X11BypassWindowManagerHint),
          paint_(paint) {
        setGeometry(at);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).drawImage(0, 0, test::picture(QRect(pos(), size()), paint_));
    }

  private:
    Pattern paint_;
};

// Whether the server shows `paint` over `area` yet.
bool showing(const QRect& area, Pattern paint) {
    return platform::QtScreenGrabber().grab(area).pixels == test::picture(area, paint);
}

}  // namespace

class SourcesTest : public QObject {
    Q_OBJECT
  private:
    std::unique_ptr<orv::test::Tool> tool_;
    Form1* form_ = nullptr;
    std::unique_ptr<PatternWindow> cover_;

    PictureBox* picture1() const { return control<PictureBox>(form_, "Picture1"); }
    ImageView* image1() const { return control<ImageView>(form_, "Image1"); }

    // Minimised where a window manager runs, hidden where none does.
    bool offScreen() const { return !form_->isVisible() || form_->isMinimized(); }

  private slots:
    void init() {  // the pattern over the screen, the main window above it
        tool_ = std::make_unique<orv::test::Tool>();
        form_ = tool_->form.get();
        cover_ = std::make_unique<PatternWindow>(QRect(0, 0, 1280, 1024), pattern);
        cover_->show();
        QVERIFY(QTest::qWaitForWindowExposed(cover_.get(), kPatienceMs));
        QTRY_VERIFY_WITH_TIMEOUT(showing(QRect(40, 300, 600, 400), pattern), kPatienceMs);
        form_->show();
        form_->raise();
        QVERIFY(QTest::qWaitForWindowExposed(form_, kPatienceMs));
    }
    void cleanup() {
        tool_.reset();
        cover_.reset();
    }

    // Esc cancels a selection, on the surface mid-drag or from the main window
    // (which the timer brings back two seconds in); the timer ends too.
    void escapeCancels_data() {
        orv::test::bothWays("fromMainWindow", "on the surface, dragging", "from the main window");
    }
    void escapeCancels() {
        QFETCH(bool, fromMainWindow);
        QSignalSpy shown(form_->sources(), &CaptureSources::surfaceShown);
        form_->CmdCapRect_Click();
        QVERIFY(shown.wait(kPatienceMs));
        Form2* surface = form_->sources()->captureSurface();
        QVERIFY(surface && QTest::qWaitForWindowActive(surface, kPatienceMs));
        QWidget* target = surface;
        if (fromMainWindow) {
            form_->sources()->restoreWindow(form_);  // as the timer's second tick does
            QVERIFY(QTest::qWaitForWindowActive(form_, kPatienceMs));
            target = form_;
        } else {  // a plain drag: press, move with the button held
            QTest::mousePress(surface, Qt::LeftButton, {}, QPoint(20, 30));
            QMouseEvent move(QEvent::MouseMove, QPointF(60, 90),
                             surface->mapToGlobal(QPointF(60, 90)), Qt::NoButton, Qt::LeftButton,
                             Qt::NoModifier);
            QApplication::sendEvent(surface, &move);
            QVERIFY(surface->HasBox);
        }
        QTest::keyClick(target, Qt::Key_Escape);
        QTRY_VERIFY(!form_->sources()->captureSurface());
        QVERIFY(!control<QTimer>(form_, "Timer2")->isActive());
        QVERIFY(!offScreen());
    }

    void wholeDesktop() {
        QSignalSpy grabbed(form_->sources(), &CaptureSources::desktopGrabbed);
        form_->CmdCapScreen_Click();
        QVERIFY(grabbed.wait(kPatienceMs));
        QVERIFY(!offScreen());
        const QImage& picture = picture1()->image();
        QCOMPARE(picture.size(), QSize(1276, 1020));
        for (QPoint p : {QPoint(40, 300), QPoint(600, 700), QPoint(1275, 1019), QPoint(10, 10)})
            QCOMPARE(picture.pixel(p), pattern(p.x(), p.y()));  // away from the main window
        QCOMPARE(image1()->image(), picture);
    }

    void activeWindowPair() {
        cover_->hide();  // an unmanaged cover would stay above a managed window
        PatternWindow front(QRect(600, 500, 200, 150), otherPattern, true);
        form_->CmdCapActiveWindow_Click();
        QVERIFY(offScreen());
        QVERIFY(form_->sources()->Timer1->isActive());
        // The pair's two ticks come one and two seconds after the timer starts:
        // hold it until the test's window is in front, then let it run.
        form_->sources()->Timer1->stop();
        front.show();
        front.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&front, kPatienceMs));
        QTRY_VERIFY_WITH_TIMEOUT(showing(QRect(600, 500, 200, 150), otherPattern), kPatienceMs);
        QSignalSpy ticks(form_->sources()->Timer1, &QTimer::timeout);
        form_->sources()->Timer1->start();
        QVERIFY(ticks.wait(kPatienceMs));  // the second grab is the one shown
        QVERIFY(ticks.wait(kPatienceMs));
        QVERIFY(!form_->sources()->Timer1->isActive());
        QVERIFY(!offScreen());
        const QImage& picture = picture1()->image();
        QCOMPARE(picture.size(), QSize(196, 146));
        QCOMPARE(picture, test::picture(QRect(600, 500, 196, 146), otherPattern));
        QCOMPARE(image1()->image(), picture);
        // The thumbnail, given its picture off the screen, paints it once back.
        const QImage drawn = image1()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QRect onScreen(image1()->mapToGlobal(QPoint(0, 0)), image1()->size());
        QTRY_VERIFY_WITH_TIMEOUT(platform::QtScreenGrabber().grab(onScreen).pixels == drawn,
                                 kPatienceMs);
    }
};

QTEST_MAIN(SourcesTest)
#include "sources_test.moc"

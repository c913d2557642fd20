// The capture sources against a real X server without a window manager:
// region selection on the capture surface, the whole desktop, the window in
// front, and clear. Mouse and keys are synthesized; nothing sleeps for luck.
#include <QApplication>
#include <QPainter>
#include <QtTest>

#include "pattern_window.h"
#include "tool_fixture.h"

using namespace orv;
using namespace orv::ui;
using orv::test::control;

namespace {

// Known screen content: colour of the screen pixel x, y (screen coordinates).
QRgb pattern(int x, int y) { return qRgb((x * 7) % 256, (y * 5) % 256, (x + y) % 256); }
QRgb otherPattern(int x, int y) { return qRgb(255 - (x % 256), 40, y % 256); }

using orv::test::PatternWindow;
using orv::test::showing;

}  // namespace

class SourcesTest : public QObject {
    Q_OBJECT
  private:
    std::unique_ptr<orv::test::Tool> tool_;
    Form1* form_ = nullptr;
    std::unique_ptr<PatternWindow> cover_;

    // Pattern over the top-left of the screen, below the main window's place.
    void coverScreen() {
        cover_ = std::make_unique<PatternWindow>(QRect(0, 0, 1280, 1024), pattern);
        cover_->show();
        QVERIFY(QTest::qWaitForWindowExposed(cover_.get()));
        QTRY_VERIFY_WITH_TIMEOUT(showing(QRect(40, 300, 600, 400), pattern), 5000);
        form_->show();
        form_->raise();
        QVERIFY(QTest::qWaitForWindowExposed(form_));
    }

    QString text(const char* box) const { return control<QLineEdit>(form_, box)->text(); }
    PictureBox* picture1() const { return control<PictureBox>(form_, "Picture1"); }
    ImageView* image1() const { return control<ImageView>(form_, "Image1"); }
    QTimer* timer2() const { return control<QTimer>(form_, "Timer2"); }

    // Minimised where a window manager runs, hidden where none does.
    bool offScreen() const { return !form_->isVisible() || form_->isMinimized(); }

    Form2* startRegion() {
        QSignalSpy shown(form_->sources(), &CaptureSources::surfaceShown);
        form_->CmdCapRect_Click();
        if (!shown.wait(5000)) return nullptr;
        Form2* surface = form_->sources()->captureSurface();
        if (surface && !QTest::qWaitForWindowExposed(surface)) return nullptr;
        return surface;
    }

    // A move as the window system delivers it, with `held` buttons down.
    static void moveTo(QWidget* w, QPoint at, Qt::MouseButtons held = Qt::NoButton) {
        QMouseEvent move(QEvent::MouseMove, QPointF(at), w->mapToGlobal(QPointF(at)), Qt::NoButton,
                         held, Qt::NoModifier);
        QApplication::sendEvent(w, &move);
    }

    void expectPicture(QSize client, QPoint from, QRgb (*paint)(int, int)) {
        const QImage& picture = picture1()->image();
        QCOMPARE(picture.size(), client);
        for (int y = 0; y < client.height(); y += 7) {
            for (int x = 0; x < client.width(); x += 5) {
                QCOMPARE(picture.pixel(x, y), paint(from.x() + x, from.y() + y));
            }
        }
        QCOMPARE(image1()->image(), picture);
    }

  private slots:
    void init() {
        tool_ = std::make_unique<orv::test::Tool>();
        form_ = tool_->form.get();
        coverScreen();
    }
    void cleanup() {
        tool_.reset();
        cover_.reset();
    }

    void regionByTwoPresses_data() {
        QTest::addColumn<QPoint>("first");
        QTest::addColumn<QPoint>("second");
        QTest::addColumn<int>("button");
        QTest::addColumn<QStringList>("texts");  // Text3, Text4, Text1, Text2
        QTest::addColumn<QPoint>("from");
        QTest::newRow("down-right") << QPoint(100, 50) << QPoint(300, 150) << int(Qt::LeftButton)
                                    << QStringList{"100", "50", "3000", "1500"} << QPoint(100, 50);
        QTest::newRow("up-left, right button")
            << QPoint(300, 150) << QPoint(100, 50) << int(Qt::RightButton)
            << QStringList{"300", "150", "-3000", "-1500"} << QPoint(104, 54);
    }
    void regionByTwoPresses() {
        QFETCH(QPoint, first);
        QFETCH(QPoint, second);
        QFETCH(int, button);
        QFETCH(QStringList, texts);
        QFETCH(QPoint, from);
        Form2* surface = startRegion();
        QVERIFY(surface && surface->isVisible());
        QCOMPARE(surface->geometry(), QRect(0, 0, 1280, 1024));
        QCOMPARE(surface->cursor().shape(), Qt::CrossCursor);
        const QImage frozen = surface->screenshot();
        const auto b = Qt::MouseButton(button);
        QTest::mousePress(surface, b, {}, first);
        QTest::mouseRelease(surface, b, {}, first);
        moveTo(surface, second);
        QCOMPARE(surface->shownBox(),
                 QRect(QPoint(std::min(first.x(), second.x()), std::min(first.y(), second.y())),
                       QPoint(std::max(first.x(), second.x()), std::max(first.y(), second.y()))));
        QCOMPARE(surface->screenshot(), frozen);  // the box is over the screenshot, not in it
        // What the finishing press copies is the frozen screenshot, even when
        // the live screen has changed meanwhile.
        cover_->setPattern(otherPattern);
        QTest::mousePress(surface, b, {}, second);
        const QStringList boxes{text("Text3"), text("Text4"), text("Text1"), text("Text2")};
        QCOMPARE(boxes, texts);
        expectPicture(QSize(196, 96), from, pattern);
        QVERIFY(timer2()->isActive());
        QVERIFY(!offScreen());
        QTRY_VERIFY(!form_->sources()->captureSurface());  // closed
        timer2()->stop();
    }

    // Esc cancels a selection: on the surface in the middle of a drag, and
    // from the main window, which the active-window timer brings back in
    // front two seconds into a selection; the timer ends too.
    void escapeCancels_data() {
        orv::test::bothWays("fromMainWindow", "on the surface, dragging", "from the main window");
    }
    void escapeCancels() {
        QFETCH(bool, fromMainWindow);
        Form2* surface = startRegion();
        QVERIFY(surface);
        QWidget* target = surface;
        if (fromMainWindow) {
            form_->sources()->restoreWindow(form_);  // as the timer's second tick does
            QVERIFY(QTest::qWaitForWindowActive(form_));
            target = form_;
        } else {  // a plain drag: press, move with the button held
            QTest::mousePress(surface, Qt::LeftButton, {}, QPoint(20, 30));
            moveTo(surface, QPoint(60, 90), Qt::LeftButton);
            QVERIFY(surface->HasBox);
        }
        QTest::keyClick(target, Qt::Key_Escape);
        QTRY_VERIFY(!form_->sources()->captureSurface());
        QCOMPARE(text("Text1"), QStringLiteral("Text1"));  // nothing written
        QVERIFY(!timer2()->isActive());
        QVERIFY(!form_->sources()->Timer1->isActive());
        QCOMPARE(form_->sources()->GrabCount, 0);
        QVERIFY(!offScreen());
    }

    void wholeDesktop() {
        QImage before = form_->workbench()->picSource->image();
        QSignalSpy grabbed(form_->sources(), &CaptureSources::desktopGrabbed);
        form_->CmdCapScreen_Click();
        QVERIFY(grabbed.wait(5000));
        QVERIFY(!offScreen());
        const QImage& picture = picture1()->image();
        QCOMPARE(picture.size(), QSize(1276, 1020));
        // Away from the main window the desktop's own pixels.
        for (QPoint p : {QPoint(40, 300), QPoint(600, 700), QPoint(1275, 1019), QPoint(10, 10)}) {
            QCOMPARE(picture.pixel(p), pattern(p.x(), p.y()));
        }
        QCOMPARE(image1()->image(), picture);
        QCOMPARE(form_->workbench()->picSource->image(), before);  // the workbench is not fed
        form_->CmdClear_Click();
        QVERIFY(image1()->image().isNull());
        QCOMPARE(picture1()->image().size(), QSize(1276, 1020));
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
        QVERIFY(QTest::qWaitForWindowActive(&front));
        QTRY_VERIFY_WITH_TIMEOUT(showing(QRect(600, 500, 200, 150), otherPattern), 5000);
        QSignalSpy ticks(form_->sources()->Timer1, &QTimer::timeout);
        form_->sources()->Timer1->start();
        QVERIFY(ticks.wait(5000));
        QCOMPARE(form_->sources()->GrabCount, 1);
        QVERIFY(image1()->image().isNull());  // shown only after the second grab
        QVERIFY(ticks.wait(5000));
        QCOMPARE(form_->sources()->GrabCount, 0);
        QVERIFY(!form_->sources()->Timer1->isActive());
        QVERIFY(!offScreen());
        expectPicture(QSize(196, 146), QPoint(600, 500), otherPattern);
        // And the screen shows it: the thumbnail was given its picture while
        // the window was off the screen, and paints it once the window is back.
        const QImage drawn = image1()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QRect onScreen(image1()->mapToGlobal(QPoint(0, 0)), image1()->size());
        QTRY_VERIFY_WITH_TIMEOUT(platform::QtScreenGrabber().grab(onScreen).pixels == drawn, 5000);
    }
};

QTEST_MAIN(SourcesTest)
#include "sources_test.moc"

// The capture sources on a Wayland desktop (wayland/on-sway.sh, through
// XWayland or natively): the screen is read through the desktop portal.
#include <QtTest>

#include "app/platform/portal_desktop.h"
#include "app/platform/x11_screen_grabber.h"
#include "tool_fixture.h"

using namespace orv;
using namespace orv::ui;
using orv::test::control;

namespace {
QRgb background() { return QColor(qEnvironmentVariable("ORV_SWAY_BACKGROUND")).rgb(); }
}  // namespace

class DesktopPortalTest : public QObject {
    Q_OBJECT
  private:
    std::unique_ptr<test::Tool> tool_;
    Form1* form_ = nullptr;

    NoticeLine* notice() const { return control<NoticeLine>(form_, "Notice"); }
    PictureBox* picture1() const { return control<PictureBox>(form_, "Picture1"); }

  private slots:
    void init() {
        tool_ = std::make_unique<test::Tool>(platform::makeScreenGrabber());
        form_ = tool_->form.get();
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_));
    }
    void cleanup() { tool_.reset(); }

    void theDesktopIsReadThroughThePortal() {
        QVERIFY(platform::onWaylandDesktop());
        QVERIFY(dynamic_cast<platform::PortalDesktop*>(tool_->grabber.get()));
        // The player's area comes from the video here; the menu shows it.
        QVERIFY(form_->sources()->videoIsTheOnlySource());

        control<QCheckBox>(form_, "Check1")->click();  // the workbench off the screen too: hidden
        QVERIFY(!form_->workbench()->isVisible());
        QSignalSpy grabbed(form_->sources(), &CaptureSources::desktopGrabbed);
        form_->CmdCapScreen_Click();
        QVERIFY(!form_->isVisible());  // hidden, not minimised, while the grab is made
        QVERIFY(grabbed.wait(20000));
        QVERIFY(form_->isVisible());
        QVERIFY2(notice()->text().isEmpty(), qPrintable(notice()->text()));
        const QImage& picture = picture1()->image();
        QCOMPARE(picture.size(), tool_->grabber->desktop().size() - QSize(4, 4));
        // The whole picture is the empty desktop: the tool's window was not on it.
        QImage empty(picture.size(), QImage::Format_RGB32);
        empty.fill(background());
        QVERIFY(picture.convertToFormat(QImage::Format_RGB32) == empty);
        QCOMPARE(control<ImageView>(form_, "Image1")->image(), picture);
    }

    // Without the portal, the X11 grabber knows the screen as one that cannot
    // be read (XWayland's, or none on native Wayland): the sources say so once
    // and grab nothing.
    void withoutThePortalNothingIsGrabbed() {
        test::Tool plain(std::make_unique<platform::X11ScreenGrabber>());
        Form1& form = *plain.form;
        QVERIFY(!plain.grabber->readable());
        const QImage before = control<PictureBox>(&form, "Picture1")->image();
        form.CmdCapScreen_Click();
        const QString notice = control<NoticeLine>(&form, "Notice")->text();
        QVERIFY2(notice.contains("cannot be read") && notice.contains("portal"),
                 qPrintable(notice));
        QCOMPARE(control<PictureBox>(&form, "Picture1")->image(), before);
    }

    // A region is chosen on a still picture of the stream and kept in the
    // stream's pixels; the clock then grabs it from the stream.
    void aRegionIsChosenOnTheStreamsPicture() {
        QSignalSpy shown(form_->sources(), &CaptureSources::surfaceShown);
        form_->CmdCapRect_Click();
        QVERIFY(shown.wait(20000));
        Form2* surface = form_->sources()->captureSurface();
        QVERIFY(surface);
        QCOMPARE(surface->screenshot().pixel(300, 300), background());
        surface->Form_MouseDown(QPoint(100, 50));
        surface->Form_MouseMove(QPoint(300, 150));
        surface->Form_MouseDown(QPoint(300, 150));
        QCOMPARE(control<QLineEdit>(form_, "Text3")->text(), QStringLiteral("100"));
        QVERIFY(control<QTimer>(form_, "Timer2")->isActive());
        control<QTimer>(form_, "Timer2")->stop();
        QVERIFY(!form_->sources()->capturesFromVideo());
        form_->Timer2_Timer();
        QCOMPARE(picture1()->image().size(), QSize(196, 96));
        QCOMPARE(picture1()->image().pixel(50, 50), background());
    }
};

QTEST_MAIN(DesktopPortalTest)
#include "desktop_portal_test.moc"

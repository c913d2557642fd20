// The screen read through the desktop portal's screen cast, on a headless sway
// of its own (tests/wayland/on-sway.sh).
#include <unistd.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>
#include <functional>

#include "app/platform/portal_desktop.h"
#include "app/platform/portal_screen_grabber.h"
#include "app/platform/portal_screencast.h"

using orv::platform::PortalDesktop;
using orv::platform::PortalScreenCast;
using orv::platform::PortalScreenGrabber;
using Source = PortalScreenCast::Source;

namespace {

constexpr int kWaitMs = 20000;  // longest wait for a session to start or the screen to change
QRgb background() { return QColor(qEnvironmentVariable("ORV_SWAY_BACKGROUND")).rgb(); }

// Whether every pixel of a picture is `colour`, alpha included.
bool allOf(const QImage& picture, QRgb colour) {
    QImage all(picture.size(), QImage::Format_RGB32);
    all.fill(colour);
    return !picture.isNull() && picture.format() == all.format() && picture == all;
}

// Waits until `done` holds, having sway paint the background anew every other
// second meanwhile: the wlroots portal sends a session's first picture only on
// a change, except for its very first session.
bool waitRepainting(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    for (qint64 next = 2000; !done(); QTest::qWait(10)) {
        if (clock.elapsed() >= kWaitMs) return false;
        if (clock.elapsed() < next) continue;
        QProcess::execute("swaymsg", {"-q", "output", qEnvironmentVariable("ORV_SWAY_OUTPUT"), "bg",
                                      qEnvironmentVariable("ORV_SWAY_BACKGROUND"), "solid_color"});
        next = clock.elapsed() + 2000;
    }
    return true;
}

// Starts a session and waits until it runs; the reason why not, else empty.
QString startAndWait(PortalScreenCast& cast) {
    QSignalSpy started(&cast, &PortalScreenCast::started);
    QSignalSpy failed(&cast, &PortalScreenCast::failed);
    cast.start(Source::Monitor);
    waitRepainting([&] { return !started.isEmpty() || !failed.isEmpty(); });
    if (!failed.isEmpty()) return failed.first().first().toString();
    return started.isEmpty() ? QStringLiteral("neither started() nor failed() came") : QString();
}

}  // namespace

class PortalTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() {
        QVERIFY2(QColor::isValidColorName(qEnvironmentVariable("ORV_SWAY_BACKGROUND")),
                 "run through tests/wayland/on-sway.sh");
        QVERIFY2(PortalScreenCast::available(), "no screen cast portal on the session bus");
    }

    // The whole output comes through in its colour (that the stream follows the
    // screen: record_test on Wayland); grabs are pieces of the newest picture,
    // unreadable before there is one.
    void theGrabberCutsTheStreamsPicture() {
        PortalScreenCast cast;
        PortalScreenGrabber grabber(cast);
        QVERIFY(grabber.grab(QRect(0, 0, 128, 64)).unreadable);
        const QString failure = startAndWait(cast);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QCOMPARE(grabber.desktop(), QRect(0, 0, 1280, 800));
        QTRY_VERIFY_WITH_TIMEOUT(allOf(cast.latestFrame(), background()), kWaitMs);
        const auto inside = grabber.grab(QRect(300, 200, 128, 64));
        const auto corner = grabber.grab(QRect(1200, -10, 128, 64));
        QVERIFY(allOf(inside.pixels, background()) && inside.pixels.size() == QSize(128, 64));
        QCOMPARE(corner.offset, QPoint(0, 10));
        QCOMPARE(corner.pixels.size(), QSize(80, 54));
        const auto outside = grabber.grab(QRect(2000, 0, 128, 64));
        QVERIFY(outside.pixels.isNull() && !outside.unreadable);
        cast.stop();
        QVERIFY(cast.latestFrame().isNull());
    }

    // A later session's first picture comes only once the screen changes (on
    // this portal): a grab waiting for it hears why in time, in one line, and
    // the cast goes on, so that a grab after the change is served.
    void aLateFirstPictureIsSaidAndTheCastGoesOn() {
        PortalDesktop desktop;
        QStringList answers;
        auto ask = [&] {
            desktop.prepare(PortalDesktop::Purpose::Desktop,
                            [&](const QString& failure) { answers << failure; });
        };
        ask();
        QTRY_VERIFY_WITH_TIMEOUT(!answers.isEmpty(), kWaitMs);
        QVERIFY2(answers[0].contains("no picture") && !answers[0].contains('\n'),
                 qPrintable(answers[0]));
        ask();
        QVERIFY(waitRepainting([&] { return answers.size() == 2; }));
        QVERIFY2(answers[1].isEmpty(), qPrintable(answers[1]));
    }

    // A window where the portal offers only monitors fails in one line, before any picture.
    void aWindowSourceThePortalLacksFailsInOneLine() {
        QVERIFY2(!(PortalScreenCast::availableSourceTypes() & 2),
                 "needs a portal that offers monitors only, as scripts/setup.sh installs");
        PortalScreenCast cast;
        QSignalSpy failed(&cast, &PortalScreenCast::failed);
        cast.start(Source::Window);
        QVERIFY(failed.wait(kWaitMs));
        const QString reason = failed.first().first().toString();
        QVERIFY2(reason.contains("window") && !reason.contains('\n'), qPrintable(reason));
        QVERIFY(!cast.active());
    }

    // Losing the portal's backend mid-stream ends the session in one line.
    // Last: the desktop has no screen cast after it.
    void losingTheBackendEndsTheSessionInOneLine() {
        PortalScreenCast cast;
        const QString failure = startAndWait(cast);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QSignalSpy failed(&cast, &PortalScreenCast::failed);
        QVERIFY2(QProcess::execute("pkill", {"-TERM", "-n", "-u", QString::number(::getuid()), "-f",
                                             "^[^ ]*/xdg-desktop-portal-wlr( |$)"}) == 0,
                 "no xdg-desktop-portal-wlr of this user");
        QVERIFY(failed.wait(kWaitMs));
        const QString reason = failed.first().first().toString();
        QVERIFY2(!reason.isEmpty() && !reason.contains('\n'), qPrintable(reason));
        QVERIFY(!cast.active());
    }
};

QTEST_MAIN(PortalTest)
#include "portal_test.moc"

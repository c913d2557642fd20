// The screen read through the desktop portal's screen cast, on a headless sway
// of its own (tests/wayland/on-sway.sh).
#include <signal.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>
#include <functional>

#include "app/platform/portal_screen_grabber.h"
#include "app/platform/portal_screencast.h"

using orv::platform::PortalScreenCast;
using orv::platform::PortalScreenGrabber;
using Source = PortalScreenCast::Source;

namespace {

constexpr int kWaitMs = 20000;  // longest wait for a session to start or the screen to change
const QRgb kRed = qRgb(200, 30, 30);
QRgb background() { return QColor(qEnvironmentVariable("ORV_SWAY_BACKGROUND")).rgb(); }

// Whether every pixel of a picture is `colour`, alpha included.
bool allOf(const QImage& picture, QRgb colour) {
    if (picture.isNull() || picture.format() != QImage::Format_RGB32) return false;
    for (int y = 0; y < picture.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
        if (!std::all_of(line, line + picture.width(), [&](QRgb p) { return p == colour; }))
            return false;
    }
    return true;
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

// The portal's wlroots backend of this user; 0 when there is none.
qint64 backendPid() {
    for (const QString& pid : QDir("/proc").entryList(QDir::Dirs)) {
        QFile command("/proc/" + pid + "/cmdline");
        if (pid.toLongLong() > 0 && QFileInfo(command).ownerId() == ::getuid() &&
            command.open(QIODevice::ReadOnly) &&
            command.readAll().split('\0').value(0).endsWith("xdg-desktop-portal-wlr")) {
            return pid.toLongLong();
        }
    }
    return 0;
}

}  // namespace

#define START(cast)                                       \
    do {                                                  \
        const QString failure = startAndWait(cast);       \
        QVERIFY2(failure.isEmpty(), qPrintable(failure)); \
    } while (false)

class PortalTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() {
        QVERIFY2(QColor::isValidColorName(qEnvironmentVariable("ORV_SWAY_BACKGROUND")),
                 "run through tests/wayland/on-sway.sh");
        QVERIFY2(PortalScreenCast::available(), "no screen cast portal on the session bus");
    }

    // The whole output comes through in its colour, and the stream follows a
    // terminal that covers it (maybe at another size first) and goes again.
    void theStreamShowsTheScreenAndFollowsIt() {
        PortalScreenCast cast;
        START(cast);
        QCOMPARE(cast.size(), QSize(1280, 800));
        QCOMPARE(cast.latestFrame().format(), QImage::Format_RGB32);
        QVERIFY(cast.frames() >= 1);
        QTRY_VERIFY_WITH_TIMEOUT(allOf(cast.latestFrame(), background()), kWaitMs);
        {
            QProcess foot;
            foot.setProcessChannelMode(QProcess::MergedChannels);
            foot.start("foot",
                       {"--fullscreen", "--override=colors.background=c81e1e", "sh", "-c",
                        "printf '\\033[?25l\\033[48;2;200;30;30m\\033[2J'; exec sleep 120"});
            QVERIFY2(foot.waitForStarted(5000), "foot did not start");
            const quint64 before = cast.frames();
            QTRY_VERIFY2_WITH_TIMEOUT(allOf(cast.latestFrame().copy(100, 100, 1080, 600), kRed),
                                      qPrintable("foot: " + foot.readAll()), kWaitMs);
            QVERIFY(cast.frames() > before);
            foot.terminate();
            if (!foot.waitForFinished(5000)) foot.kill();
            foot.waitForFinished(5000);
        }
        QTRY_VERIFY_WITH_TIMEOUT(allOf(cast.latestFrame(), background()), kWaitMs);
        cast.stop();
        QVERIFY(!cast.active());
        QVERIFY(cast.latestFrame().isNull());
    }

    // Grabs are pieces of the newest picture; unreadable before there is one.
    void theGrabberCutsTheNewestPicture() {
        PortalScreenCast cast;
        PortalScreenGrabber grabber(cast);
        QVERIFY(grabber.grab(QRect(0, 0, 128, 64)).unreadable);
        START(cast);
        QCOMPARE(grabber.desktop(), QRect(0, 0, 1280, 800));
        const QRect middle(300, 200, 128, 64), overTheEdge(1200, -10, 128, 64);
        const auto inside = grabber.grab(middle), corner = grabber.grab(overTheEdge);
        QVERIFY(!inside.unreadable);
        QCOMPARE(inside.offset, QPoint(0, 0));
        QCOMPARE(inside.pixels.size(), QSize(128, 64));
        QCOMPARE(corner.offset, QPoint(0, 10));
        QCOMPARE(corner.pixels.size(), QSize(80, 54));
        // Once the repaints that started the session have passed.
        QTRY_VERIFY_WITH_TIMEOUT(allOf(grabber.grab(middle).pixels, background()) &&
                                     allOf(grabber.grab(overTheEdge).pixels, background()),
                                 kWaitMs);
        const auto outside = grabber.grab(QRect(2000, 0, 128, 64));
        QVERIFY(outside.pixels.isNull() && !outside.unreadable);
    }

    void aSecondSessionUsesTheKeptRestoreToken() {
        const QString key = PortalScreenCast::restoreTokenKey(Source::Monitor);
        {
            PortalScreenCast first;
            START(first);
        }
        const QString kept = QSettings("orv-tool", "orv-tool").value(key).toString();
        PortalScreenCast second;
        START(second);
        QCOMPARE(second.restoreTokenUsed(), kept);
        if (!kept.isEmpty())
            QVERIFY(!QSettings("orv-tool", "orv-tool").value(key).toString().isEmpty());
    }

    // A window where the portal offers only monitors fails in one line, before any picture.
    void aWindowSourceThePortalLacksFailsInOneLine() {
        if (PortalScreenCast::availableSourceTypes() & 2) QSKIP("this portal offers windows");
        PortalScreenCast cast;
        QSignalSpy started(&cast, &PortalScreenCast::started);
        QSignalSpy failed(&cast, &PortalScreenCast::failed);
        cast.start(Source::Window);
        QVERIFY(failed.wait(kWaitMs));
        const QString reason = failed.first().first().toString();
        QVERIFY2(reason.contains("window") && !reason.contains('\n'), qPrintable(reason));
        QVERIFY(!cast.active());
        QVERIFY(cast.latestFrame().isNull());
        QCOMPARE(cast.frames(), quint64(0));
        QTest::qWait(200);
        QCOMPARE(started.count(), 0);
        QCOMPARE(failed.count(), 1);
    }

    // A session started again at once, and one stopped before its answers,
    // leave nothing behind that would signal later.
    void startingAgainAndStoppingEarlyAreQuiet() {
        PortalScreenCast cast;
        QSignalSpy started(&cast, &PortalScreenCast::started);
        QSignalSpy failed(&cast, &PortalScreenCast::failed);
        cast.start(Source::Monitor);
        cast.start(Source::Monitor);
        QVERIFY(waitRepainting([&] { return !started.isEmpty(); }));
        cast.start(Source::Monitor);
        cast.stop();
        QTest::qWait(1000);
        QCOMPARE(started.count(), 1);
        QCOMPARE(failed.count(), 0);
    }

    // Losing the portal's backend mid-stream ends the session in one line.
    // Last: the desktop has no screen cast after it.
    void losingTheBackendEndsTheSessionInOneLine() {
        PortalScreenCast cast;
        START(cast);
        QSignalSpy failed(&cast, &PortalScreenCast::failed);
        const qint64 backend = backendPid();
        QVERIFY2(backend > 0, "no xdg-desktop-portal-wlr of this user");
        QVERIFY(::kill(pid_t(backend), SIGTERM) == 0);
        QVERIFY(failed.wait(kWaitMs));
        const QString reason = failed.first().first().toString();
        QVERIFY2(!reason.isEmpty() && !reason.contains('\n'), qPrintable(reason));
        QVERIFY(!cast.active());
    }
};

QTEST_MAIN(PortalTest)
#include "portal_test.moc"

// The screen read through the desktop portal's screen cast, on a headless sway
// of its own (tests/wayland/on-sway.sh): the known background comes through
// pixel for pixel, the stream follows a window that covers the screen and
// goes, grabs are cut from the newest picture, a second session asks with the
// restore token the first one kept, and a window source the portal does not
// offer, a bus without a portal, no bus at all and the loss of the portal's
// backend each fail in one line.
#include <signal.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdio>
#include <functional>

#include "app/platform/portal_screen_grabber.h"
#include "app/platform/portal_screencast.h"

using orv::platform::PortalScreenCast;
using orv::platform::PortalScreenGrabber;
using Source = PortalScreenCast::Source;

namespace {

constexpr int kStartMs = 20000;   // longest wait for a session to start
constexpr int kChangeMs = 20000;  // longest wait for the screen to show a change
const QRgb kRed = qRgb(200, 30, 30);

// The output's colour, as the harness painted it.
QRgb background() { return QColor(qEnvironmentVariable("ORV_SWAY_BACKGROUND")).rgb(); }

// Whether every pixel of a picture is `colour`, alpha included.
bool allOf(const QImage& picture, QRgb colour) {
    if (picture.isNull() || picture.format() != QImage::Format_RGB32) return false;
    for (int y = 0; y < picture.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
        for (int x = 0; x < picture.width(); ++x) {
            if (line[x] != colour) return false;
        }
    }
    return true;
}

// Makes the screen change without changing its pixels: sway paints the
// background anew. The wlroots portal sends a session's first picture only on
// a change, except for its very first session.
void repaint() {
    QProcess::execute("swaymsg", {"-q", "output", qEnvironmentVariable("ORV_SWAY_OUTPUT"), "bg",
                                  qEnvironmentVariable("ORV_SWAY_BACKGROUND"), "solid_color"});
}

// Waits until `done` holds, repainting the screen every other second meanwhile.
bool waitRepainting(const std::function<bool()>& done, int ms) {
    QElapsedTimer clock;
    clock.start();
    qint64 next = 2000;
    while (!done()) {
        if (clock.elapsed() >= ms) return false;
        if (clock.elapsed() >= next) {
            repaint();
            next = clock.elapsed() + 2000;
        }
        QTest::qWait(10);
    }
    return true;
}

// Starts a session and waits until it runs; the reason why not, else empty.
QString startAndWait(PortalScreenCast& cast, Source source = Source::Monitor) {
    QSignalSpy started(&cast, &PortalScreenCast::started);
    QSignalSpy failed(&cast, &PortalScreenCast::failed);
    cast.start(source);
    waitRepainting([&] { return !started.isEmpty() || !failed.isEmpty(); }, kStartMs);
    if (!failed.isEmpty()) return failed.first().first().toString();
    if (started.isEmpty()) return QStringLiteral("neither started() nor failed() came");
    return {};
}

// The portal's wlroots backend of this user; 0 when there is none.
qint64 backendPid() {
    for (const QString& pid : QDir("/proc").entryList(QDir::Dirs)) {
        QFile command("/proc/" + pid + "/cmdline");
        if (pid.toLongLong() <= 0 || QFileInfo(command).ownerId() != ::getuid() ||
            !command.open(QIODevice::ReadOnly)) {
            continue;
        }
        if (command.readAll().split('\0').value(0).endsWith("xdg-desktop-portal-wlr")) {
            return pid.toLongLong();
        }
    }
    return 0;
}

// A terminal covering the whole screen in one colour, on the harness's sway.
struct RedTerminal {
    QProcess process;
    RedTerminal() {
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start("foot", {"--fullscreen", "--override=colors.background=c81e1e", "sh", "-c",
                               "printf '\\033[?25l\\033[48;2;200;30;30m\\033[2J'; exec sleep 120"});
    }
    ~RedTerminal() {
        process.terminate();
        if (!process.waitForFinished(5000)) process.kill();
        process.waitForFinished(5000);
    }
};

// The child's part in the refusal tests: one session on whatever bus it has,
// its outcome printed on one line.
int castOnce(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    PortalScreenCast cast;
    std::printf("available=%d\n", PortalScreenCast::available() ? 1 : 0);
    QObject::connect(&cast, &PortalScreenCast::failed, &app, [&](const QString& reason) {
        std::printf("failed: %s\n", qPrintable(reason));
        app.exit(1);
    });
    QObject::connect(&cast, &PortalScreenCast::started, &app, [&] {
        std::printf("started\n");
        app.exit(0);
    });
    QTimer::singleShot(kStartMs, &app, [&] {
        std::printf("silent\n");
        app.exit(2);
    });
    cast.start(Source::Monitor);
    return app.exec();
}

// This test program again, as the child, with the session bus at `address`.
QStringList childOutput(const QString& address) {
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("ORV_PORTAL_CHILD", "1");
    environment.insert("DBUS_SESSION_BUS_ADDRESS", address);
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), {});
    if (!child.waitForFinished(kStartMs + 10000)) child.kill();
    return QString::fromUtf8(child.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

}  // namespace

class PortalTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() {
        QVERIFY2(QColor::isValidColorName(qEnvironmentVariable("ORV_SWAY_BACKGROUND")),
                 "run through tests/wayland/on-sway.sh");
        QVERIFY2(PortalScreenCast::available(), "no screen cast portal on the session bus");
        qInfo("portal source types: %u", PortalScreenCast::availableSourceTypes());
    }

    // The whole output comes through in its colour, and the stream follows a
    // window that covers it and goes away again.
    void theStreamShowsTheScreenAndFollowsIt() {
        PortalScreenCast cast;
        QElapsedTimer clock;
        clock.start();
        const QString failure = startAndWait(cast);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        qInfo("first picture %lld ms after start()", clock.elapsed());
        QCOMPARE(cast.size(), QSize(1280, 800));
        QCOMPARE(cast.latestFrame().format(), QImage::Format_RGB32);
        QVERIFY(cast.frames() >= 1);
        QTRY_VERIFY_WITH_TIMEOUT(allOf(cast.latestFrame(), background()), kChangeMs);

        {
            RedTerminal terminal;
            QVERIFY2(terminal.process.waitForStarted(5000), "foot did not start");
            const quint64 before = cast.frames();
            // Until the terminal covers the screen: it may show at another
            // size first.
            QTRY_VERIFY2_WITH_TIMEOUT(allOf(cast.latestFrame().copy(100, 100, 1080, 600), kRed),
                                      qPrintable("foot: " + terminal.process.readAll()), kChangeMs);
            QVERIFY(cast.frames() > before);
        }
        QTRY_VERIFY_WITH_TIMEOUT(allOf(cast.latestFrame(), background()), kChangeMs);
        cast.stop();
        QVERIFY(!cast.active());
        QVERIFY(cast.latestFrame().isNull());
    }

    // Grabs are pieces of the newest picture, in its pixels; unreadable
    // before there is one.
    void theGrabberCutsTheNewestPicture() {
        PortalScreenCast cast;
        PortalScreenGrabber grabber(cast);
        QVERIFY(grabber.grab(QRect(0, 0, 128, 64)).unreadable);
        const QString failure = startAndWait(cast);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QCOMPARE(grabber.desktop(), QRect(0, 0, 1280, 800));

        const QRect middle(300, 200, 128, 64);
        const auto inside = grabber.grab(middle);
        QVERIFY(!inside.unreadable);
        QCOMPARE(inside.offset, QPoint(0, 0));
        QCOMPARE(inside.pixels.size(), QSize(128, 64));

        const QRect overTheEdge(1200, -10, 128, 64);
        const auto corner = grabber.grab(overTheEdge);
        QCOMPARE(corner.offset, QPoint(0, 10));
        QCOMPARE(corner.pixels.size(), QSize(80, 54));

        // What the pieces hold, once the repaints that started the session
        // have passed.
        QTRY_VERIFY_WITH_TIMEOUT(allOf(grabber.grab(middle).pixels, background()) &&
                                     allOf(grabber.grab(overTheEdge).pixels, background()),
                                 kChangeMs);

        const auto outside = grabber.grab(QRect(2000, 0, 128, 64));
        QVERIFY(outside.pixels.isNull());
        QVERIFY(!outside.unreadable);
    }

    // The restore token of a session that started is kept, and the next
    // session hands it to the portal.
    void aSecondSessionUsesTheKeptRestoreToken() {
        const QString key = PortalScreenCast::restoreTokenKey(Source::Monitor);
        {
            PortalScreenCast first;
            const QString failure = startAndWait(first);
            QVERIFY2(failure.isEmpty(), qPrintable(failure));
        }
        const QString kept = QSettings("orv-tool", "orv-tool").value(key).toString();
        PortalScreenCast second;
        const QString failure = startAndWait(second);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QCOMPARE(second.restoreTokenUsed(), kept);
        if (kept.isEmpty()) {
            qInfo("this portal returns no restore token: each session asks anew");
        } else {
            qInfo("restore token kept and used again");
            QVERIFY(!QSettings("orv-tool", "orv-tool").value(key).toString().isEmpty());
        }
    }

    // Asking for a window where the portal offers only monitors fails in one
    // line, before any picture.
    void aWindowSourceThePortalLacksFailsInOneLine() {
        if (PortalScreenCast::availableSourceTypes() & 2) QSKIP("this portal offers windows");
        PortalScreenCast cast;
        QSignalSpy started(&cast, &PortalScreenCast::started);
        QSignalSpy failed(&cast, &PortalScreenCast::failed);
        cast.start(Source::Window);
        QVERIFY(failed.wait(kStartMs));
        const QString reason = failed.first().first().toString();
        qInfo("%s", qPrintable(reason));
        QVERIFY(reason.contains("window"));
        QVERIFY(!reason.contains('\n'));
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
        QVERIFY(waitRepainting([&] { return !started.isEmpty(); }, kStartMs));
        cast.start(Source::Monitor);
        cast.stop();
        QTest::qWait(1000);
        QCOMPARE(started.count(), 1);
        QCOMPARE(failed.count(), 0);
    }

    // On a bus without the portal, and with no bus at all, a session fails
    // in one line.
    void noPortalAndNoBusFailInOneLine() {
        QTemporaryDir folder;
        QFile config(folder.filePath("bus.conf"));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(QStringLiteral("<busconfig><type>session</type>"
                                    "<listen>unix:dir=%1</listen><auth>EXTERNAL</auth>"
                                    "<policy context=\"default\"><allow send_destination=\"*\"/>"
                                    "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy>"
                                    "</busconfig>")
                         .arg(folder.path())
                         .toUtf8());
        config.close();
        QProcess bus;
        bus.start("dbus-daemon", {"--config-file=" + config.fileName(), "--nofork", "--nopidfile",
                                  "--print-address"});
        QVERIFY(bus.waitForReadyRead(10000));
        const QString address = QString::fromUtf8(bus.readLine()).trimmed();

        const QStringList empty = childOutput(address);
        bus.terminate();
        bus.waitForFinished(5000);
        QCOMPARE(empty, QStringList({"available=0",
                                     "failed: no desktop portal on the session bus "
                                     "(org.freedesktop.portal.Desktop)"}));

        const QStringList none = childOutput("unix:path=" + folder.filePath("no-bus"));
        QCOMPARE(none.size(), 2);
        QCOMPARE(none[0], QStringLiteral("available=0"));
        QVERIFY2(none[1].startsWith("failed: no D-Bus session bus"), qPrintable(none[1]));
    }

    // Losing the portal's backend mid-stream ends the session in one line.
    // Last: the desktop has no screen cast after it.
    void losingTheBackendEndsTheSessionInOneLine() {
        PortalScreenCast cast;
        const QString failure = startAndWait(cast);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QSignalSpy failed(&cast, &PortalScreenCast::failed);
        const qint64 backend = backendPid();
        QVERIFY2(backend > 0, "no xdg-desktop-portal-wlr of this user");
        QVERIFY(::kill(pid_t(backend), SIGTERM) == 0);
        QVERIFY(failed.wait(kStartMs));
        const QString reason = failed.first().first().toString();
        qInfo("%s", qPrintable(reason));
        QVERIFY(!reason.isEmpty() && !reason.contains('\n'));
        QVERIFY(!cast.active());
    }
};

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsSet("ORV_PORTAL_CHILD")) return castOnce(argc, argv);
    QGuiApplication app(argc, argv);
    PortalTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "portal_test.moc"

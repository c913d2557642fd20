// What reading the screen through the desktop portal costs: a screen cast of
// a screen that changes about 100 times a second, read 46 times a second for
// a while (default 10 s). Prints the time to the first picture, the pictures
// a second that came in, and the processor time (% of one core) of this
// process and of the desktop's. Run on a headless sway:
// bench/run-portal-cpu.sh [SECONDS].
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTimer>
#include <cstdio>
#include <map>

#include "app/platform/portal_screen_grabber.h"
#include "app/platform/portal_screencast.h"

using orv::platform::PortalScreenCast;

namespace {

// Processor time (user and system) of a process so far, in seconds; -1 when gone.
double cpuSeconds(const QString& pid) {
    QFile stat("/proc/" + pid + "/stat");
    if (!stat.open(QIODevice::ReadOnly)) return -1;
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13) return -1;
    return (fields[11].toDouble() + fields[12].toDouble()) / double(sysconf(_SC_CLK_TCK));
}

// The desktop's processes of this user by name, and this process.
std::map<QString, QString> processes() {
    std::map<QString, QString> found{{"reader (this)", QString::number(getpid())}};
    const QStringList wanted{"sway", "xdg-desktop-por", "pipewire", "foot"};
    for (const QString& pid : QDir("/proc").entryList(QDir::Dirs)) {
        if (pid.toInt() <= 0 || pid.toInt() == getpid()) continue;
        QFile comm("/proc/" + pid + "/comm");
        if (!comm.open(QIODevice::ReadOnly)) continue;
        const QString name = QString::fromUtf8(comm.readAll()).trimmed();
        if (wanted.contains(name) && !found.count(name)) found[name] = pid;
    }
    // Both portal processes have the same short name: tell the backend apart.
    for (auto& [name, pid] : found) {
        QFile command("/proc/" + pid + "/cmdline");
        if (name == "xdg-desktop-por" && command.open(QIODevice::ReadOnly) &&
            command.readAll().contains("-wlr")) {
            found["portal backend"] = pid;
        }
    }
    found.erase("xdg-desktop-por");
    return found;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;

    // A terminal over the whole screen switching between red and black.
    QProcess terminal;
    terminal.start("foot", {"--fullscreen", "sh", "-c",
                            "printf '\\033[?25l'; while :; do printf '\\033]11;#c81e1e\\007';"
                            " sleep 0.01; printf '\\033]11;#000000\\007'; sleep 0.01; done"});
    if (!terminal.waitForStarted(5000)) {
        std::fprintf(stderr, "portal_bench: foot would not start\n");
        return 1;
    }

    PortalScreenCast cast;
    orv::platform::PortalScreenGrabber grabber(cast);
    QElapsedTimer clock;
    std::map<QString, double> before;
    std::map<QString, QString> pids;
    quint64 framesBefore = 0;
    qint64 copied = 0;
    QTimer reader;  // the tool's tick: 1000 / 22 a second
    reader.setTimerType(Qt::PreciseTimer);
    reader.setInterval(22);
    QObject::connect(&reader, &QTimer::timeout, [&] {
        const QImage whole = cast.latestFrame().copy();
        copied += whole.sizeInBytes();
        grabber.grab(QRect(576, 368, 128, 64));
    });
    QObject::connect(&cast, &PortalScreenCast::failed, [&](const QString& reason) {
        std::fprintf(stderr, "portal_bench: %s\n", qPrintable(reason));
        app.exit(1);
    });
    QObject::connect(&cast, &PortalScreenCast::started, [&] {
        std::printf("first picture: %lld ms after start()\n", clock.elapsed());
        // A second to settle, then the measured stretch.
        QTimer::singleShot(1000, [&] {
            pids = processes();
            for (const auto& [name, pid] : pids) before[name] = cpuSeconds(pid);
            framesBefore = cast.frames();
            copied = 0;
            clock.restart();
            reader.start();
            QTimer::singleShot(seconds * 1000, [&] {
                const double elapsed = clock.elapsed() / 1000.0;
                reader.stop();
                std::printf(
                    "pictures: %.1f a second (%llu in %.1f s), %.0f MB/s copied by the"
                    " reader\n",
                    (cast.frames() - framesBefore) / elapsed,
                    static_cast<unsigned long long>(cast.frames() - framesBefore), elapsed,
                    copied / elapsed / 1e6);
                for (const auto& [name, pid] : pids) {
                    const double now = cpuSeconds(pid);
                    if (now < 0 || before[name] < 0) continue;
                    std::printf("cpu %s: %.1f %% of one core\n", qPrintable(name),
                                100 * (now - before[name]) / elapsed);
                }
                app.exit(0);
            });
        });
    });
    clock.start();
    cast.start(PortalScreenCast::Source::Monitor);
    const int status = app.exec();
    terminal.terminate();
    terminal.waitForFinished(5000);
    return status;
}

// A long capture at the highest frame rate, recording, with a video playing:
// how the process's memory and descriptors hold up, and how many frames it
// writes against the clock's 1000 / 22 a second. Run under Xvfb:
// bench/run-soak.sh [SECONDS] (default 600).
#include <dirent.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QMediaPlayer>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <fstream>

#include "app/platform/screen_grabber.h"
#include "app/ui/form1.h"
#include "lcd/orv_reader.h"
#include "serial/platform/qt_serial_port.h"

namespace {

// Resident memory in KiB.
long residentKib() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

int openDescriptors() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d)) ++n;
        closedir(d);
    }
    return n - 3;  // ".", ".." and the one reading the folder
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 600;
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    if (QProcess::execute(QStringLiteral(ORV_SOURCE_DIR "/scripts/make-demo.sh"),
                          {dir.filePath("demo.avi")}) != 0) {
        std::fprintf(stderr, "soak: cannot make the demo clip\n");
        return 1;
    }
    orv::ImageState state;
    orv::rnd::Sequence random;
    const auto grabber = orv::platform::makeScreenGrabber();  // as the tool grabs
    orv::platform::DesktopWindowInspector inspector;
    orv::serial::QtSerialPort port;
    orv::ui::Form1 form({state, random, *grabber, inspector, port});
    form.exitProcess = [] {};
    form.show();
    // The controls by their names, as a user finds them.
    form.findChild<orv::ui::PlayerPanel*>(QStringLiteral("WindowsMediaPlayer1"))
        ->player()
        ->setLoops(QMediaPlayer::Infinite);
    form.Command1_Click();
    form.findChild<QLineEdit*>(QStringLiteral("Text9"))->setText(dir.filePath("soak.orv"));
    form.findChild<QCheckBox*>(QStringLiteral("Check2"))->setChecked(true);
    form.findChild<QScrollBar*>(QStringLiteral("HScroll1"))->setValue(46);
    form.Command2_Click();

    using Clock = std::chrono::steady_clock;
    // Measured from a warm start: after ten seconds the caches and pools are full.
    long rssStart = 0;
    int fdsStart = 0, framesStart = 0;
    Clock::time_point start;
    QTimer::singleShot(10000, &app, [&] {
        rssStart = residentKib();
        fdsStart = openDescriptors();
        framesStart = form.framesWritten();
        start = Clock::now();
    });
    QTimer::singleShot((10 + seconds) * 1000, &app, [&] {
        form.findChild<QTimer*>(QStringLiteral("Timer2"))->stop();
        const double s = std::chrono::duration<double>(Clock::now() - start).count();
        const long rss = residentKib();
        const int fds = openDescriptors();
        const int frames = form.framesWritten() - framesStart;
        orv::Result<std::uint64_t> inFile =
            orv::readFrameFile(dir.filePath("soak.orv").toStdString(), nullptr);
        std::printf("soak: %.0f s at 46 fps (period 22 ms)\n", s);
        std::printf("  frames: %d, %.2f a second (the clock's most: 45.45)\n", frames, frames / s);
        std::printf("  resident memory: %ld KiB -> %ld KiB (%+ld KiB)\n", rssStart, rss,
                    rss - rssStart);
        std::printf("  open descriptors: %d -> %d\n", fdsStart, fds);
        std::printf("  frame file: %s, %llu whole frames\n", inFile ? "reads cleanly" : "BROKEN",
                    inFile ? static_cast<unsigned long long>(inFile.value()) : 0ull);
        QCoreApplication::exit(0);
    });
    return app.exec();
}

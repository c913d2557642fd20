// Cost of one capture tick on a real X server, and how well a long run at a
// frame rate keeps its period. Run under Xvfb: bench/run-tick-bench.sh.
//
//   tick_bench [TICKS] [SECONDS] [FPS]   defaults 2000, 60, 46
#include <sys/resource.h>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "app/capture_clock.h"
#include "app/platform/screen_grabber.h"
#include "app/ui/form1.h"
#include "serial/platform/qt_serial_port.h"

namespace {

using Clock = std::chrono::steady_clock;

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(p * (v.size() - 1))];
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int ticks = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 60;
    const int fps = argc > 3 ? std::atoi(argv[3]) : 46;

    QTemporaryDir dir;
    orv::ImageState state;
    orv::rnd::Sequence random;
    const auto grabber = orv::platform::makeScreenGrabber();  // as the tool grabs
    orv::platform::DesktopWindowInspector inspector;
    orv::serial::QtSerialPort port;
    orv::ui::Form1 form({state, random, *grabber, inspector, port});
    form.exitProcess = [] {};
    form.show();
    // The controls by their names, as a user finds them.
    auto* clock = form.findChild<QTimer*>(QStringLiteral("Timer2"));
    form.findChild<QLineEdit*>(QStringLiteral("Text9"))->setText(dir.filePath("bench.orv"));
    form.findChild<QCheckBox*>(QStringLiteral("Check2"))->setChecked(true);
    form.Command2_Click();
    clock->stop();
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 500) app.processEvents();

    // One tick at a time, from the start of the grab to the end of the append.
    std::vector<double> cost;
    cost.reserve(static_cast<std::size_t>(ticks));
    for (int i = 0; i < ticks; ++i) {
        const auto t0 = Clock::now();
        form.Timer2_Timer();
        cost.push_back(ms(Clock::now() - t0));
        if (i % 50 == 0) app.processEvents();  // let repaints through as the clock would
    }
    std::printf("tick cost over %d ticks: median %.3f ms, p90 %.3f ms, p99 %.3f ms\n", ticks,
                percentile(cost, 0.5), percentile(cost, 0.9), percentile(cost, 0.99));

    // The real clock for a while.
    form.findChild<QScrollBar*>(QStringLiteral("HScroll1"))->setValue(fps);
    const double period = orv::app::captureIntervalMs(fps);
    std::vector<Clock::time_point> starts;
    std::vector<double> work;
    QObject::connect(clock, &QTimer::timeout, &form, [&] { starts.push_back(Clock::now()); });
    QObject::connect(clock, &QTimer::timeout, &form,
                     [&] { work.push_back(ms(Clock::now() - starts.back())); });
    // The process's own CPU over the clock's run: what the capture costs.
    auto cpuSeconds = [] {
        rusage u{};
        getrusage(RUSAGE_SELF, &u);
        return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
               static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
    };
    const double cpuStart = cpuSeconds();
    const auto wallStart = Clock::now();
    double cpuPerSecond = 0;
    clock->start();
    QTimer::singleShot(seconds * 1000, &app, [&] {
        cpuPerSecond = (cpuSeconds() - cpuStart) /
                       std::chrono::duration<double>(Clock::now() - wallStart).count();
        clock->stop();
        QCoreApplication::exit(0);  // quit() would ask the windows to close first
    });
    app.exec();
    // Tick k belongs to the slot that starts k periods after the first tick;
    // it is inside its period when it starts before the next slot and its work
    // ends within one period.
    int inside = 0;
    std::vector<double> gaps;
    for (std::size_t k = 0; k < starts.size(); ++k) {
        const double late = ms(starts[k] - starts[0]) - static_cast<double>(k) * period;
        if (late < period && work[k] <= period) ++inside;
        if (k > 0) gaps.push_back(ms(starts[k] - starts[k - 1]));
    }
    std::printf(
        "%d s at %d fps (period %.0f ms): %zu ticks (%.0f expected), %.2f %% inside "
        "their period; gap between ticks median %.2f ms, p99 %.2f ms, max %.2f ms\n",
        seconds, fps, period, starts.size(), seconds * 1000.0 / period,
        starts.empty() ? 0.0 : 100.0 * inside / static_cast<double>(starts.size()),
        gaps.empty() ? 0.0 : percentile(gaps, 0.5), gaps.empty() ? 0.0 : percentile(gaps, 0.99),
        gaps.empty() ? 0.0 : *std::max_element(gaps.begin(), gaps.end()));
    std::printf("frames written: %d\n", form.framesWritten());
    std::printf("process CPU: %.4f s a second (%.2f %% of a core)\n", cpuPerSecond,
                100 * cpuPerSecond);
    return 0;
}

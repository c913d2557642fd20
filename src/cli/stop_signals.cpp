#include "cli/stop_signals.h"

#include <csignal>

namespace orv::cli {
namespace {

volatile std::sig_atomic_t gStop = 0;
extern "C" void onStop(int) { gStop = 1; }

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
void (*gPrevious[3])(int) = {};

}  // namespace

StopSignals::StopSignals() {
    gStop = 0;
    for (int i = 0; i < 3; ++i) gPrevious[i] = std::signal(kSignals[i], onStop);
}

StopSignals::~StopSignals() {
    for (int i = 0; i < 3; ++i) std::signal(kSignals[i], gPrevious[i]);
}

bool StopSignals::requested() { return gStop != 0; }

}  // namespace orv::cli

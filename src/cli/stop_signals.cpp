#include "cli/stop_signals.h"

#include <signal.h>

namespace orv::cli {
namespace {

volatile sig_atomic_t gStop = 0;
extern "C" void onStop(int) { gStop = 1; }

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction gPrevious[3];

}  // namespace

StopSignals::StopSignals() {
    gStop = 0;
    struct sigaction stop {};
    stop.sa_handler = onStop;
    sigemptyset(&stop.sa_mask);
    // No SA_RESTART: a read blocked on a pipe or a slow device returns, and the
    // decoder's interrupt check then ends it.
    stop.sa_flags = 0;
    for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &stop, &gPrevious[i]);
}

StopSignals::~StopSignals() {
    for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &gPrevious[i], nullptr);
}

bool StopSignals::requested() { return gStop != 0; }

}  // namespace orv::cli

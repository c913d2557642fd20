// SIGINT, SIGTERM and SIGHUP ask a long run to stop. The run notices at its
// next record boundary (or inside a blocked read, through the decoder's
// interrupt check) and ends the same way for all three.
#pragma once

namespace orv::cli {

class StopSignals {
  public:
    StopSignals();   // installs the handlers and clears any earlier request
    ~StopSignals();  // puts the previous handlers back
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // Whether a stop has been asked for since the handlers went in.
    static bool requested();
};

}  // namespace orv::cli

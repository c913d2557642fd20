// Frames to a device over a serial port, as `orv send` sends them: framed
// (the changed pages, all of them every key frame) or raw, each frame no
// earlier than its time. Once the receiver has announced itself (link
// version 2), packets wait for its acknowledgements: never more on their way
// than its window, so that neither a slow link nor a slow display overflows
// it, and the frames it showed are counted.
#pragma once

#include <chrono>
#include <cstdint>

#include "common/result.h"
#include "lcd/frame_size.h"
#include "serial/frame_link.h"
#include "serial/link_pacer.h"
#include "serial/serial_device.h"

namespace orv::serial {

class FrameSender {
  public:
    using Clock = std::chrono::steady_clock;

    // A receiver that has announced itself and then acknowledges none of the
    // packets sent for this long (and the time its window takes on the line)
    // has stopped: the run fails.
    static constexpr std::chrono::seconds kSilence{3};

    // `stopAsked`, when given, is looked at while waiting: a stop ends the
    // run between packets.
    FrameSender(SerialDevice& device, bool framed, int keyInterval, bool (*stopAsked)() = nullptr);

    // Listens up to `wait` for the receiver to announce itself; true when it
    // did. When it did not, the run goes on without acknowledgements.
    Result<bool> awaitReceiver(Clock::duration wait);

    // Sends frame `index` (its number in the run, which makes key frames and
    // the wire's frame number) no earlier than `due`, packet by packet as the
    // receiver has room. False when a stop came before all of it went out.
    Result<bool> send(std::uint64_t index, const Frame& frame, Clock::time_point due);

    // Waits until every byte has left and every packet on its way has been
    // acknowledged or given up.
    Status finish();

    const LinkPacer& pacer() const { return pacer_; }
    std::uint64_t bytes() const { return bytes_; }

  private:
    // Reads what the receiver says for up to `upTo`; fails when it has been
    // silent too long.
    Status listen(Clock::duration upTo);
    bool stopping() const { return stopAsked_ && stopAsked_(); }

    SerialDevice& device_;
    bool framed_;
    FramedEncoder encoder_;
    LinkPacer pacer_;
    bool (*stopAsked_)();
    std::uint64_t bytes_ = 0;
};

}  // namespace orv::serial

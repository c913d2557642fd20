// The host's side of the framed link's back channel (version 2, orv_link.h):
// the receiver's announcement, and its acknowledgements of the pages it has
// shown, which pace the packets and count the frames the device showed.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

#include "lcd/frame_size.h"

namespace orv::serial {

class LinkPacer {
  public:
    using Clock = std::chrono::steady_clock;

    // How long the host waits for a receiver to announce itself when nothing
    // else is said: an Uno's boot loader takes one to two seconds.
    static constexpr std::chrono::seconds kDefaultWait{3};

    // A packet still unacknowledged `ackTimeout` after it went out is taken
    // as lost (its page is wrong on the display until it is sent again).
    explicit LinkPacer(Clock::duration ackTimeout = std::chrono::milliseconds(500));

    // Bytes from the receiver: its announcement "ORV 2 W\n" (a receiver of
    // 128 x 64 frames) or "ORV 2 W WxH\n" (of frames of that size),
    // acknowledgements (0x80 and above), and anything else, which is ignored.
    void take(std::string_view bytes, Clock::time_point now);

    // No announcement came in time: the receiver is taken as one that sends
    // nothing (version 1) for the rest of the connection, and an
    // announcement that comes later changes nothing.
    void stopWaiting() { waiting_ = false; }

    // Whether the receiver has announced itself: from then on the packets
    // are paced by its window; before, nothing is known of the receiver.
    bool announced() const { return window_ > 0; }
    int version() const { return version_; }
    int window() const { return window_; }
    // The size of the frames the receiver shows: 128 x 64 unless it said.
    FrameSize size() const { return size_; }

    // Whether another packet may go out now: fewer than the window are on
    // their way. Packets overdue are given up first. Always true before an
    // announcement.
    bool hasRoom(Clock::time_point now);
    // A packet of frame `frame` (its index in the run) went out.
    void sent(std::uint64_t frame, std::uint8_t page, Clock::time_point now);
    // Frame `frame` has sent all it will, possibly nothing.
    void frameDone(std::uint64_t frame, Clock::time_point now);

    // A new run on the same connection: the packets on their way and the
    // counts are forgotten, what the receiver announced is kept.
    void restart();

    std::size_t inFlight() const { return inFlight_.size(); }
    // How long packets have gone out with none acknowledged: since the first
    // one sent after the last acknowledgement that matched a packet, or
    // nothing while none is waiting for one.
    Clock::duration unanswered(Clock::time_point now) const {
        return unanswered_ ? now - unansweredSince_ : Clock::duration::zero();
    }
    // Frames the device reached, in order: shown whole (every page
    // acknowledged, or none to send), or shown with a page lost.
    std::uint64_t framesShown() const { return shown_; }
    std::uint64_t framesDamaged() const { return damaged_; }
    std::uint64_t packetsLost() const { return lost_; }
    // Frames reached a second, from the first packet sent to the last frame
    // reached; 0 before two frames were reached.
    double framesPerSecond() const;

  private:
    struct Packet {
        std::uint64_t frame;
        std::uint8_t key;  // the acknowledgement's low seven bits
        Clock::time_point sentAt;
    };
    struct Frame {
        std::uint64_t index;
        int outstanding = 0;
        bool lost = false;
        bool done = false;
    };

    void takeByte(std::uint8_t b, Clock::time_point now);
    void announce(const std::string& line);
    // The oldest packet in flight leaves: shown, or lost.
    void retire(bool shown, Clock::time_point now);
    Frame& frameOf(std::uint64_t index);
    // Frames at the front that are done and have nothing in flight are reached.
    void settle(Clock::time_point now);

    Clock::duration ackTimeout_;
    std::string line_;  // an announcement being read
    int version_ = 0, window_ = 0;
    FrameSize size_ = kLcdSize;
    bool waiting_ = true;  // an announcement may still come
    std::deque<Packet> inFlight_;
    std::deque<Frame> frames_;
    std::uint64_t shown_ = 0, damaged_ = 0, lost_ = 0;
    bool started_ = false;
    Clock::time_point firstSent_, lastReached_;
    bool unanswered_ = false;
    Clock::time_point unansweredSince_;
};

}  // namespace orv::serial

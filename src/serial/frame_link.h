// Frames on the wire: the packets of the framed link (see orv_link.h) and the
// raw byte stream, plus the polarity applied before sending.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "lcd/frame_size.h"

namespace orv::serial {

// The key interval when none is given: a frame whose index is a multiple of it
// sends every page.
inline constexpr int kDefaultKeyInterval = 31;

// Turns frames into packets, a page each, as wide as the frame. A key frame
// (index 0 or a multiple of the key interval) sends all its pages (8 at
// 128 x 64) in page order; any other frame sends only the pages that differ
// from what was last sent of that page, and nothing when none differs.
// Because it compares with what was SENT, a sender that skips frames (does
// not call encode for them) still brings the receiver up to date with the
// next frame it sends.
class FramedEncoder {
  public:
    // Intervals below 1 are taken as 1 (every frame a key frame).
    explicit FramedEncoder(int keyInterval = kDefaultKeyInterval);

    // Appends the packets of frame `frameIndex` to `out`; returns the number of
    // pages sent. The wire frame number is frameIndex mod 65536.
    int encode(std::uint64_t frameIndex, const Frame& frame, std::string& out);

    // The receiver's state is unknown (a new connection, a reset): the next
    // frame sends every page.
    void forget();

    int keyInterval() const { return key_; }

  private:
    int key_;
    Frame sent_;
    std::array<bool, kMaxHeight / 8> known_{};
};

// A frame as raw mode sends it: its bytes in page order (1,024 at 128 x 64).
std::string rawFrame(const Frame& frame);

// The frame as sent with the given polarity: `light` (a set bit lights a
// pixel) inverts every byte; otherwise the frame is unchanged (set bit = dark).
Frame applySetBit(const Frame& frame, bool light);

}  // namespace orv::serial

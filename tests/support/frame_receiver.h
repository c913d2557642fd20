// The device's side of the framed link, as the reference receiver does it:
// every good packet's page goes straight into the picture.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "lcd/frame.h"
#include "orv_link.h"

namespace orv::test {

// Frame n of a clip in which one page changes a frame: frame n - 1 with page
// n % 8 made m * 13 + column, m the frame that last changed the page.
inline FramePages onePageMoves(int n) {
    FramePages f;
    for (std::size_t i = 0; i < f.size(); ++i) f[i] = static_cast<std::uint8_t>(i * 7 + 3);
    for (int m = std::max(0, n - 7); m <= n; ++m) {
        for (int c = 0; c < 128; ++c) f[128 * (m % 8) + c] = static_cast<std::uint8_t>(m * 13 + c);
    }
    return f;
}

struct FrameReceiver {
    struct Packet {
        std::uint16_t frame;
        std::uint8_t page;
        std::string data;
        bool operator==(const Packet&) const = default;
    };
    framing::Decoder decoder;
    FramePages picture{};
    std::vector<Packet> packets;

    void take(std::string_view bytes) {
        for (unsigned char b : bytes) {
            if (!decoder.feed(b)) continue;
            std::string data(128, '\0');
            for (std::uint8_t c = 0; c < 128; ++c) data[c] = static_cast<char>(decoder.column(c));
            packets.push_back({decoder.frameNumber(), decoder.page(), data});
            if (decoder.page() >= 8) continue;  // a refused page, should one get through
            std::memcpy(picture.data() + 128 * decoder.page(), data.data(), 128);
        }
    }
};

}  // namespace orv::test

// The device's side of the framed link, as the reference receiver does it:
// every good packet's page goes straight into the picture.
#pragma once

#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "lcd/frame.h"
#include "orv_link.h"

namespace orv::test {

struct FrameReceiver {
    framing::Decoder decoder;
    FramePages picture{};
    std::vector<std::pair<std::uint16_t, std::uint8_t>> packets;  // (frame number, page)

    void take(const void* bytes, std::size_t n) {
        const auto* b = static_cast<const std::uint8_t*>(bytes);
        for (std::size_t i = 0; i < n; ++i) {
            if (!decoder.feed(b[i])) continue;
            std::memcpy(picture.data() + 128 * decoder.page(), decoder.data(), 128);
            packets.emplace_back(decoder.frameNumber(), decoder.page());
        }
    }
};

}  // namespace orv::test

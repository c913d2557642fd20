#include "serial/frame_link.h"

#include <algorithm>
#include <cstring>

#include "orv_link.h"

namespace orv::serial {

namespace fr = orv::framing;

FramedEncoder::FramedEncoder(int keyInterval) : key_(std::max(1, keyInterval)) {}

int FramedEncoder::encode(std::uint64_t frameIndex, const FramePages& frame, std::string& out) {
    const bool key = frameIndex % static_cast<std::uint64_t>(key_) == 0;
    const auto number = static_cast<std::uint16_t>(frameIndex & 0xFFFF);
    int sent = 0;
    for (std::uint8_t p = 0; p < fr::kPageCount; ++p) {
        const std::uint8_t* page = frame.data() + fr::kPageBytes * p;
        std::uint8_t* last = sent_.data() + fr::kPageBytes * p;
        if (!key && known_[p] && std::memcmp(page, last, fr::kPageBytes) == 0) continue;
        std::uint8_t packet[fr::kPacketBytes];
        fr::writePacket(packet, number, p, page);
        out.append(reinterpret_cast<const char*>(packet), sizeof packet);
        std::memcpy(last, page, fr::kPageBytes);
        known_[p] = true;
        ++sent;
    }
    return sent;
}

void FramedEncoder::forget() { known_.fill(false); }

std::string rawFrame(const FramePages& frame) {
    return std::string(reinterpret_cast<const char*>(frame.data()), frame.size());
}

FramePages applySetBit(const FramePages& frame, bool light) {
    FramePages out = frame;
    if (light) {
        for (auto& b : out) b = static_cast<std::uint8_t>(~b);
    }
    return out;
}

}  // namespace orv::serial

#include "serial/frame_link.h"

#include <algorithm>
#include <cstring>

#include "orv_link.h"

namespace orv::serial {

namespace fr = orv::framing;

FramedEncoder::FramedEncoder(int keyInterval) : key_(std::max(1, keyInterval)) {}

int FramedEncoder::encode(std::uint64_t frameIndex, const Frame& frame, std::string& out) {
    const bool key = frameIndex % static_cast<std::uint64_t>(key_) == 0;
    const auto number = static_cast<std::uint16_t>(frameIndex & 0xFFFF);
    const FrameSize size = frame.size();
    const auto width = static_cast<std::uint16_t>(size.width);
    if (sent_.size() != size) {  // a frame of another size: nothing of it was sent
        sent_ = Frame(size);
        forget();
    }
    int sent = 0;
    for (std::uint8_t p = 0; p < size.pages(); ++p) {
        const std::uint8_t* page = frame.data() + width * p;
        std::uint8_t* last = sent_.data() + width * p;
        if (!key && known_[p] && std::memcmp(page, last, width) == 0) continue;
        std::uint8_t packet[fr::kPacketFrame + kMaxWidth];
        const std::uint16_t length = fr::writePacket(packet, number, p, page, width);
        out.append(reinterpret_cast<const char*>(packet), length);
        std::memcpy(last, page, width);
        known_[p] = true;
        ++sent;
    }
    return sent;
}

void FramedEncoder::forget() { known_.fill(false); }

std::string rawFrame(const Frame& frame) {
    return std::string(reinterpret_cast<const char*>(frame.data()), frame.byteCount());
}

Frame applySetBit(const Frame& frame, bool light) {
    Frame out = frame;
    if (light) {
        for (auto& b : out.bytes()) b = static_cast<std::uint8_t>(~b);
    }
    return out;
}

}  // namespace orv::serial

#include "lcd/page_packing.h"

#include <bit>
#include <cstring>

namespace orv {
namespace {

// Eight bytes of 0 or 1 into one byte, byte i going to bit 7 - i.
inline std::uint8_t gatherReversed(const std::uint8_t* eight) {
    std::uint64_t x;
    std::memcpy(&x, eight, 8);
    if constexpr (std::endian::native == std::endian::big) x = __builtin_bswap64(x);
    return static_cast<std::uint8_t>((x * 0x8040201008040201ull) >> 56);
}

}  // namespace

void packLcdPages(const MonoFrameArray& MonoFrame, LcdPageBufferArray& LcdPageBuffer) {
    // dark[i] = 1 when entry i is dark. Column c is dark[64c .. 64c + 63],
    // bottom row first, so rows 8p .. 8p + 7 are the eight bytes from
    // 64c + 56 - 8p, the top one last.
    alignas(16) std::uint8_t dark[kMonoPixels];
    for (int i = 0; i < kMonoPixels; ++i) dark[i] = MonoFrame[static_cast<std::size_t>(i)] == 0;
    for (int p = 0; p < 8; ++p) {
        std::uint8_t* out = LcdPageBuffer.data() + 128 * p;
        for (int c = 0; c < 128; ++c) out[c] = gatherReversed(dark + 64 * c + 56 - 8 * p);
    }
}

}  // namespace orv

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

void packPages(std::span<const std::int32_t> entries, FrameSize size,
               std::span<std::uint8_t> pages) {
    // dark[r] = 1 when the entry of the column's row r from the bottom is
    // dark, so rows 8p .. 8p + 7 from the top are the eight bytes from
    // height - 8 - 8p, the top one last.
    const int height = size.height, width = size.width;
    alignas(16) std::uint8_t dark[kMaxHeight];
    for (int c = 0; c < width; ++c) {
        const std::int32_t* column = entries.data() + static_cast<std::size_t>(height) * c;
        for (int r = 0; r < height; ++r) dark[r] = column[r] == 0;
        for (int p = 0; p < size.pages(); ++p) {
            pages[static_cast<std::size_t>(width * p + c)] =
                gatherReversed(dark + height - 8 - 8 * p);
        }
    }
}

void packLcdPages(const MonoFrameArray& MonoFrame, LcdPageBufferArray& LcdPageBuffer) {
    packPages(MonoFrame, kLcdSize, LcdPageBuffer);
}

}  // namespace orv

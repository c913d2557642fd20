#include "lcd/page_packing.h"

namespace orv {

void packLcdPages(const MonoFrameArray& MonoFrame, LcdPageBufferArray& LcdPageBuffer) {
    for (int c = 0; c < 128; ++c) {
        // Dark pixels of column c as one word, bit r = row r from the top.
        const std::int32_t* column = MonoFrame.data() + 64 * c + 1;  // rows 63 .. 0
        std::uint64_t dark = 0;
        for (int r = 0; r < 64; ++r) {
            dark |= static_cast<std::uint64_t>(column[63 - r] == 0) << r;
        }
        for (int p = 0; p < 8; ++p) {
            LcdPageBuffer[static_cast<std::size_t>(1 + 128 * p + c)] =
                static_cast<std::uint8_t>(dark >> (8 * p));
        }
    }
}

}  // namespace orv

#include "lcd/page_packing.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>

using namespace orv;

namespace {

// A frame light everywhere but at the given (column, row-from-top) pixels.
MonoFrameArray frameWithDark(const std::set<std::pair<int, int>>& dark) {
    MonoFrameArray f{};
    for (int i = 1; i <= 8192; ++i) f[i] = MonoLight;
    for (auto [c, r] : dark) f[64 * c + 64 - r] = 0;
    return f;
}

}  // namespace

TEST(Packing, HandWorkedFrames) {
    std::set<std::pair<int, int>> column0Top8;
    for (int r = 0; r < 8; ++r) column0Top8.insert({0, r});
    const struct {
        const char* name;
        std::set<std::pair<int, int>> dark;
        int byte;  // the one non-zero byte
        int value;
    } cases[] = {
        {"top-left", {{0, 0}}, 1, 1},
        {"bottom-left", {{0, 63}}, 897, 128},
        {"top-right", {{127, 0}}, 128, 1},
        {"bottom-right", {{127, 63}}, 1024, 128},
        {"column 0 rows 0..7", column0Top8, 1, 255},
        {"row 9 of column 3", {{3, 9}}, 1 + 128 + 3, 2},
        {"all light", {}, 0, 0},
    };
    // One buffer for all: each frame is packed over the one before.
    LcdPageBufferArray buf{};
    buf[0] = 0xAA;
    buf[1025] = 0x55;
    for (const auto& c : cases) {
        packLcdPages(frameWithDark(c.dark), buf);
        EXPECT_EQ(buf[0], 0xAA) << c.name;  // never written
        EXPECT_EQ(buf[1025], 0x55) << c.name;
        for (int n = 1; n <= 1024; ++n) {
            ASSERT_EQ(buf[n], n == c.byte ? c.value : 0) << c.name << " byte " << n;
        }
    }
}

#include "lcd/ascii_line.h"

#include <gtest/gtest.h>

using namespace orv;

TEST(AsciiLine, MapsBytesOneTo250EachToOneCharacterButCarriageReturn) {
    AsciiBufferArray buffer{};
    buffer[0] = 'A';  // outside 1..250: never read
    buffer[251] = 'B';
    buffer[1024] = 'C';
    EXPECT_EQ(buildAsciiLine(buffer), std::string(250, '\0'));

    // Every byte value, placed at positions 1..256 in two halves.
    for (int v = 0; v < 256; ++v) {
        AsciiBufferArray one{};
        one[1] = std::uint8_t(v);
        one[250] = std::uint8_t(v);
        const std::string l = buildAsciiLine(one);
        const auto want = static_cast<unsigned char>(v == 13 ? 12 : v);
        ASSERT_EQ(static_cast<unsigned char>(l[0]), want) << v;
        ASSERT_EQ(static_cast<unsigned char>(l[249]), want) << v;
    }
}

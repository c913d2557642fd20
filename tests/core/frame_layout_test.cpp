#include "lcd/frame_layout.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <random>
#include <vector>

#include "files.h"

using namespace orv;

namespace {

constexpr FrameLayout kLayouts[] = {FrameLayout::Pages, FrameLayout::RowsMsb, FrameLayout::RowsLsb};

FramePages onePixel(int column, int row) {
    FramePages f{};
    f[static_cast<std::size_t>(128 * (row / 8) + column)] =
        static_cast<std::uint8_t>(1 << (row % 8));
    return f;
}

std::string run(const std::string& command) {
    return std::system(command.c_str()) == 0 ? "" : command;
}

}  // namespace

TEST(FrameLayout, SinglePixelsLandWhereWorkedOutByHand) {
    // Column, row, then (byte index, byte) in pages, rows-msb and rows-lsb.
    const struct {
        int column, row;
        int at[3];
        std::uint8_t byte[3];
    } cases[] = {
        {0, 0, {0, 0, 0}, {0x01, 0x80, 0x01}},
        {127, 63, {1023, 1023, 1023}, {0x80, 0x01, 0x80}},
        {9, 10, {137, 161, 161}, {0x04, 0x40, 0x02}},
        {45, 22, {301, 357, 357}, {0x40, 0x04, 0x20}},
    };
    for (const auto& c : cases) {
        for (int l = 0; l < 3; ++l) {
            for (bool light : {false, true}) {
                const auto out = toLayout(onePixel(c.column, c.row), kLayouts[l], light);
                for (int i = 0; i < 1024; ++i) {
                    std::uint8_t want = i == c.at[l] ? c.byte[l] : 0;
                    if (light) want = static_cast<std::uint8_t>(~want);
                    ASSERT_EQ(out[static_cast<std::size_t>(i)], want)
                        << "pixel " << c.column << "," << c.row << " layout " << l << " light "
                        << light << " byte " << i;
                }
            }
        }
    }
}

TEST(FrameLayout, Names) {
    EXPECT_EQ(parseFrameLayout("rows-lsb").value(), FrameLayout::RowsLsb);
    EXPECT_FALSE(parseFrameLayout("rows").ok());  // the message: orv export's refusal
}

TEST(CIdentifier, FromFileNames) {
    const std::pair<const char*, const char*> cases[] = {
        {"clip.orv", "clip"},
        {"/home/me/My Clip.orv", "My_Clip"},
        {"C:\\clips\\a-b.orv", "a_b"},
        {"2024 run.orv", "frames_2024_run"},
        {"caf\xC3\xA9 -x.orv", "caf_x"},
        {"\xC3\xA4.orv", "frames"},
        {"some/dir/", "frames"},
        {"int.orv", "frames_int"},
        {"_Bool", "Bool"},
        {"NULL.orv", "frames_NULL"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(cIdentifier(in), out) << in;
}

TEST(CArrayWriter, RefusesMisuseAndStopsWhenTheSinkFails) {
    const std::array<std::uint8_t, 1024> bytes{};
    auto ok = [](std::string_view) { return Status(Done{}); };
    {
        CArrayWriter w(ok);
        for (const char* name : {"int", "1a", "a-b", "_a", "NULL", "errno", "UINT_FAST8_MAX", ""}) {
            EXPECT_FALSE(w.begin(name, 1, "", "", "").ok()) << name;
        }
        EXPECT_FALSE(w.begin("a", 0, "", "", "").ok());
        ASSERT_TRUE(w.begin("a", 2, "", "", "").ok());
        EXPECT_FALSE(w.frame(1, bytes).ok());
        ASSERT_TRUE(w.frame(0, bytes).ok());
        EXPECT_FALSE(w.end().ok());  // one frame short
    }
    int calls = 0;
    CArrayWriter w([&](std::string_view) { return ++calls < 2 ? Status(Done{}) : fail("full"); });
    ASSERT_TRUE(w.begin("a", 3, "", "", "").ok());
    EXPECT_FALSE(w.frame(0, bytes).ok());
    EXPECT_FALSE(w.end().ok());
    EXPECT_EQ(calls, 2);
}

// The header, written a piece at a time, compiles without a warning as C99
// with gcc and avr-gcc, included twice, and the host build reads back exactly
// the bytes written.
TEST(CArrayWriter, CompilesWithGccAndAvrGcc) {
    const test::TempDir dir("orv-carray");
    std::mt19937 rng(4);
    std::vector<std::array<std::uint8_t, 1024>> frames(2);
    for (auto& f : frames) {
        for (auto& b : f) b = static_cast<std::uint8_t>(rng());
    }
    const std::string name = cIdentifier("clips/2 clip-a.orv");
    std::vector<std::string> pieces;
    CArrayWriter w([&](std::string_view s) { return pieces.emplace_back(s), Status(Done{}); });
    // A source name that would end or nest the comment, or form a trigraph.
    ASSERT_TRUE(w.begin(name, 2, "a*/b/*c?\?/\nd", "pages", "dark?\?/").ok());
    for (std::size_t i = 0; i < frames.size(); ++i) ASSERT_TRUE(w.frame(i, frames[i]).ok());
    ASSERT_TRUE(w.end().ok());
    ASSERT_EQ(pieces.size(), 4u);  // begin, one a frame, end: never the whole text at once
    std::string text;
    for (const auto& p : pieces) text += p;
    test::writeFile(dir.path() / "frames.h", text);
    std::string upper = name;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::ofstream(dir.path() / "use.c")
        << "#include <stdio.h>\n#include \"frames.h\"\n#include \"frames.h\"\n"
        << "#if " << upper << "_FRAME_COUNT != 2 || " << upper << "_WIDTH != 128 || " << upper
        << "_HEIGHT != 64 || " << upper << "_FRAME_BYTES != 1024\n#error sizes\n#endif\n"
        << "#if defined(__AVR__)\n"
        << "uint8_t byteAt(uint16_t f, uint16_t i) { return pgm_read_byte(&" << name
        << "[f][i]); }\n#else\n"
        << "int main(void) { return fwrite(" << name << ", 1, sizeof " << name
        << ", stdout) == sizeof " << name << " ? 0 : 1; }\n"
        << "#endif\n";
    const std::string d = dir.path().string();
    const std::string flags = " -std=c99 -Wall -Wextra -Werror ";
    EXPECT_EQ(
        run("gcc" + flags + d + "/use.c -o " + d + "/use && " + d + "/use > " + d + "/out.bin"),
        "");
    std::string want;
    for (const auto& f : frames) want.append(f.begin(), f.end());
    EXPECT_TRUE(test::readFile(dir.path() / "out.bin") == want)
        << "the compiled array differs from the frames";
    if (std::system("command -v avr-gcc > /dev/null 2>&1") != 0) {
        GTEST_SKIP() << "avr-gcc is not installed";
    }
    const std::string cc = "avr-gcc -mmcu=atmega328p" + flags;
    EXPECT_EQ(run(cc + "-c " + d + "/use.c -o " + d + "/c.o"), "");
    // The array sits in program memory.
    EXPECT_EQ(run("avr-objdump -h " + d + "/c.o | grep -q progmem"), "");
}

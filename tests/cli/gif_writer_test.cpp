// The GIF writer read back by a strict reader written here from the GIF89a
// rules.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "lcd/gif_writer.h"

namespace {

using orv::fail;
using orv::Result;
using Frame = std::vector<std::uint8_t>;

struct Gif {
    std::vector<std::uint32_t> colours;
    std::vector<int> delays;  // one per frame
    std::vector<Frame> frames;
    int fullTables = 0;        // clear codes after a frame's first code
    int widenedBeforeEnd = 0;  // frames whose last data code widened the codes
};

// One frame's LZW data, strictly: codes widen when the table reaches the next
// power of two (up to 12 bits), the end code is read at the width of the
// moment, exactly `pixels` pixels come out, the rest of the end code's byte is
// zero and no byte follows it.
Result<Frame> decodeLzw(int minSize, std::string_view data, std::size_t pixels, Gif& gif) {
    if (minSize < 2 || minSize > 8) return fail("minimum code size " + std::to_string(minSize));
    const int clear = 1 << minSize, end = clear + 1;
    std::vector<Frame> table;
    int width = 0, prev = -1, codes = 0;
    bool widened = false;
    std::size_t bit = 0;
    Frame out;
    for (;;) {
        if (table.empty()) {
            for (int c = 0; c <= end; ++c) table.push_back({static_cast<std::uint8_t>(c)});
            width = minSize + 1, prev = -1, widened = false;
        }
        if (bit + width > data.size() * 8) return fail("the data ends before the end code");
        int code = 0;
        for (int i = 0; i < width; ++i, ++bit) code |= (data[bit / 8] >> (bit % 8) & 1) << i;
        if (code == end) break;
        if (code == clear) {
            gif.fullTables += codes++ > 0;
            table.clear();
            continue;
        }
        ++codes;
        const int next = static_cast<int>(table.size());
        if (code > next || (code == next && (prev < 0 || next == 4096))) {
            return fail("code " + std::to_string(code) + " beyond the table");
        }
        Frame word = code < next ? table[code] : table[prev];
        if (code == next) word.push_back(word[0]);
        widened = false;
        if (prev >= 0 && next < 4096) {
            table.push_back(table[prev]);
            table.back().push_back(word[0]);
            if (next + 1 == 1 << width && width < 12) ++width, widened = true;
        }
        if (out.size() + word.size() > pixels) return fail("more pixels than the frame holds");
        out.insert(out.end(), word.begin(), word.end());
        prev = code;
    }
    if (out.size() != pixels) return fail("fewer pixels than the frame holds");
    for (; bit % 8; ++bit) {
        if (data[bit / 8] >> (bit % 8) & 1) return fail("a padding bit is 1");
    }
    if (bit / 8 != data.size()) return fail("data follows the end code");
    gif.widenedBeforeEnd += widened;
    return out;
}

// A whole file as this writer makes them: one global table, an endless loop,
// full-screen frames each after its graphic control extension.
Result<Gif> readStrict(std::string_view file, int width, int height) {
    std::size_t pos = 6;
    bool overrun = false;
    auto u8 = [&] {
        return pos < file.size() ? static_cast<unsigned char>(file[pos++]) : (overrun = true, 0);
    };
    auto u16 = [&] {
        const int low = u8();
        return low | u8() << 8;
    };
    auto subBlocks = [&] {  // up to and with the zero-length terminator
        std::string data;
        for (int n = u8(); n > 0 && !overrun; n = u8()) {
            for (int i = 0; i < n; ++i) data.push_back(static_cast<char>(u8()));
        }
        return data;
    };
    if (file.substr(0, 6) != "GIF89a") return fail("no GIF89a signature");
    if (u16() != width || u16() != height) return fail("another screen size");
    const int screen = u8();
    u16();  // background index, aspect
    if (!(screen & 0x80)) return fail("no global colour table");
    Gif gif;
    for (int i = 0; i < 2 << (screen & 7); ++i) {
        const int r = u8(), g = u8();
        gif.colours.push_back(static_cast<std::uint32_t>(r << 16 | g << 8 | u8()));
    }
    int delay = -1;
    for (int kind = u8(); kind != ';'; kind = u8()) {
        if (overrun) return fail("no trailer");
        if (kind == 0x21) {
            const int label = u8();
            const std::string data = subBlocks();
            if (label == 0xF9 && data.size() != 4) return fail("a bad graphic control extension");
            if (label == 0xF9) delay = (data[1] & 0xFF) | (data[2] & 0xFF) << 8;
            continue;
        }
        if (kind != ',') return fail("unknown block " + std::to_string(kind));
        const int left = u16(), top = u16(), w = u16(), h = u16(), flags = u8();
        if (left || top || w != width || h != height || flags) {
            return fail("a frame that is not the plain full screen");
        }
        if (delay < 0) return fail("a frame without graphic control");
        const int minSize = u8();
        Result<Frame> frame = decodeLzw(minSize, subBlocks(), static_cast<std::size_t>(w) * h, gif);
        if (!frame)
            return fail("frame " + std::to_string(gif.frames.size()) + ": " + frame.error());
        gif.frames.push_back(frame.value());
        gif.delays.push_back(std::exchange(delay, -1));
    }
    if (overrun || pos != file.size()) return fail("no trailer at the end of the file");
    return gif;
}

// 400 files of 8 frames, from a few pixels to 512 x 256: noise of any density,
// runs up to the whole frame, checkerboards, plain frames; every 8th file large
// and mostly noise, which fills the 4096-entry table and clears it.
TEST(GifWriter, StrictReaderGetsBackEveryPixel) {
    std::mt19937 rng(20240611);
    int fullTables = 0, widenedBeforeEnd = 0;
    for (int file = 0; file < 400; ++file) {
        const bool large = file % 8 == 0;
        const int most = std::array{8, 40, 160}[rng() % 3];
        const int width = large ? 128 << rng() % 3 : 1 + static_cast<int>(rng() % most);
        const int height = large ? 64 << rng() % 3 : 1 + static_cast<int>(rng() % most);
        std::array<std::uint32_t, 2> colours = {static_cast<std::uint32_t>(rng() & 0xFFFFFF),
                                                static_cast<std::uint32_t>(rng() & 0xFFFFFF)};
        colours[1] ^= colours[0] == colours[1];
        std::string bytes;
        orv::GifWriter writer(
            [&](std::string_view b) { return bytes += b, orv::Status(orv::Done{}); }, width, height,
            colours);
        std::vector<Frame> frames;
        std::vector<int> delays;
        for (int n = 0; n < 8; ++n) {
            Frame& frame = frames.emplace_back(static_cast<std::size_t>(width) * height);
            const unsigned kind = large && rng() % 4 ? 0 : rng() % 4, param = rng();
            std::size_t run = 0;
            std::uint8_t value = rng() & 1;
            for (std::size_t i = 0; i < frame.size(); ++i) {
                const std::size_t x = i % width, y = i / width, cell = 1 + param % 4;
                if (kind == 1 && run-- == 0) run = rng() % (1 + param % frame.size()), value ^= 1;
                frame[i] = kind == 0   ? rng() % 100 < param % 101
                           : kind == 1 ? value
                           : kind == 2 ? (x / cell + y / cell + param / 4) & 1
                                       : param & 1;
            }
            delays.push_back(static_cast<int>(rng() % 65536));
            ASSERT_TRUE(writer.addFrame(frame, delays.back()).ok());
        }
        ASSERT_TRUE(writer.finish().ok());
        const std::string where = std::to_string(width) + " x " + std::to_string(height);
        Result<Gif> gif = readStrict(bytes, width, height);
        ASSERT_TRUE(gif.ok()) << where << ": " << gif.error();
        EXPECT_EQ(gif.value().colours, std::vector<std::uint32_t>(colours.begin(), colours.end()));
        EXPECT_EQ(gif.value().delays, delays) << where;
        ASSERT_TRUE(gif.value().frames == frames) << where;
        fullTables += gif.value().fullTables;
        widenedBeforeEnd += gif.value().widenedBeforeEnd;
    }
    // The cases that matter were met: a full table, and a last code that
    // widens the codes just before the end code.
    EXPECT_GT(fullTables, 20);
    EXPECT_GT(widenedBeforeEnd, 3);
}

TEST(GifWriter, DelaysAddUpToTheRoundedStartTimes) {
    // Frames k and the time they start, round(100 k / fps) worked out by hand;
    // 40 and 8 fps meet exact halves (2.5, 7.5, 12.5, 37.5).
    struct Row {
        int fps;
        std::vector<std::pair<int, int>> starts;
    };
    const Row rows[] = {
        {8, {{1, 12}, {2, 25}, {3, 38}}},
        {30, {{1, 3}, {2, 7}, {30, 100}}},
        {40, {{1, 2}, {2, 5}, {3, 8}, {5, 12}}},
        {46, {{1, 2}, {23, 50}, {47, 102}}},
    };
    for (const Row& row : rows) {
        for (const auto& [k, start] : row.starts) {
            int sum = 0;
            for (int i = 0; i < k; ++i) sum += orv::gifFrameDelayCs(i, row.fps);
            EXPECT_EQ(sum, start) << row.fps << " fps, frame " << k;
        }
    }
    // No delay the players would slow down, and any second lasts 100, even
    // this far in.
    for (int fps = 1; fps <= 46; ++fps) {
        int second = 0;
        for (std::uint64_t k = ~0ull - 3 * fps; k < ~0ull - 2 * fps; ++k) {
            EXPECT_GE(orv::gifFrameDelayCs(k, fps), 2) << fps << " fps";
            second += orv::gifFrameDelayCs(k, fps);
        }
        EXPECT_EQ(second, 100) << fps << " fps";
    }
}

// Bad frames are refused before anything is written; a refused write stops
// the writer, and nothing is offered after it.
TEST(GifWriter, RefusesBadFramesAndStopsAtTheFirstRefusedWrite) {
    const Frame frame{0, 1, 1, 0, 1, 0};
    for (int refused = 0;; ++refused) {
        int calls = 0;
        orv::GifWriter gif(
            [&](std::string_view) {
                return calls++ != refused ? orv::Status(orv::Done{}) : orv::fail("full");
            },
            3, 2, {0, 0xFFFFFF});
        for (int op = 0; op < 4; ++op) {
            orv::Status s = op < 3 ? gif.addFrame(frame, 3) : gif.finish();
            EXPECT_EQ(s.ok(), calls <= refused) << "refusing call " << refused << ", op " << op;
        }
        EXPECT_LE(calls, refused + 1) << "nothing is offered after a refusal";
        if (calls <= refused) break;
    }
    int calls = 0;
    orv::GifWriter gif([&](std::string_view) { return ++calls, orv::Status(orv::Done{}); }, 2, 2,
                       {0, 0xFFFFFF});
    for (const auto& [frame, delay] : std::vector<std::pair<Frame, int>>{
             {{0, 1, 0}, 5}, {{0, 1, 2, 0}, 5}, {{0, 1, 1, 0}, -1}, {{0, 1, 1, 0}, 65536}}) {
        EXPECT_FALSE(gif.addFrame(frame, delay).ok());
    }
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(gif.addFrame({0, 1, 1, 0}, 65535).ok());
}

}  // namespace

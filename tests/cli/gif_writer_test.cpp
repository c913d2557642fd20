// The GIF writer read back by a strict reader written here from the GIF89a
// rules, and by the ffmpeg program.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "lcd/gif_writer.h"

namespace {

using orv::fail;
using orv::Result;
using Frame = std::vector<std::uint8_t>;
using Colours = std::array<std::uint32_t, 2>;

struct Gif {
    int width = 0, height = 0;
    std::vector<std::uint32_t> colours;
    std::vector<int> delays;  // one per frame
    std::vector<Frame> frames;
    int fullTables = 0;        // clear codes after a frame's first code
    int widenedBeforeEnd = 0;  // frames whose last data code widened the codes
};

// Bytes taken from the front; reading past the end gives 0 and marks it.
struct Bytes {
    std::string_view s;
    std::size_t pos = 0;
    bool overrun = false;
    int u8() {
        if (pos < s.size()) return static_cast<unsigned char>(s[pos++]);
        overrun = true;
        return 0;
    }
    int u16() {
        const int low = u8();
        return low | u8() << 8;
    }
    std::string subBlocks() {  // up to and with the zero-length terminator
        std::string data;
        for (int n = u8(); n > 0 && !overrun; n = u8()) {
            for (int i = 0; i < n; ++i) data.push_back(static_cast<char>(u8()));
        }
        return data;
    }
};

// One frame's LZW data, strictly: codes widen when the table reaches the next
// power of two (up to 12 bits), the end code is read at the width of the
// moment, exactly `pixels` pixels come out, the rest of the end code's byte is
// zero and no byte follows it.
Result<Frame> decodeLzw(int minSize, std::string_view data, std::size_t pixels, Gif& gif) {
    if (minSize < 2 || minSize > 8) return fail("minimum code size " + std::to_string(minSize));
    const int clear = 1 << minSize, end = clear + 1;
    std::vector<int> prefix(4096, -1);
    std::vector<std::uint8_t> suffix(4096);
    for (int c = 0; c < clear; ++c) suffix[c] = static_cast<std::uint8_t>(c);
    int width = minSize + 1, next = end + 1, prev = -1, codes = 0;
    bool widened = false;
    std::size_t bit = 0;
    Frame out, word;
    for (;;) {
        if (bit + width > data.size() * 8) return fail("the data ends before the end code");
        int code = 0;
        for (int i = 0; i < width; ++i, ++bit) code |= (data[bit / 8] >> (bit % 8) & 1) << i;
        if (code == end) break;
        if (code == clear) {
            if (codes++ > 0) ++gif.fullTables;
            width = minSize + 1, next = end + 1, prev = -1, widened = false;
            continue;
        }
        ++codes;
        if (code > next || (code == next && prev < 0)) {
            return fail("code " + std::to_string(code) + " beyond the table");
        }
        word.clear();
        for (int c = code == next ? prev : code; c >= 0; c = prefix[c]) word.push_back(suffix[c]);
        std::reverse(word.begin(), word.end());
        if (code == next) word.push_back(word[0]);
        widened = false;
        if (prev >= 0 && next < 4096) {
            prefix[next] = prev, suffix[next] = word[0];
            if (++next == 1 << width && width < 12) ++width, widened = true;
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
Result<Gif> readStrict(std::string_view file) {
    Bytes in{file};
    if (file.substr(0, 6) != "GIF89a") return fail("no GIF89a signature");
    in.pos = 6;
    Gif gif;
    gif.width = in.u16(), gif.height = in.u16();
    const int screen = in.u8();
    in.u16();  // background index, aspect
    if (!(screen & 0x80)) return fail("no global colour table");
    for (int i = 0; i < 2 << (screen & 7); ++i) {
        const int r = in.u8(), g = in.u8();
        gif.colours.push_back(static_cast<std::uint32_t>(r << 16 | g << 8 | in.u8()));
    }
    int delay = -1;
    for (int kind = in.u8(); kind != ';'; kind = in.u8()) {
        if (in.overrun) return fail("no trailer");
        if (kind == 0x21) {
            const int label = in.u8();
            const std::string data = in.subBlocks();
            if (label == 0xF9 && data.size() != 4) return fail("a bad graphic control extension");
            if (label == 0xF9) delay = Bytes{data, 1}.u16();
            continue;
        }
        if (kind != ',') return fail("unknown block " + std::to_string(kind));
        const int left = in.u16(), top = in.u16(), w = in.u16(), h = in.u16(), flags = in.u8();
        if (left || top || w != gif.width || h != gif.height || flags) {
            return fail("a frame that is not the plain full screen");
        }
        if (delay < 0) return fail("a frame without graphic control");
        const int minSize = in.u8();
        const std::string data = in.subBlocks();
        Result<Frame> frame = decodeLzw(minSize, data, static_cast<std::size_t>(w) * h, gif);
        if (!frame)
            return fail("frame " + std::to_string(gif.frames.size()) + ": " + frame.error());
        gif.frames.push_back(frame.value());
        gif.delays.push_back(delay);
        delay = -1;
    }
    if (in.overrun || in.pos != file.size()) return fail("no trailer at the end of the file");
    return gif;
}

struct Sample {
    int width, height;
    Colours colours;
    std::vector<Frame> frames;
    std::vector<int> delays;
};

std::string writeGif(const Sample& s) {
    std::string bytes;
    orv::GifWriter gif([&](std::string_view b) { return bytes += b, orv::Status(orv::Done{}); },
                       s.width, s.height, s.colours);
    for (std::size_t i = 0; i < s.frames.size(); ++i) {
        EXPECT_TRUE(gif.addFrame(s.frames[i], s.delays[i]).ok());
    }
    EXPECT_TRUE(gif.finish().ok());
    return bytes;
}

// Files of 8 frames, from a few pixels to 160 x 160: noise of any density, runs
// up to the whole frame, checkerboards, plain frames; every 8th file large and
// mostly noise, which fills the 4096-entry table and clears it.
std::vector<Sample> samples(int files) {
    std::mt19937 rng(20240611);
    std::vector<Sample> out;
    for (int f = 0; f < files; ++f) {
        Sample s;
        const bool large = f % 8 == 0;
        const int most = std::array{8, 40, 160}[rng() % 3];
        s.width = large ? 128 << rng() % 3 : 1 + static_cast<int>(rng() % most);
        s.height = large ? 64 << rng() % 3 : 1 + static_cast<int>(rng() % most);
        s.colours = {static_cast<std::uint32_t>(rng() & 0xFFFFFF),
                     static_cast<std::uint32_t>(rng() & 0xFFFFFF)};
        s.colours[1] ^= s.colours[0] == s.colours[1];
        for (int n = 0; n < 8; ++n) {
            Frame frame(static_cast<std::size_t>(s.width) * s.height);
            const unsigned kind = large && rng() % 4 ? 0 : rng() % 4, param = rng();
            std::size_t run = 0;
            std::uint8_t value = rng() & 1;
            for (std::size_t i = 0; i < frame.size(); ++i) {
                const std::size_t x = i % s.width, y = i / s.width, cell = 1 + param % 4;
                switch (kind) {
                    case 0:
                        frame[i] = rng() % 100 < param % 101;
                        break;
                    case 1:
                        if (run-- == 0) {
                            run = rng() % (1 + param % frame.size());
                            value ^= 1;
                        }
                        frame[i] = value;
                        break;
                    case 2:
                        frame[i] = (x / cell + y / cell + param / 4) & 1;
                        break;
                    default:
                        frame[i] = param & 1;
                }
            }
            s.frames.push_back(std::move(frame));
            s.delays.push_back(static_cast<int>(rng() % 65536));
        }
        out.push_back(std::move(s));
    }
    return out;
}

// Every frame of a GIF file, one after the other, as 0xRRGGBB pixels, through
// the ffmpeg program's GIF demuxer and decoder.
std::vector<std::uint32_t> readWithFfmpeg(const std::string& path) {
    const std::string command = "ffmpeg -hide_banner -loglevel error -i " + path +
                                " -fps_mode passthrough -f rawvideo -pix_fmt rgb24 -";
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    std::vector<std::uint32_t> pixels;
    for (unsigned char rgb[3]; pipe && std::fread(rgb, 1, 3, pipe.get()) == 3;) {
        pixels.push_back(static_cast<std::uint32_t>(rgb[0] << 16 | rgb[1] << 8 | rgb[2]));
    }
    return pixels;
}

// The first 48 files go through FFmpeg too.
TEST(GifWriter, StrictReaderAndFfmpegGetBackEveryPixel) {
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("orv_gif_writer_test_" + std::to_string(getpid()) + ".gif"))
                                 .string();
    int files = 0, frames = 0, fullTables = 0, widenedBeforeEnd = 0;
    for (const Sample& s : samples(400)) {
        const std::string bytes = writeGif(s);
        Result<Gif> gif = readStrict(bytes);
        const std::string where = std::to_string(s.width) + " x " + std::to_string(s.height);
        ASSERT_TRUE(gif.ok()) << where << ": " << gif.error();
        EXPECT_EQ(gif.value().colours,
                  std::vector<std::uint32_t>(s.colours.begin(), s.colours.end()));
        EXPECT_EQ(gif.value().delays, s.delays) << where;
        ASSERT_EQ(gif.value().frames.size(), s.frames.size()) << where;
        std::vector<std::uint32_t> shown;
        for (std::size_t i = 0; i < s.frames.size(); ++i) {
            ASSERT_TRUE(gif.value().frames[i] == s.frames[i]) << where << ", frame " << i;
            for (std::uint8_t index : s.frames[i]) shown.push_back(s.colours[index]);
        }
        frames += static_cast<int>(s.frames.size());
        fullTables += gif.value().fullTables;
        widenedBeforeEnd += gif.value().widenedBeforeEnd;
        if (files++ < 48) {
            std::ofstream(path, std::ios::binary) << bytes;
            ASSERT_TRUE(readWithFfmpeg(path) == shown) << where << ": FFmpeg reads otherwise";
        }
    }
    std::filesystem::remove(path);
    EXPECT_EQ(frames, 3200);
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
        {1, {{1, 100}, {3, 300}}},
        {8, {{1, 12}, {2, 25}, {3, 38}}},
        {25, {{1, 4}, {10, 40}}},
        {30, {{1, 3}, {2, 7}, {3, 10}, {4, 13}, {30, 100}}},
        {31, {{1, 3}, {2, 6}, {7, 23}, {31, 100}, {45, 145}}},
        {40, {{1, 2}, {2, 5}, {3, 8}, {5, 12}}},
        {46, {{1, 2}, {5, 11}, {23, 50}, {46, 100}, {47, 102}}},
    };
    for (const Row& row : rows) {
        Sample s{1, 1, {0, 0xFFFFFF}, {}, {}};
        for (std::uint64_t k = 0; k < 47; ++k) {
            s.frames.push_back({0});
            s.delays.push_back(orv::gifFrameDelayCs(k, row.fps));
        }
        Result<Gif> gif = readStrict(writeGif(s));
        ASSERT_TRUE(gif.ok()) << gif.error();
        for (const auto& [k, start] : row.starts) {
            int sum = 0;
            for (int i = 0; i < k; ++i) sum += gif.value().delays[i];
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

TEST(GifWriter, StopsAtTheFirstRefusedWrite) {
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
            if (!s) {
                EXPECT_EQ(s.error(), "the GIF could not be written");
            }
        }
        EXPECT_LE(calls, refused + 1) << "nothing is offered after a refusal";
        if (calls <= refused) break;
    }
}

TEST(GifWriter, RefusesBadFramesWithoutWriting) {
    int calls = 0;
    orv::GifWriter gif([&](std::string_view) { return ++calls, orv::Status(orv::Done{}); }, 2, 2,
                       {0, 0xFFFFFF});
    for (const auto& [frame, delay] : std::vector<std::pair<Frame, int>>{
             {{0, 1, 0}, 5}, {{0, 1, 2, 0}, 5}, {{0, 1, 1, 0}, -1}, {{0, 1, 1, 0}, 65536}}) {
        EXPECT_FALSE(gif.addFrame(frame, delay).ok());
    }
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(gif.addFrame({0, 1, 1, 0}, 65535).ok());
    EXPECT_TRUE(gif.finish().ok());
    EXPECT_FALSE(gif.addFrame({0, 1, 1, 0}, 5).ok());
    EXPECT_FALSE(gif.finish().ok());
}

}  // namespace

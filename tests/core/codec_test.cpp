#include "lcd/codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "orv_codec.h"

using namespace orv;

// The decoder's state stays small beside a board's frame buffer: 278 bytes
// on an AVR built for 128 x 64 (a host's, for frames up to 256 x 128 and with
// larger pointers and offsets, 520).
static_assert(sizeof(orvc_decoder) <= 520);

namespace {

using Frames = std::vector<Frame>;

void setPixel(Frame& f, int column, int row) {
    const FrameSize z = f.size();
    if (column < 0 || column >= z.width || row < 0 || row >= z.height) return;
    f[static_cast<std::size_t>(z.width * (row / 8) + column)] |=
        static_cast<std::uint8_t>(1 << (row % 8));
}

Frames noise(FrameSize size = kLcdSize) {
    std::mt19937 random(7);
    Frames frames(20, Frame(size));
    for (auto& f : frames) {
        for (auto& b : f.bytes()) b = static_cast<std::uint8_t>(random());
    }
    return frames;
}

// A checkerboard whose squares move one pixel right and down a frame.
Frames pattern(FrameSize size = kLcdSize) {
    Frames frames(40, Frame(size));
    for (int i = 0; i < 40; ++i) {
        for (int r = 0; r < size.height; ++r) {
            for (int c = 0; c < size.width; ++c) {
                if (((c + i) / 5 + (r + i) / 3) % 2) setPixel(frames[i], c, r);
            }
        }
    }
    return frames;
}

// Filled shapes moving every way across every page and off the edges, over a
// still picture, with a frame that repeats the one before; drawn at 128 x 64
// and scaled to the frames' size.
Frames clip(FrameSize size = kLcdSize) {
    Frames frames(90, Frame(size));
    const double sx = size.width / 128.0, sy = size.height / 64.0;
    for (int i = 0; i < 90; ++i) {
        const double t = i / 10.0;
        const double cx = 64 + 70 * std::sin(t), cy = 32 + 36 * std::cos(1.3 * t);
        const double rx = 64 + 50 * std::sin(0.7 * t + 1);
        for (int r = 0; r < size.height; ++r) {
            for (int c = 0; c < size.width; ++c) {
                const double x = c / sx, y = r / sy;
                const bool disc = std::hypot(x - cx, y - cy) < 20;
                const bool box = std::abs(x - rx) < 12 && y > 10 + i % 30 && y < 40 + i % 30;
                if (disc != box || (x < 8 && r % 2)) setPixel(frames[i], c, r);
            }
        }
        if (i == 45) frames[i] = frames[i - 1];
    }
    return frames;
}

codec::Encoder encoded(const Frames& frames) {
    codec::Encoder e(frames.front().size());
    for (const auto& f : frames) e.add(f);
    return e;
}

std::string_view text(const std::vector<std::uint8_t>& bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// The next frame page by page, as the flash player decodes it: each page
// first copied aside, into one of two buffers in turn, and decoded from the
// copy. Every change lies in a page of the mask, between its from and to.
int nextByPages(orvc_decoder& d, Frame& f) {
    const int width = f.size().width, pages = f.size().pages();
    std::array<std::array<std::uint8_t, 256>, 2> copies;
    const Frame before = f;
    const int mask = orvc_start(&d, 1);
    for (int p = 0, use = 0; p < pages && mask >= 0; ++p) {
        if (!(mask >> p & 1)) continue;
        std::copy_n(f.data() + width * p, width, copies[use].begin());
        if (orvc_page(&d, f.data(), p, copies[use].data()) != ORVC_OK) return ORVC_BAD_DATA;
        use ^= 1;
    }
    for (std::size_t i = 0; i < f.byteCount() && mask >= 0; ++i) {
        const int p = static_cast<int>(i) / width, c = static_cast<int>(i) % width;
        if (f[i] != before[i] && !((mask >> p & 1) && d.from[p] <= c && c <= d.to[p])) return -9;
    }
    return mask;
}

// At every size, from 8 x 8 to 256 x 128 (two page masks, columns past 255):
// a stream of 128 x 64 frames is of version 1, as every stream was before
// frames had other sizes, one of another size of version 2.
TEST(Codec, EveryFrameDecodesExactlyAndTheWrapFrameBringsTheFirstBack) {
    for (const FrameSize size : {kLcdSize, FrameSize{72, 40}, FrameSize{8, 8}, FrameSize{256, 128},
                                 FrameSize{96, 16}, FrameSize{84, 48}}) {
        const std::string at = sizeWords(size);
        for (const Frames& frames :
             {noise(size), pattern(size), clip(size), Frames(1, clip(size)[9])}) {
            const codec::Encoder e = encoded(frames);
            const auto stream = e.stream(frames.size(), 30, true);
            EXPECT_EQ(stream.size(), e.streamBytes(frames.size()));
            EXPECT_EQ(stream[4], size == kLcdSize ? ORVC_VERSION : ORVC_SIZED_VERSION) << at;
            orvc_decoder d;
            ASSERT_EQ(orvc_open(&d, stream.data(), static_cast<orvc_offset>(stream.size())),
                      ORVC_OK);
            EXPECT_EQ(d.frames, frames.size());
            EXPECT_EQ(d.fps, 30);
            EXPECT_EQ(d.flags, ORVC_FLAG_LIGHT | ORVC_FLAG_WRAP);
            EXPECT_EQ((FrameSize{d.width, d.pages * 8}), size);
            Frame f(size);
            // From a rewind, round again through the wrap frame, and from a
            // rewind again.
            for (int loop = 0; loop < 3; ++loop) {
                if (loop != 1) orvc_rewind(&d, f.data());
                for (std::size_t n = 0; n < frames.size(); ++n) {
                    ASSERT_GE(loop == 1 ? nextByPages(d, f) : orvc_next(&d, f.data()), 0) << n;
                    ASSERT_EQ(f, frames[n]) << at << ": frame " << n << " of " << frames.size();
                }
                EXPECT_EQ(orvc_next(&d, f.data()), ORVC_END);
            }
        }
    }
}

// Each field of the header is held to the format, and the data to the frame
// count; a refusal names what is wrong.
TEST(Codec, AStreamOutsideTheFormatIsRefusedNamingWhatIsWrong) {
    const Frames frames = clip();
    const auto stream = encoded(frames).stream(frames.size(), 31, false);
    using Bytes = std::vector<std::uint8_t>;
    const struct {
        const char* says;
        void (*change)(Bytes&);
    } cases[] = {
        {"of version 3", [](Bytes& s) { s[4] = ORVC_SIZED_VERSION + 1; }},
        {"header is cut short (10 of 16 bytes)", [](Bytes& s) { s.resize(10); }},
        {"flags (byte 5) are 0x07", [](Bytes& s) { s[5] = 7; }},
        {"frame rate (byte 6) is 0", [](Bytes& s) { s[6] = 0; }},
        {"byte 7 is 0x01", [](Bytes& s) { s[7] = 1; }},
        {"size (bytes 12..15) is", [](Bytes& s) { s.pop_back(); }},
        {"frame count (bytes 8..11, 91) is wrong", [](Bytes& s) { ++s[8]; }},
        {"frame count (bytes 8..11, 89) is wrong", [](Bytes& s) { --s[8]; }},
        {"last byte is padded with bits that are not 0", [](Bytes& s) { s.back() |= 1; }},
        // Cut data under a header that agrees: the wrap frame runs out.
        {"the wrap frame of",
         [](Bytes& s) {
             s.pop_back();
             for (int i = 0; i < 4; ++i) s[12 + i] = static_cast<std::uint8_t>(s.size() >> (8 * i));
         }},
    };
    ASSERT_TRUE(codec::decodeStream(text(stream), nullptr));
    for (const auto& c : cases) {
        Bytes changed = stream;
        c.change(changed);
        const Result<codec::StreamInfo> read = codec::decodeStream(text(changed), nullptr);
        ASSERT_FALSE(read) << c.says;
        EXPECT_NE(read.error().find(c.says), std::string::npos) << read.error();
    }
}

// What --flash says fits is what --frames 0:K then writes: the first K
// frames encoded alone, with costs of their own, against those K + 1.
TEST(Codec, TheFramesThatFitABudgetFitItAsAStreamOfTheirOwn) {
    const Frames frames = clip();
    const codec::Encoder e = encoded(frames);
    for (std::uint64_t budget : {1753, 4266}) {
        const std::uint64_t fit = e.framesThatFit(budget);
        const Frames first(frames.begin(), frames.begin() + static_cast<long>(fit) + 1);
        const codec::Encoder alone = encoded(Frames(first.begin(), first.end() - 1));
        EXPECT_LE(alone.streamBytes(fit), budget) << fit << " frames";
        EXPECT_GT(encoded(first).streamBytes(fit + 1), budget) << fit + 1 << " frames";
    }
}

// A stream of another size than 128 x 64 says its size too, for a sketch
// to check against its panel's.
TEST(Codec, TheCHeaderHoldsTheStreamAndSaysWhatItIs) {
    for (const FrameSize size : {kLcdSize, FrameSize{72, 40}}) {
        const Frames frames = pattern(size);
        const auto stream = encoded(frames).stream(frames.size(), 25, false);
        Result<std::string> c = codec::streamAsC(stream, "walk", "walk.orv");
        ASSERT_TRUE(c) << c.error();
        const std::string& t = c.value();
        EXPECT_NE(t.find("#define WALK_FRAME_COUNT 40\n"), std::string::npos);
        EXPECT_NE(t.find("#define WALK_FPS 25\n"), std::string::npos);
        EXPECT_NE(t.find("#define WALK_BYTES " + std::to_string(stream.size()) + "\n"),
                  std::string::npos);
        const bool sized = size != kLcdSize;
        EXPECT_EQ(t.find("#define WALK_WIDTH 72\n#define WALK_HEIGHT 40\n") != std::string::npos,
                  sized);
        EXPECT_EQ(t.find("_WIDTH") != std::string::npos, sized);
        std::vector<std::uint8_t> bytes;
        for (std::size_t at = t.find("0x"); at != std::string::npos; at = t.find("0x", at + 1)) {
            bytes.push_back(static_cast<std::uint8_t>(std::stoul(t.substr(at, 4), nullptr, 16)));
        }
        EXPECT_EQ(bytes, stream);
        EXPECT_FALSE(codec::streamAsC(stream, "2walk", "walk.orv"));
    }
}

}  // namespace

#include "serial/frame_link.h"

#include <gtest/gtest.h>

#include <random>

#include "frame_receiver.h"
#include "orv_link.h"

using namespace orv;
using namespace orv::serial;
namespace fr = orv::framing;
using Screen = orv::test::FrameReceiver;
using Packet = Screen::Packet;

namespace {

std::string bytes(std::initializer_list<int> list) {
    std::string s;
    for (int b : list) s += static_cast<char>(b);
    return s;
}

std::string noise(std::mt19937& rng, std::size_t n) {
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(rng());
    return s;
}

std::string packet(std::uint16_t frame, std::uint8_t page, const std::string& data) {
    std::uint8_t out[fr::kPacketBytes];
    EXPECT_EQ(fr::writePacket(out, frame, page, reinterpret_cast<const std::uint8_t*>(data.data())),
              fr::kPacketBytes);
    return std::string(reinterpret_cast<char*>(out), sizeof out);
}

FramePages randomFrame(std::mt19937& rng) {
    FramePages f;
    for (auto& b : f) b = static_cast<std::uint8_t>(rng());
    return f;
}

}  // namespace

TEST(FramedLink, WorkedExamplePacket) {
    std::string data;
    for (int c = 0; c < 128; ++c) data += static_cast<char>(c);
    const std::string p = packet(1, 3, data);
    ASSERT_EQ(p.size(), 135u);
    EXPECT_EQ(p.substr(0, 5), bytes({0xA5, 0x5A, 0x01, 0x00, 0x03}));
    EXPECT_EQ(p.substr(5, 128), data);
    EXPECT_EQ(p.substr(133), bytes({0xD9, 0x4E}));  // CRC 0x4ED9, low byte first
    std::uint8_t out[fr::kPacketBytes] = {};
    EXPECT_EQ(fr::writePacket(out, 1, fr::kMostPages, out), 0);
}

TEST(FramedLink, RoundTripSendsOnlyChangedPages) {
    std::mt19937 rng(11);
    FramedEncoder enc(7);
    Screen screen;
    FramePages frame = randomFrame(rng), previous{};
    for (std::uint64_t i = 0; i < 120; ++i) {
        // Change 0..3 random pages by one byte (possibly to the same value).
        for (unsigned k = rng() % 4; k > 0; --k)
            frame[rng() % 1024] = static_cast<std::uint8_t>(rng());
        int differing = 0;
        for (int p = 0; p < 8; ++p) {
            differing += !std::equal(frame.begin() + 128 * p, frame.begin() + 128 * (p + 1),
                                     previous.begin() + 128 * p);
        }
        std::string wire;
        const int sent = enc.encode(i, frame, wire);
        EXPECT_EQ(sent, i % 7 == 0 ? 8 : differing) << i;
        screen.take(wire);
        ASSERT_EQ(screen.picture, frame) << i;
        previous = frame;
    }
    // An unchanged delta frame sends nothing.
    std::string wire;
    EXPECT_EQ(enc.encode(120, frame, wire), 0);
    EXPECT_TRUE(wire.empty());
}

TEST(FramedLink, SkippedFramesAreMadeUpFromWhatWasSent) {
    FramedEncoder enc(100);
    Screen screen;
    FramePages f{};
    std::string wire;
    EXPECT_EQ(enc.encode(0, f, wire), 8);
    f[128 * 2] = 1;
    EXPECT_EQ(enc.encode(1, f, wire), 1);
    f[128 * 5] = 1;  // frame 2 is skipped: the link was busy
    f[128 * 6] = 1;  // frame 3 goes out
    EXPECT_EQ(enc.encode(3, f, wire), 2);
    f[128 * 6 + 9] = 1;  // frame 4 skipped; frame 5 puts page 6 back as sent
    f[128 * 6 + 9] = 0;
    EXPECT_EQ(enc.encode(5, f, wire), 0);
    screen.take(wire);
    EXPECT_EQ(screen.picture, f);
    enc.forget();
    wire.clear();
    EXPECT_EQ(enc.encode(6, f, wire), 8);
}

TEST(FramedLink, FrameNumbersWrapButKeyFramesFollowTheIndex) {
    FramedEncoder enc;  // key 31
    FramePages f{};
    std::string wire;
    // The first frame sends every page (the receiver is unknown), as frame 0xFFFF.
    const struct {
        std::uint64_t index;
        int sent;
        std::uint16_t wire;
    } cases[] = {
        {65535, 8, 0xFFFF},              //
        {65536, 0, 0},                   // 65536 % 31 == 2: a delta, nothing changed
        {65536ull * 31, 8, 0},           // a key frame whose wire number is 0
        {(1ull << 40) * 31 + 31, 8, 31}  // far beyond 32 bits
    };
    for (const auto& c : cases) {
        wire.clear();
        ASSERT_EQ(enc.encode(c.index, f, wire), c.sent) << c.index;
        Screen screen;
        screen.take(wire);
        for (const Packet& p : screen.packets) EXPECT_EQ(p.frame, c.wire) << c.index;
        if (c.sent) {
            EXPECT_EQ(wire.substr(2, 2), bytes({c.wire & 0xFF, c.wire >> 8}));
        }
    }
}

TEST(FramedLink, DecoderSkipsDamageAndKeepsTheNextPacket) {
    std::mt19937 rng(3);
    std::vector<std::string> packets;
    for (int p = 0; p < 4; ++p) {
        std::string d = noise(rng, 128);
        if (p == 0) d.replace(20, 5, bytes({0xA5, 0x5A, 0x00, 0x00, 0x03}));  // a fake header
        packets.push_back(
            packet(static_cast<std::uint16_t>(40 + p), static_cast<std::uint8_t>(p), d));
    }
    // Each case replaces `drop` bytes at `at` of one packet (1 unless said)
    // with `put`, and names the packets that must still arrive.
    const std::vector<int> all{0, 1, 2, 3}, others{0, 2, 3};
    const struct {
        const char* what;
        std::size_t at, drop;
        std::string put;
        std::vector<int> arrive;
        std::size_t packet = 1;
    } cases[] = {
        {"nothing", 0, 0, "", all},
        {"insert 0xA5 in the header", 3, 0, "\xA5", others},
        {"garbage between packets", 0, 0, bytes({0, 0xA5, 0xA5, 0x5A, 9}), all},
        {"a fake header between packets", 0, 0, bytes({0xA5, 0x5A, 0x00, 0x00, 0x01}), all},
        {"join mid-packet onto a fake header in its data", 0, 10, "", {1, 2, 3}, 0},
    };
    for (const auto& c : cases) {
        std::vector<std::string> stream = packets;
        stream[c.packet].replace(c.at, c.drop, c.put);
        Screen screen;
        for (const auto& s : stream) screen.take(s);
        std::vector<Packet> expected;
        for (int k : c.arrive) {
            expected.push_back({static_cast<std::uint16_t>(40 + k), static_cast<std::uint8_t>(k),
                                packets[static_cast<std::size_t>(k)].substr(5, 128)});
        }
        EXPECT_EQ(screen.packets, expected) << c.what;
    }
}

TEST(FramedLink, EveryBitFlipAndEveryTruncationCostsOnlyItsOwnPacket) {
    std::mt19937 rng(5);
    const std::string d1 = noise(rng, 128), d2 = noise(rng, 128);
    const std::string p1 = packet(7, 2, d1), p2 = packet(8, 6, d2);
    const std::vector<Packet> onlyP2 = {{8, 6, d2}};
    for (std::size_t bit = 0; bit < 135 * 8; ++bit) {
        std::string damaged = p1;
        damaged[bit / 8] = static_cast<char>(damaged[bit / 8] ^ (1 << (bit % 8)));
        Screen screen;
        screen.take(damaged + p2);
        ASSERT_EQ(screen.packets, onlyP2) << "bit " << bit;
    }
    for (std::size_t length = 1; length < 135; ++length) {
        Screen screen;
        screen.take(p1.substr(0, length) + p2);
        ASSERT_EQ(screen.packets, onlyP2) << "first " << length << " bytes";
    }
}

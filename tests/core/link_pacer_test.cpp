#include "serial/link_pacer.h"

#include <gtest/gtest.h>

#include <string>

#include "orv_link.h"

using orv::serial::LinkPacer;
using namespace std::chrono_literals;

namespace {

const LinkPacer::Clock::time_point t0{};

std::string ack(std::uint64_t frame, std::uint8_t page) {
    return std::string(1, static_cast<char>(orv::framing::ackByte(frame & 0xFFFF, page)));
}

}  // namespace

TEST(LinkPacer, TakesTheFirstAnnouncementOfVersionTwoOrLaterWhileWaiting) {
    const struct {
        std::string said;
        int version, window;
    } cases[] = {
        {"ORV 2 2\n", 2, 2},   {"\x01noise\nORV 2 1\n", 2, 1},  // a line of noise first
        {"ORV 3 40\n", 3, 16},  // a later version; the window capped
        {"ORV 1 2\n", 0, 0},    // version 1 has no back channel
        {"ORV 2 0\n", 0, 0},    //
        {"orv 2 2\n", 0, 0},    //
        {"ORV 2 2", 0, 0},      // not ended yet
    };
    for (const auto& c : cases) {
        LinkPacer pacer;
        pacer.take(c.said, t0);
        EXPECT_EQ(pacer.announced(), c.window > 0) << c.said;
        EXPECT_EQ(pacer.version(), c.version) << c.said;
        EXPECT_EQ(pacer.window(), c.window) << c.said;
        EXPECT_TRUE(pacer.hasRoom(t0));
    }
    LinkPacer split;  // in pieces
    split.take("OR", t0);
    split.take("V 2 2\n", t0);
    EXPECT_EQ(split.window(), 2);
    LinkPacer late;  // after the wait
    late.stopWaiting();
    late.take("ORV 2 2\n", t0);
    EXPECT_FALSE(late.announced());
}

TEST(LinkPacer, AcknowledgementsOpenTheWindowAndCountFrames) {
    LinkPacer pacer;
    pacer.take("ORV 2 2\n", t0);
    // Frame 0: two pages, both shown.
    pacer.sent(0, 0, t0);
    pacer.sent(0, 5, t0);
    EXPECT_FALSE(pacer.hasRoom(t0));
    pacer.frameDone(0, t0);
    EXPECT_EQ(pacer.unanswered(t0 + 5ms), 5ms);
    pacer.take(ack(0, 0), t0 + 10ms);
    EXPECT_EQ(pacer.unanswered(t0 + 10ms), 0ms);
    EXPECT_TRUE(pacer.hasRoom(t0 + 10ms));
    EXPECT_EQ(pacer.framesShown(), 0u);
    pacer.take(ack(0, 5), t0 + 20ms);
    EXPECT_EQ(pacer.framesShown(), 1u);
    // Frame 1 sends nothing: shown at once. Frame 65537 (wire number 1):
    // page 2 is lost, which the acknowledgement of page 3 tells.
    pacer.frameDone(1, t0 + 30ms);
    pacer.sent(65537, 2, t0 + 30ms);
    pacer.sent(65537, 3, t0 + 30ms);
    pacer.frameDone(65537, t0 + 30ms);
    pacer.take(ack(7, 3), t0 + 40ms);  // one that matches nothing first: no answer
    EXPECT_EQ(pacer.unanswered(t0 + 40ms), 10ms);
    pacer.take(ack(65537, 3), t0 + 40ms);
    EXPECT_EQ(pacer.framesShown(), 2u);
    EXPECT_EQ(pacer.framesDamaged(), 1u);
    EXPECT_EQ(pacer.packetsLost(), 1u);
    // A packet never acknowledged is given up after the timeout.
    pacer.sent(65538, 0, t0 + 50ms);
    pacer.frameDone(65538, t0 + 50ms);
    EXPECT_TRUE(pacer.hasRoom(t0 + 60ms));
    EXPECT_EQ(pacer.inFlight(), 1u);
    EXPECT_TRUE(pacer.hasRoom(t0 + 600ms));
    EXPECT_EQ(pacer.inFlight(), 0u);
    EXPECT_EQ(pacer.framesDamaged(), 2u);
    // Four frames reached from the first packet (t0) to the last one (0.6 s).
    EXPECT_DOUBLE_EQ(pacer.framesPerSecond(), 4 / 0.6);
}

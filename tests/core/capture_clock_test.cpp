#include "app/capture_clock.h"
#include "app/start_up.h"

#include <gtest/gtest.h>

using namespace orv::app;

TEST(CaptureClock, StartCaptureTextsAndTheirReading) {
    const CaptureRectTexts t = aimAtPlayer(120, 240, 7000, 3000).value();
    EXPECT_EQ(t.text3, "475.6667");
    EXPECT_EQ(t.text4, "231");
    EXPECT_EQ(t.text1, "2024.6667");
    EXPECT_EQ(t.text2, "1040");
    auto r = readCaptureRect(t.text1, t.text2, t.text3, t.text4);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.value().width, 2025);
    EXPECT_EQ(r.value().height, 1040);
    EXPECT_EQ(r.value().left, 476);
    EXPECT_EQ(r.value().top, 231);
    EXPECT_EQ(readCaptureRect("1", "1", "474.5", "0").value().left, 474);  // ties to even
    EXPECT_EQ(readCaptureRect("1", "1", "475.5", "0").value().left, 476);
    EXPECT_FALSE(readCaptureRect("Text1", "1", "1", "1").ok());
    EXPECT_FALSE(readCaptureRect("1", "32768", "1", "1").ok());
    EXPECT_EQ(twipsToPixels(2025), 135);
    EXPECT_EQ(twipsToPixels(1040), 69);
    EXPECT_EQ(twipsToPixels(7000), 467);
}

TEST(CaptureClock, GrabAreaKeepsThePartNextToTheCorner) {
    const struct {
        int left, top, ex, ey, cw, ch;
        GrabArea want;
    } cases[] = {
        {476, 231, 2025, 1040, 131, 65, {476, 231, 131, 65}},   // twips as a pixel extent
        {100, 50, 3000, 1500, 196, 96, {100, 50, 196, 96}},     // region drawn down-right
        {300, 150, -3000, -1500, 196, 96, {104, 54, 196, 96}},  // drawn up-left
        {10, 10, 5, 3, 196, 96, {10, 10, 5, 3}},                // smaller than the picture
        {10, 10, -5, 3, 196, 96, {5, 10, 5, 3}},
        {0, 0, 100, 100, 0, 0, {0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        const GrabArea a = grabArea(c.left, c.top, c.ex, c.ey, c.cw, c.ch);
        EXPECT_EQ(a.x, c.want.x);
        EXPECT_EQ(a.y, c.want.y);
        EXPECT_EQ(a.width, c.want.width);
        EXPECT_EQ(a.height, c.want.height);
    }
}

TEST(StartUp, PlatformFollowsTheSession) {
    const struct {
        const char *qpa, *x11, *wayland;
        bool display;
        std::string platform;
    } cases[] = {
        {nullptr, ":0", nullptr, true, ""},
        {nullptr, ":0", "wayland-0", true, "xcb"},  // XWayland beside Wayland
        {nullptr, nullptr, "wayland-0", true, ""},  // Wayland alone: the notice says why
        {nullptr, "", "", false, ""},
        {nullptr, nullptr, nullptr, false, ""},
        {"offscreen", nullptr, nullptr, true, ""},  // the user's choice stands
        {"wayland", ":0", "wayland-0", true, ""},
    };
    for (const auto& c : cases) {
        const orv::app::PlatformChoice got = orv::app::choosePlatform(c.qpa, c.x11, c.wayland);
        EXPECT_EQ(got.display, c.display);
        EXPECT_EQ(got.platform, c.platform);
    }
}

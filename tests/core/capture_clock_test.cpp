#include "app/capture_clock.h"
#include "app/start_up.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace orv::app;

TEST(CaptureClock, StartCaptureTextsAndTheirReading) {
    const auto r = readCaptureRect("2024.6667", "1040", "475.6667", "231").value();
    EXPECT_EQ(std::tie(r.width, r.height, r.left, r.top), std::tuple(2025, 1040, 476, 231));
    EXPECT_EQ(readCaptureRect("1", "1", "474.5", "0").value().left, 474);  // ties to even
    EXPECT_EQ(readCaptureRect("1", "1", "475.5", "0").value().left, 476);
    EXPECT_FALSE(readCaptureRect("Text1", "1", "1", "1").ok());
    EXPECT_FALSE(readCaptureRect("1", "32768", "1", "1").ok());
    EXPECT_EQ(twipsToPixels(2025), 135);
    EXPECT_EQ(twipsToPixels(7000), 467);
}

TEST(CaptureClock, GrabAreaKeepsThePartNextToTheCorner) {
    const struct {
        int left, top, ex, ey, cw, ch;
        GrabArea want;
    } cases[] = {
        {476, 231, 2025, 1040, 131, 65, {476, 231, 131, 65}},   // twips as a pixel extent
        {300, 150, -3000, -1500, 196, 96, {104, 54, 196, 96}},  // drawn up-left
        {10, 10, -5, 3, 196, 96, {5, 10, 5, 3}},
        {0, 0, 100, 100, 0, 0, {0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        const GrabArea a = grabArea(c.left, c.top, c.ex, c.ey, c.cw, c.ch);
        EXPECT_EQ(std::tie(a.x, a.y, a.width, a.height),
                  std::tie(c.want.x, c.want.y, c.want.width, c.want.height));
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
        {"offscreen", nullptr, nullptr, true, ""},  // the user's choice stands
    };
    for (const auto& c : cases) {
        const orv::app::PlatformChoice got = orv::app::choosePlatform(c.qpa, c.x11, c.wayland);
        EXPECT_EQ(std::tie(got.display, got.platform), std::tie(c.display, c.platform));
    }
}

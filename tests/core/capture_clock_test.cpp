#include "app/capture_clock.h"
#include "app/capture_session.h"
#include "app/start_up.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>
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

namespace {

// A source that grabs a picture of one colour, or nothing.
struct OneColour : TickSource {
    std::optional<std::uint32_t> colour;  // none: nothing can be read
    int grabs = 0;
    bool grab(const CaptureRectValues& rect, orv::Picture& picture) override {
        ++grabs;
        if (!colour) return false;
        picture = orv::Picture::filled(rect.width / kTwipsPerPixel, rect.height / kTwipsPerPixel,
                                       *colour);
        return true;
    }
};

// What the pipeline told its sinks, in order.
struct Told : orv::FrameSink {
    std::string steps;
    bool keeps = true;
    orv::FramePages sent{};
    void engraved(std::int32_t) override { steps += 'e'; }
    void refused(const std::string&) override { steps += 'x'; }
    orv::Status recorded(const std::string&) override {
        steps += 'r';
        return keeps ? orv::Status(orv::Done{}) : orv::fail("full");
    }
    void streamed(const orv::LcdPageBufferArray& pages) override { steps += 's', sent = pages; }
};

}  // namespace

// A tick is grab, engrave, pack, record while recording, stream; a tick
// that cannot grab or engrave makes no frame at all. A white picture is a
// light frame (no bit set), a black one a dark frame.
TEST(CaptureSession, ATickMakesAFrameOnlyFromAPictureItGrabbed) {
    const CaptureRectValues rect{476, 231, 129 * kTwipsPerPixel, 65 * kTwipsPerPixel};
    const struct {
        const char* what;
        bool rect, recording, keeps, starved;  // starved: no memory for the engrave
        std::optional<std::uint32_t> colour;
        TickOutcome outcome;
        const char* steps;
        std::uint8_t byte;  // every byte of the frame sent
    } cases[] = {
        {"no rectangle", false, true, true, false, 0xFFFFFFFF, TickOutcome::NoRectangle, "", 0},
        {"unreadable", true, true, true, false, std::nullopt, TickOutcome::NotGrabbed, "", 0},
        {"refused", true, true, true, true, 0xFFFFFFFF, TickOutcome::Refused, "x", 0},
        {"white", true, false, true, false, 0xFFFFFFFF, TickOutcome::Made, "es", 0x00},
        {"black, recorded", true, true, true, false, 0xFF000000, TickOutcome::Made, "ers", 0xFF},
        {"file refused", true, true, false, false, 0xFF000000, TickOutcome::NotRecorded, "ers",
         0xFF},
    };
    for (const auto& c : cases) {
        orv::ImageState state;
        orv::rnd::Sequence random;
        orv::FramePipeline pipeline(state, random);
        pipeline.setSourceFrame(129, 65, 0xFF808080);
        Told told;
        told.keeps = c.keeps;
        pipeline.addSink(told);
        OneColour source;
        source.colour = c.colour;
        CaptureSession session(pipeline, source);
        if (c.rect) session.setRect(c.starved ? CaptureRectValues{0, 0, 15, 15} : rect);
        session.setRecording(c.recording);
        std::optional<TickOutcome> outcome;
        std::thread([&] {
            std::optional<orv::test::AllocationCap> cap;
            if (c.starved) cap.emplace(20000);  // below the engrave's grids
            outcome = session.tick();
        }).join();
        EXPECT_EQ(outcome, c.outcome) << c.what;
        EXPECT_EQ(told.steps, c.steps) << c.what;
        EXPECT_EQ(source.grabs, c.rect ? 1 : 0) << c.what;
        if (told.steps.find('s') != std::string::npos) {
            orv::FramePages want;
            want.fill(c.byte);
            EXPECT_EQ(told.sent, want) << c.what;
        }
    }
}

// --lang, then the setting, then the desktop's first language: Chinese where
// that is Chinese, English for every other.
TEST(StartUp, TheWindowsLanguage) {
    const struct {
        const char *asked, *kept;
        std::vector<std::string> desktop;
        const char* language;
    } cases[] = {
        {"", "", {"zh-CN", "en-US"}, "zh"}, {"", "", {"zh-Hant-TW"}, "zh"},
        {"", "", {"de-DE", "zh-CN"}, "en"}, {"", "", {}, "en"},
        {"", "zh", {"en-US"}, "zh"},        {"en", "zh", {"zh-CN"}, "en"},
        {"", "fr", {"zh-CN"}, "zh"},  // a setting outside zh and en counts for nothing
    };
    for (const auto& c : cases) {
        EXPECT_EQ(chooseLanguage(c.asked, c.kept, c.desktop), c.language) << c.asked << c.kept;
    }
}

// The pipeline reduces by the method it is given, with the tone curve on the
// picture taken alone (the back colour stays black), and swaps light and dark
// last; a method other than the engrave needs a whole frame of source.
TEST(FramePipeline, ReducesByItsMethodWithTheToneOnThePictureAlone) {
    using orv::Dither;
    const struct {
        const char* what;
        orv::Reduction reduction;
        std::uint32_t grey;    // of the picture
        bool inside, outside;  // whether the frame is dark there
        const char* steps;
    } cases[] = {
        {"engrave", {}, 200, false, true, "e"},
        {"above the threshold", {Dither::Threshold, 127, false, {}}, 128, false, true, "e"},
        {"at it", {Dither::Threshold, 128, false, {}}, 128, true, true, "e"},
        {"inverted", {Dither::Threshold, 127, true, {}}, 128, true, false, "e"},
        {"toned", {Dither::Bayer, 127, false, {255, 1, 1}}, 0, false, true, "e"},
        {"toned engrave", {Dither::Engrave, 127, false, {100, 1, 1}}, 90, false, true, "e"},
        {"too small", {Dither::Bayer, 127, false, {}}, 0, false, false, "x"},
    };
    for (const auto& c : cases) {
        orv::ImageState state;
        orv::rnd::Sequence random;
        orv::FramePipeline pipeline(state, random);
        pipeline.setSourceFrame(c.steps[0] == 'x' ? 127 : 129, 65, 0xFF000000);
        pipeline.setReduction(c.reduction);
        Told told;
        pipeline.addSink(told);
        // 20 x 10 pixels at frame column 10, row 10: source row 11.
        const auto picture = orv::Picture::filled(20, 10, 0xFF000000 | c.grey * 0x010101);
        EXPECT_EQ(pipeline.takePicture(picture, 10, 11).ok(), c.steps[0] == 'e') << c.what;
        EXPECT_EQ(told.steps, c.steps) << c.what;
        pipeline.pack();
        for (int r = 0; r < 64 && told.steps == "e"; ++r) {
            for (int col = 0; col < 128; ++col) {
                const bool inside = col >= 10 && col < 30 && r >= 10 && r < 20;
                ASSERT_EQ(orv::frameDark(pipeline.pages(), col, r), inside ? c.inside : c.outside)
                    << c.what << " at " << col << "," << r;
            }
        }
    }
}

// Every method reduces a colour as the grey of its luma, by its own rule:
// BT.601, (299 R + 587 G + 114 B + 500) \ 1000, or the engrave's own,
// (3 B + 6 G + R) \ 10; the tone curve changes that luma.
TEST(FramePipeline, AColourIsTheGreyOfItsLumaToned) {
    using orv::Dither;
    auto frame = [](orv::Reduction reduction, std::uint32_t colour) {
        orv::ImageState state;
        orv::rnd::Sequence random;
        orv::FramePipeline pipeline(state, random);
        pipeline.setSourceFrame(129, 65, 0xFF000000);
        pipeline.setReduction(reduction);
        EXPECT_TRUE(pipeline.takePicture(orv::Picture::filled(129, 65, colour)).ok());
        pipeline.pack();
        return pipeline.pages();
    };
    for (Dither m : {Dither::Engrave, Dither::Threshold, Dither::Bayer, Dither::FloydSteinberg,
                     Dither::BlueNoise}) {
        const struct {
            std::uint32_t colour;
            int luma601, engrave;
        } colours[] = {
            {0xFFFF0000, 76, 25},    // red: 76.245
            {0xFF00FF00, 150, 153},  // green: 149.685
            {0xFF0000FA, 29, 75},    // blue 250: 28.5, halves go up
            {0xFF4080C0, 116, 140},
        };
        for (const auto& [colour, luma601, engrave] : colours) {
            const int luma = m == Dither::Engrave ? engrave : luma601;
            for (orv::ToneControls tone : {orv::ToneControls{}, orv::ToneControls{30, 1.5, 0.8}}) {
                const std::uint32_t grey = orv::ToneCurve(tone)(luma) * 0x010101u;
                EXPECT_EQ(frame({m, 100, false, tone}, colour),
                          frame({m, 100, false, {}}, 0xFF000000 | grey))
                    << int(m) << " " << std::hex << colour;
            }
        }
    }
}

#include "app/capture_clock.h"

#include "common/numbers.h"

#include <algorithm>
#include <climits>

namespace orv::app {

int captureIntervalMs(int framesPerSecond) {
    return static_cast<int>(num::roundHalfEven(1000.0 / static_cast<double>(framesPerSecond)));
}

Result<CaptureRectTexts> aimAtPlayer(double playerLeft, double playerTop, double windowLeft,
                                     double windowTop) {
    CaptureRectTexts t;
    // Left and top in single precision; width and height from the texts read
    // back in double precision; then left and top move one pixel on.
    t.text3 = num::formatSingle(static_cast<float>(playerLeft + windowLeft) / 15.0f);
    t.text4 = num::formatSingle(static_cast<float>(playerTop + windowTop + 210) / 15.0f);
    const Result<double> left = num::parseDouble(t.text3);
    const Result<double> top = num::parseDouble(t.text4);
    if (!left || !top) return fail("cannot aim at the player: " + (left ? top : left).error());
    t.text1 = num::formatDouble(left.value() + 1550);
    t.text2 = num::formatDouble(top.value() + 810);
    t.text3 = num::formatDouble(left.value() + 1);
    t.text4 = num::formatDouble(top.value() + 1);
    return t;
}

Result<CaptureRectValues> readCaptureRect(const std::string& text1, const std::string& text2,
                                          const std::string& text3, const std::string& text4) {
    CaptureRectValues v;
    Result<std::int16_t> w = num::parseInt16(text1, "capture width (Text1)");
    if (!w) return w.failure();
    Result<std::int16_t> h = num::parseInt16(text2, "capture height (Text2)");
    if (!h) return h.failure();
    Result<std::int32_t> left = num::parseInt32(text3, "capture left (Text3)");
    if (!left) return left.failure();
    Result<std::int32_t> top = num::parseInt32(text4, "capture top (Text4)");
    if (!top) return top.failure();
    v.width = w.value();
    v.height = h.value();
    v.left = left.value();
    v.top = top.value();
    return v;
}

GrabArea grabArea(std::int32_t left, std::int32_t top, std::int32_t extentX, std::int32_t extentY,
                  std::int32_t clientWidth, std::int32_t clientHeight) {
    auto axis = [](std::int64_t corner, std::int64_t extent, std::int64_t client, std::int32_t& at,
                   std::int32_t& size) {
        const std::int64_t kept = std::min<std::int64_t>(extent < 0 ? -extent : extent,
                                                         std::max<std::int64_t>(client, 0));
        const std::int64_t start = extent < 0 ? corner - kept : corner;
        at = static_cast<std::int32_t>(std::clamp<std::int64_t>(start, INT32_MIN, INT32_MAX));
        size = static_cast<std::int32_t>(kept);
    };
    GrabArea a;
    axis(left, extentX, clientWidth, a.x, a.width);
    axis(top, extentY, clientHeight, a.y, a.height);
    return a;
}

int twipsToPixels(double twips) {
    return static_cast<int>(num::roundHalfEven(twips / kTwipsPerPixel));
}

}  // namespace orv::app

// The number rules of the capture clock: frame rate and period, and the
// capture rectangle's four boxes.
#pragma once

#include <cstdint>
#include <string>

#include "common/result.h"

namespace orv::app {

// Twips per pixel of the layout (96 dots per inch).
inline constexpr int kTwipsPerPixel = 15;

// Where start capture puts the main window, in twips.
inline constexpr int kCaptureLeftTwips = 7000;
inline constexpr int kCaptureTopTwips = 3000;

// Lowest, highest and initial frame rate of HScroll1.
inline constexpr int kMinFrameRate = 1;
inline constexpr int kMaxFrameRate = 46;
inline constexpr int kInitialFrameRate = 31;

// Timer2's period for a frame rate: 1000 / fps rounded half to even (16 -> 62).
int captureIntervalMs(int framesPerSecond);

// CaptureRect as the four texts written by start capture.
struct CaptureRectTexts {
    std::string text3;  // left edge, pixels
    std::string text4;  // top edge, pixels
    std::string text1;  // width, twips
    std::string text2;  // height, twips
};

// Aims the capture rectangle at the player: positions in twips of the player
// within the window and of the window on the screen. With the design layout
// (120, 240 in a window at 7000, 3000) the texts are 475.6667, 231, 2024.6667
// and 1040, whatever the locale.
Result<CaptureRectTexts> aimAtPlayer(double playerLeft, double playerTop, double windowLeft,
                                     double windowTop);

// CaptureRect as read at each tick.
struct CaptureRectValues {
    std::int32_t left = 0;    // Text3, rounded half to even
    std::int32_t top = 0;     // Text4
    std::int16_t width = 0;   // Text1, twips as the grab's pixel extent
    std::int16_t height = 0;  // Text2
};

// Reads the boxes in the tick's order (width, height, left, top); a box that is
// not a number or out of range fails with a message naming the box and text.
Result<CaptureRectValues> readCaptureRect(const std::string& text1, const std::string& text2,
                                          const std::string& text3, const std::string& text4);

// The part of the screen a grab keeps: the rectangle at (left, top) with a
// signed extent, bounded by the picture's client size. A negative extent
// reaches left of (or above) the corner, so the kept part is the one next to
// the corner, inside the rectangle.
struct GrabArea {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};
GrabArea grabArea(std::int32_t left, std::int32_t top, std::int32_t extentX, std::int32_t extentY,
                  std::int32_t clientWidth, std::int32_t clientHeight);

// A twip length as whole pixels (rounded half to even).
int twipsToPixels(double twips);

}  // namespace orv::app

// The one-bit frame in its two forms: MonoFrame, one entry per pixel as the
// engrave writes it, and the packed LCD pages that the frame file, the
// preview and the serial link carry.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace orv {

// One-bit frame: entries 0..8191 hold 128 x 64 pixels column by column, each
// column from the bottom row up (entry 64c + 63 - r is column c, row r from
// the top).
using MonoFrameArray = std::array<std::int32_t, 8192>;

// Entry value of a light frame pixel (also the colour yellow); dark is 0.
inline constexpr std::int32_t MonoLight = 65535;

// Number of frame pixels, 128 x 64.
inline constexpr std::int32_t kMonoPixels = 8192;

// One packed frame: 8 pages of 128 column bytes, byte 128p + c being page p,
// column c; bit k of a byte is row k of its page (counted from the page's
// top), a set bit a dark pixel.
using FramePages = std::array<std::uint8_t, 1024>;

// The packed frame as the main window keeps it.
using LcdPageBufferArray = FramePages;

// Whether the pixel at (column, row from the top) of a frame is dark.
inline bool frameDark(const FramePages& f, int column, int row) {
    return (f[static_cast<std::size_t>(128 * (row / 8) + column)] >> (row % 8)) & 1;
}

}  // namespace orv

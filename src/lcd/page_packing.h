// Packing of the one-bit frame into the LCD's page layout.
#pragma once

#include <cstdint>
#include <span>

#include "lcd/frame.h"
#include "lcd/frame_size.h"

namespace orv {

// Packs a one-bit frame of `size` from its entries, each column from the
// bottom row up as MonoFrame holds them (entry height x c + height - 1 - r is
// column c, row r from the top; 0 is dark), into `pages` (size.bytes()):
// byte width x p + c holds rows 8p .. 8p + 7 of column c.
void packPages(std::span<const std::int32_t> entries, FrameSize size,
               std::span<std::uint8_t> pages);

// The same for the LCD's frame: frame pixel (column c, row r from the top) is
// entry 64c + 63 - r; byte 128p + c holds rows 8p .. 8p + 7 of column c.
void packLcdPages(const MonoFrameArray& MonoFrame, LcdPageBufferArray& LcdPageBuffer);

}  // namespace orv

// Packing of the one-bit frame into the LCD's page layout.
#pragma once

#include <array>
#include <cstdint>

#include "dib/img_state.h"

namespace orv {

// The packed frame: bytes 1..1024 are 8 pages of 128 column bytes; bit k of a
// byte is row k of its page (counted from the page's top), a set bit a dark
// pixel. Bytes 0 and 1025 are never written.
using LcdPageBufferArray = std::array<std::uint8_t, 1026>;

// Rewrites bytes 1..1024 of `LcdPageBuffer` from MonoFrame: frame pixel
// (column c, row r from the top) is entry 64c + 64 - r; byte 1 + 128p + c holds
// rows 8p .. 8p + 7 of column c.
void packLcdPages(const MonoFrameArray& MonoFrame, LcdPageBufferArray& LcdPageBuffer);

}  // namespace orv

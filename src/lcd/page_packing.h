// Packing of the one-bit frame into the LCD's page layout.
#pragma once

#include "lcd/frame.h"

namespace orv {

// Rewrites bytes 1..1024 of `LcdPageBuffer` from MonoFrame: frame pixel
// (column c, row r from the top) is entry 64c + 64 - r; byte 1 + 128p + c holds
// rows 8p .. 8p + 7 of column c.
void packLcdPages(const MonoFrameArray& MonoFrame, LcdPageBufferArray& LcdPageBuffer);

}  // namespace orv

// The .orv frame file: per frame a decimal line for each of its packed bytes
// (1024 at 128 x 64) and a line "F", every line ended by CR LF, appended frame
// by frame. A file of 128 x 64 frames has no header; one of another size
// begins with the line "ORV WxH".
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "common/result.h"
#include "lcd/frame_size.h"
#include "lcd/page_packing.h"

namespace orv {

// The record of a frame's packed bytes (LcdPageBuffer's 1,024 for the LCD's),
// final CR LF included.
std::string buildFrameRecord(std::span<const std::uint8_t> pages);

// What the header line of a frame file begins with.
inline constexpr std::string_view kFrameHeaderWord = "ORV ";

// What a frame file of `size` frames begins with: nothing at 128 x 64, else
// the line "ORV WxH" and its CR LF.
std::string frameFileHeader(FrameSize size);

// The frame file path the folder chooser composes: folder, separator, name and
// ".orv", without doubling a separator the folder already ends with.
std::string composeFramePath(const std::string& folder, const std::string& name, char separator);

// Page 0 of the buffer (bytes 0..127) as decimal lines, each ended by CR LF:
// the first 128 lines of the frame's record.
std::string buildPageListing(const LcdPageBufferArray& LcdPageBuffer);

}  // namespace orv

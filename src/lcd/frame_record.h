// The .orv frame file: per frame 1024 decimal lines of the packed bytes and a
// line "F", every line ended by CR LF, appended frame by frame, no header.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/result.h"
#include "lcd/page_packing.h"

namespace orv {

// Bytes of one record: 3075 (all values below 10) to 5123 (all 100 or more).
inline constexpr std::size_t kMinRecordBytes = 3075;
inline constexpr std::size_t kMaxRecordBytes = 5123;

// The record of LcdPageBuffer bytes 1..1024, final CR LF included.
std::string buildFrameRecord(const LcdPageBufferArray& LcdPageBuffer);

// The frame file path the folder chooser composes: folder, separator, name and
// ".orv", without doubling a separator the folder already ends with.
std::string composeFramePath(const std::string& folder, const std::string& name, char separator);

// Page 0 of the buffer (bytes 1..128) as decimal lines, each ended by CR LF:
// the first 128 lines of the frame's record.
std::string buildPageListing(const LcdPageBufferArray& LcdPageBuffer);

}  // namespace orv

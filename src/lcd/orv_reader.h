// A strict reader of .orv frame files.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "common/result.h"
#include "lcd/frame.h"

namespace orv {

// Reads records from `text`, calling `frame` for each whole record in order.
// Lines must end with CR LF; values are decimal 0..255 without sign or leading
// zeros; each record is 1024 values and a line "F". The first fault gives a
// failure "line N: what is wrong" and stops. The result is the frame count.
Result<std::uint64_t> readFrameRecords(std::string_view text,
                                       const std::function<void(const FramePages&)>& frame);

// The same for a file; a failure names the file.
Result<std::uint64_t> readFrameFile(const std::string& path,
                                    const std::function<void(const FramePages&)>& frame);

}  // namespace orv

// A strict reader of .orv frame files.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "common/result.h"

namespace orv {

// One frame record: the 1024 packed bytes, page by page.
using FramePages = std::array<std::uint8_t, 1024>;

// Reads records from `text`, calling `frame` for each whole record in order.
// Lines must end with CR LF; values are decimal 0..255 without sign or leading
// zeros; each record is 1024 values and a line "F". The first fault gives a
// failure "line N: what is wrong" and stops. The result is the frame count.
Result<std::uint64_t> readFrameRecords(std::string_view text,
                                       const std::function<void(const FramePages&)>& frame);

// The same for a file; a failure names the file.
Result<std::uint64_t> readFrameFile(const std::string& path,
                                    const std::function<void(const FramePages&)>& frame);

// Whether the pixel at (column, row from the top) of a frame is dark.
inline bool frameDark(const FramePages& f, int column, int row) {
    return (f[static_cast<std::size_t>(128 * (row / 8) + column)] >> (row % 8)) & 1;
}

}  // namespace orv

// The frames of an input that is a frame file or a frame stream (docs/codec.md),
// known by its first bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "common/result.h"
#include "lcd/codec.h"
#include "lcd/frame.h"

namespace orv::cli {

// Reads every frame of `path` in order, each in the frame file's own
// polarity (a set bit is a dark pixel) whatever the stream's, and counts
// them. `stream` is given the stream's header when the input is a stream.
// Fails in one line naming the file, as readFrameFile does.
Result<std::uint64_t> readFrames(const std::string& path,
                                 const std::function<void(const FramePages&)>& frame,
                                 std::optional<codec::StreamInfo>* stream = nullptr);

// A stream's size beside the raw frames' 1,024 bytes a frame: "6.1x smaller
// than raw", or larger.
std::string sizeAgainstRaw(std::uint64_t frames, std::uint64_t bytes);

}  // namespace orv::cli

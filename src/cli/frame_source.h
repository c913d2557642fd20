// The frames of an input that is a frame file or a frame stream (docs/codec.md),
// known by its first bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "common/result.h"
#include "lcd/codec.h"
#include "lcd/orv_reader.h"

namespace orv::cli {

// Reads every frame of `path` in order, each in the frame file's own
// polarity (a set bit is a dark pixel) whatever the stream's, and counts
// them. `stream` is given the stream's header when the input is a stream,
// and `size` the frames' size (which a file of no frames has too). Fails in
// one line naming the file, as readFrameFile does.
Result<std::uint64_t> readFrames(const std::string& path, const FrameVisitor& frame,
                                 std::optional<codec::StreamInfo>* stream = nullptr,
                                 FrameSize* size = nullptr);

// A stream's size beside the raw frames' bytes (1,024 a frame at 128 x 64):
// "6.1x smaller than raw", or larger.
std::string sizeAgainstRaw(std::uint64_t frames, std::uint64_t bytes, FrameSize size = kLcdSize);

}  // namespace orv::cli

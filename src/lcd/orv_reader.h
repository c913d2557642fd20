// A strict reader of .orv frame files.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "common/result.h"
#include "lcd/frame_size.h"

namespace orv {

// How a read ended: the bytes taken by whole records (the header line with
// them; 0 while there is none), whether the one fault was a partial record at
// the end (what a crash or a full disk leaves; `orv repair` cuts it back to
// `wholeBytes`), and the frames' size.
struct ReadEnd {
    std::uint64_t wholeBytes = 0;
    bool partialTail = false;
    FrameSize size = kLcdSize;
};

// What a frame reader hands out: each whole record, in order.
using FrameVisitor = std::function<void(const Frame&)>;

// Reads records from `text`, calling `frame` for each whole record in order.
// Lines must end with CR LF. A file of 128 x 64 frames has no header; one of
// any other size begins with the line "ORV WxH" (frameFileHeader()), which a
// reader of 128 x 64 files alone refuses as no value. Values are decimal
// 0..255 without sign or leading zeros; each record is a frame's bytes
// (1024 values at 128 x 64) and a line "F". The first fault gives a one-line
// failure "line N: what is wrong" (bytes of the file shown escaped) and
// stops; a line can be no longer than "255" with its CR LF (the header than
// "ORV 256x128" with its), so a fault is found without reading on. The
// result is the frame count.
Result<std::uint64_t> readFrameRecords(std::string_view text, const FrameVisitor& frame,
                                       ReadEnd* end = nullptr);

// The same for a file, in bounded memory; a failure names the file, and a
// file that does not begin with a value line is named as no frame file. Only
// a regular file is read (a pipe or a device is refused without waiting on it).
Result<std::uint64_t> readFrameFile(const std::string& path, const FrameVisitor& frame,
                                    ReadEnd* end = nullptr);

// The same for the regular file open at `fd`, read from its start whatever
// the descriptor's offset; `path` names it in a failure.
Result<std::uint64_t> readFrameDescriptor(int fd, const std::string& path,
                                          const FrameVisitor& frame, ReadEnd* end = nullptr);

// Whether `bytes` (what follows the last whole record of a file of `size`
// frames) is the beginning of a record that was cut short: whole value lines,
// perhaps a cut line, no more values than a frame has and at most the start
// of its "F" line.
bool isPartialRecord(std::string_view bytes, FrameSize size = kLcdSize);

// Text of the file for a message: at most `limit` bytes, control and
// non-ASCII bytes as \xNN.
std::string escapedBytes(std::string_view bytes, std::size_t limit = 20);

}  // namespace orv

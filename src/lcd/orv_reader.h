// A strict reader of .orv frame files.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "common/result.h"
#include "lcd/frame.h"

namespace orv {

// How a read ended: the bytes taken by whole records, and whether the one
// fault was a partial record at the end (what a crash or a full disk leaves;
// `orv repair` cuts it back to `wholeBytes`).
struct ReadEnd {
    std::uint64_t wholeBytes = 0;
    bool partialTail = false;
};

// Reads records from `text`, calling `frame` for each whole record in order.
// Lines must end with CR LF; values are decimal 0..255 without sign or leading
// zeros; each record is 1024 values and a line "F". The first fault gives a
// one-line failure "line N: what is wrong" (bytes of the file shown escaped)
// and stops; a line can be no longer than "255" with its CR LF, so a fault is
// found without reading on. The result is the frame count.
Result<std::uint64_t> readFrameRecords(std::string_view text,
                                       const std::function<void(const FramePages&)>& frame,
                                       ReadEnd* end = nullptr);

// The same for a file, in bounded memory; a failure names the file, and a
// file that does not begin with a value line is named as no frame file. Only
// a regular file is read (a pipe or a device is refused without waiting on it).
Result<std::uint64_t> readFrameFile(const std::string& path,
                                    const std::function<void(const FramePages&)>& frame,
                                    ReadEnd* end = nullptr);

// The same for the regular file open at `fd`, read from its start whatever
// the descriptor's offset; `path` names it in a failure.
Result<std::uint64_t> readFrameDescriptor(int fd, const std::string& path,
                                          const std::function<void(const FramePages&)>& frame,
                                          ReadEnd* end = nullptr);

// Whether `bytes` (what follows the last whole record of a file) is the
// beginning of a record that was cut short: whole value lines, perhaps a cut
// line, no more than 1024 values and at most the start of its "F" line.
bool isPartialRecord(std::string_view bytes);

// Text of the file for a message: at most `limit` bytes, control and
// non-ASCII bytes as \xNN.
std::string escapedBytes(std::string_view bytes, std::size_t limit = 20);

}  // namespace orv

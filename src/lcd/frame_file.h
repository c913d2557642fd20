// Appending records to a frame file so that it only ever holds whole records:
// one write per record, under an exclusive lock, on a regular file only; a
// partial record left at the end by a crash or a full disk is cut back before
// anything is added, but only where all before it are whole records.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/result.h"
#include "lcd/frame_size.h"

namespace orv {

// What an append did.
struct Appended {
    std::uint64_t previousLength = 0;  // the file's length before the record
    std::uint64_t cutBack = 0;         // bytes of a partial record cut from the end first
    bool created = false;              // the file did not exist before
};

// Appends `record`, of a frame of `size`, to the frame file at `path`,
// creating it when missing; an empty file gets the header of its size first
// (frameFileHeader()), in the same write. Refuses, without waiting, anything
// but a regular file or a path that does not exist yet (a pipe, a device, a
// folder, a link to nothing). With `checkEnd`, the whole file is read first:
// a partial record after whole ones is cut back (Appended::cutBack, which the
// caller must make known), and anything else that is not a whole frame file
// of `size` frames is refused untouched. All or nothing: a failed write is cut
// back to the length before it. The failure names the path and why.
Result<Appended> appendFrameRecord(const std::string& path, std::string_view record,
                                   FrameSize size = kLcdSize, bool checkEnd = true);

// Appends `record` to a frame file of `size` frames the caller has open (and
// alone writes), whole or not at all; `path` names it in a failure.
Result<Appended> appendToOpenFrameFile(int fd, const std::string& path, std::string_view record,
                                       FrameSize size = kLcdSize);

// Takes back an append: cuts the file back to its length before it. A file the
// append created goes away again; one that existed before is never removed.
Status undoAppend(const std::string& path, const Appended& appended);

// Appends to frame files, checking a file (as appendFrameRecord with
// `checkEnd`) before the first append to it and again after a failed one.
class FrameAppender {
  public:
    Result<Appended> append(const std::string& path, std::string_view record,
                            FrameSize size = kLcdSize);

  private:
    std::string checked_;  // the file known to be whole
};

// Cuts a partial record from the end of the frame file at `path`; the number
// of bytes cut. A file broken anywhere else is refused untouched.
Result<std::uint64_t> repairFrameFile(const std::string& path);

}  // namespace orv

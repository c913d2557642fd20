// Where the records of a run go: a new OUTPUT, the end of an existing one, or
// a temporary file beside it that replaces it when the run succeeds. Records
// go out whole.
#pragma once

#include <cstdint>
#include <string>

#include "common/result.h"
#include "lcd/frame_file.h"

namespace orv::cli {

class RecordSink {
  public:
    enum class Mode { New, Append, Replace };
    RecordSink(std::string output, Mode mode);
    ~RecordSink();
    RecordSink(const RecordSink&) = delete;
    RecordSink& operator=(const RecordSink&) = delete;

    // Gets the target ready: for Append the existing file must be a frame
    // file that ends in a whole record; for Replace a temporary file is made
    // beside OUTPUT (and temporary files of earlier runs that were killed are
    // removed). Nothing is created for New until the first record.
    Status open();
    Status write(const std::string& record);
    // Puts the result in place.
    Status finish();
    // After a failure: nothing of this run stays but the whole records that
    // went into a new or appended OUTPUT; a replaced OUTPUT is as it was.
    void abandon();

    std::uint64_t written() const { return written_; }

  private:
    std::string output_, temporary_;
    Mode mode_;
    int fd_ = -1;  // the temporary file, for Replace
    FrameAppender appender_;
    std::uint64_t written_ = 0;
};

// Removes temporary files that runs replacing `output` left behind when they
// were killed: regular files of this user named OUTPUT.part-PID-XXXXXX whose
// process is gone. The number removed.
int removeStaleTemporaries(const std::string& output);

}  // namespace orv::cli

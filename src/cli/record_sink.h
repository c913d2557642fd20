// Where the records of a run go: a new OUTPUT, the end of an existing one, or
// a temporary file beside it that replaces it when the run succeeds. Records
// go out whole, the first of a file of frames of another size than 128 x 64
// with the file's header line. As the frame pipeline's sink, it files every
// record the pipeline makes.
#pragma once

#include <cstdint>
#include <string>

#include "cli/replacement_file.h"
#include "common/result.h"
#include "dib/frame_pipeline.h"
#include "lcd/frame_file.h"

namespace orv::cli {

class RecordSink : public FrameSink {
  public:
    enum class Mode { New, Append, Replace, Stdout };
    RecordSink(std::string output, Mode mode, FrameSize size = kLcdSize)
        : output_(output), mode_(mode), replacement_(output), size_(size) {}

    // Gets the target ready: for Append the existing file must be a frame
    // file of frames of the sink's size that ends in a whole record; for
    // Replace the temporary file is made. Nothing is created for New until
    // the first record.
    Status open();
    Status write(const std::string& record);
    Status recorded(const std::string& record) override { return write(record); }
    // Puts the result in place.
    Status finish();
    // After a failure: nothing of this run stays but the whole records that
    // went into a new or appended OUTPUT; a replaced OUTPUT is as it was.
    void abandon() { replacement_.abandon(); }

    std::uint64_t written() const { return written_; }
    // What the last write to a new or appended OUTPUT did, to take it back.
    const Appended& appended() const { return appended_; }

  private:
    std::string output_;
    Mode mode_;
    ReplacementFile replacement_;
    FrameAppender appender_;
    Appended appended_;
    FrameSize size_;
    std::uint64_t written_ = 0;
};

}  // namespace orv::cli

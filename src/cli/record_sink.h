// Where the records of a run go: a new OUTPUT, the end of an existing one, or
// a temporary file beside it that replaces it when the run succeeds. Records
// go out whole.
#pragma once

#include <cstdint>
#include <string>

#include "common/result.h"

namespace orv::cli {

class RecordSink {
  public:
    enum class Mode { New, Append, Replace };
    RecordSink(std::string output, Mode mode);

    Status write(const std::string& record);
    // Puts the result in place; a new OUTPUT with no frames is created empty.
    Status finish();
    // After a failure: a replacing run leaves the old file as it was.
    void abandon();

    std::uint64_t written() const { return written_; }

  private:
    std::string output_, target_;
    Mode mode_;
    std::uint64_t written_ = 0;
};

}  // namespace orv::cli

// A file written beside its target and put in its place only when whole: the
// target keeps its old content until commit(), and a run that fails or is
// stopped leaves no trace. The temporary file is made new and exclusively
// (OUTPUT.part-PID-XXXXXX, OUTPUT's name shortened where it is too long for
// that), so that nothing planted at its name is written through; ones left by
// runs that were killed are removed first.
#pragma once

#include <string>
#include <string_view>

#include "common/result.h"

namespace orv::cli {

class ReplacementFile {
  public:
    explicit ReplacementFile(std::string target) : target_(std::move(target)) {}
    ~ReplacementFile() { abandon(); }
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // Makes the temporary file. An existing target must be a regular file.
    Status open();
    int fd() const { return fd_; }
    const std::string& path() const { return temporary_; }
    // Writes all of `bytes`.
    Status write(std::string_view bytes);
    // Puts the temporary file in place of the target.
    Status commit();
    // Removes the temporary file.
    void abandon();

  private:
    std::string target_, temporary_;
    int fd_ = -1;
};

// Removes temporary files that runs writing `target` left behind when they
// were killed: regular files of this user named TARGET.part-PID-XXXXXX (see
// above) whose process is gone. The number removed.
int removeStaleTemporaries(const std::string& target);

}  // namespace orv::cli

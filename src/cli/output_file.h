// Where a command writes what it makes: standard output for "-", otherwise a
// file written beside the target and put in its place only when whole
// (ReplacementFile). Every write is checked, and so are the last sync and
// close.
#pragma once

#include <string>
#include <string_view>

#include "cli/replacement_file.h"
#include "common/result.h"

namespace orv::cli {

class OutputFile {
  public:
    explicit OutputFile(std::string target) : target_(target), file_(std::move(target)) {}

    bool toStdout() const { return target_ == "-"; }
    // The target as messages name it.
    std::string name() const;
    Status open();
    Status write(std::string_view bytes);
    // Puts the file in place; nothing to do for standard output.
    Status commit();
    // Drops what was written to a file.
    void abandon() { file_.abandon(); }
    // How a run that failed before commit() leaves the target, for its
    // message ("; ..."); nothing for standard output.
    std::string untouched() const;

  private:
    std::string target_;
    ReplacementFile file_;
};

// How a failed run leaves the file at `path`, which it never wrote: as it
// was, or not there at all.
std::string untouchedFile(const std::string& path);

// Refuses an OUTPUT that is INPUT itself, under whatever name, standard
// output ("-") included: writing it would destroy what is being read.
Status distinctFiles(const std::string& input, const std::string& output);

}  // namespace orv::cli

// `orv image`: the workbench's image operations on picture files.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace orv::cli {

// Exit statuses of the command line.
inline constexpr int kExitOk = 0;
inline constexpr int kExitIo = 1;     // unreadable input, unwritable output
inline constexpr int kExitUsage = 2;  // usage or parameter error, refused operation

extern const char* const kImageUsage;

// Runs `orv image` with the words after "image".
int runImage(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace orv::cli

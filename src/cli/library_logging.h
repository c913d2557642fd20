// FFmpeg's and Qt's own logging: silent unless the user asks for --verbose,
// so that every message of orv is its own, one line each.
#pragma once

#include <functional>
#include <string>

namespace orv::cli {

void setLibraryLogging(bool verbose);

// What the picture libraries say while `step` runs, as one line for a
// message: Qt's messages (libjpeg's warnings come that way) and what they
// write straight to standard error (libpng's errors). With --verbose it also
// goes out as before.
std::string libraryWords(const std::function<void()>& step);

}  // namespace orv::cli

// FFmpeg's and Qt's own logging: silent unless the user asks for --verbose,
// so that every message of orv is its own, one line each.
#pragma once

namespace orv::cli {

void setLibraryLogging(bool verbose);

}  // namespace orv::cli

#include "cli/output_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include "common/file.h"
#include "common/text.h"

namespace orv::cli {

std::string OutputFile::name() const {
    return toStdout() ? std::string("standard output") : quotedName(target_);
}

Status OutputFile::open() { return toStdout() ? Status(Done{}) : file_.open(); }

Status OutputFile::write(std::string_view bytes) {
    if (!toStdout()) return file_.write(bytes);
    if (Status written = writeAll(STDOUT_FILENO, bytes); !written) {
        return fail("cannot write to standard output: " + written.error());
    }
    return Done{};
}

std::string OutputFile::untouched() const {
    return toStdout() ? std::string() : "; " + untouchedFile(target_);
}

std::string untouchedFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? quotedName(path) + " is left as it was"
                                          : "nothing was written to " + quotedName(path);
}

Status OutputFile::commit() { return toStdout() ? Status(Done{}) : file_.commit(); }

Status distinctFiles(const std::string& input, const std::string& output) {
    struct stat in {
    }, out{};
    const bool toStdout = output == "-";
    if (::stat(input.c_str(), &in) == 0 &&
        (toStdout ? ::fstat(STDOUT_FILENO, &out) : ::stat(output.c_str(), &out)) == 0 &&
        in.st_dev == out.st_dev && in.st_ino == out.st_ino) {
        return fail(toStdout ? "standard output is INPUT itself (" + quotedName(input) + ")"
                             : "INPUT and OUTPUT are the same file (" + quotedName(output) + ")");
    }
    return Done{};
}

}  // namespace orv::cli

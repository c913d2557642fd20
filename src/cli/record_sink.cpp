#include "cli/record_sink.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/file.h"
#include "common/text.h"
#include "lcd/orv_reader.h"

namespace orv::cli {

Status RecordSink::open() {
    if (mode_ == Mode::Append) {
        struct stat st {};
        if (::stat(output_.c_str(), &st) != 0 && errno == ENOENT) {
            return fail("--append adds to an existing frame file, and " + quotedName(output_) +
                        " does not exist (leave out --append to make it)");
        }
        // The same rules as orv info: a file that is not whole is not added to.
        Result<std::uint64_t> frames = readFrameFile(output_, nullptr);
        if (!frames) return fail("nothing added (--append): " + frames.error());
        return Done{};
    }
    return mode_ == Mode::Replace ? replacement_.open() : Status(Done{});
}

Status RecordSink::write(const std::string& record) {
    if (mode_ == Mode::Stdout) {
        // All of a record, whatever signals or a slow pipe do in between, so
        // that the reader only ever sees whole records.
        if (Status written = writeAll(STDOUT_FILENO, record); !written) {
            return fail("cannot write to standard output: " + written.error());
        }
        ++written_;
        return Done{};
    }
    Result<Appended> r = mode_ == Mode::Replace
                             ? appendToOpenFrameFile(replacement_.fd(), replacement_.path(), record)
                             : appender_.append(output_, record);
    if (!r) return r.failure();
    appended_ = r.value();
    ++written_;
    return Done{};
}

Status RecordSink::finish() { return mode_ == Mode::Replace ? replacement_.commit() : Done{}; }

}  // namespace orv::cli

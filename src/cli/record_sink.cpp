#include "cli/record_sink.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/file.h"
#include "common/text.h"
#include "lcd/frame_record.h"
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
        ReadEnd end;
        Result<std::uint64_t> frames = readFrameFile(output_, nullptr, &end);
        if (!frames) return fail("nothing added (--append): " + frames.error());
        // An empty file takes frames of any size.
        if (end.size != size_ && !(frames.value() == 0 && end.size == kLcdSize)) {
            return fail("nothing added (--append): " + quotedName(output_) + " holds frames of " +
                        sizeWords(end.size) + ", not " + sizeWords(size_));
        }
        return Done{};
    }
    return mode_ == Mode::Replace ? replacement_.open() : Status(Done{});
}

Status RecordSink::write(const std::string& record) {
    if (mode_ == Mode::Stdout) {
        // All of a record, whatever signals or a slow pipe do in between, so
        // that the reader only ever sees whole records; the header with the
        // first.
        const std::string header = written_ == 0 ? frameFileHeader(size_) : std::string();
        if (Status written = writeAll(STDOUT_FILENO, header.empty() ? record : header + record);
            !written) {
            return fail("cannot write to standard output: " + written.error());
        }
        ++written_;
        return Done{};
    }
    Result<Appended> r =
        mode_ == Mode::Replace
            ? appendToOpenFrameFile(replacement_.fd(), replacement_.path(), record, size_)
            : appender_.append(output_, record, size_);
    if (!r) return r.failure();
    appended_ = r.value();
    ++written_;
    return Done{};
}

Status RecordSink::finish() { return mode_ == Mode::Replace ? replacement_.commit() : Done{}; }

}  // namespace orv::cli

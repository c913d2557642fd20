#include "cli/record_sink.h"

#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "lcd/orv_reader.h"

namespace orv::cli {

Status RecordSink::open() {
    if (mode_ == Mode::Append) {
        // The same rules as orv info: a file that is not whole is not added to.
        Result<std::uint64_t> frames = readFrameFile(output_, nullptr);
        if (!frames) return fail("cannot add to " + frames.error());
        return Done{};
    }
    return mode_ == Mode::Replace ? replacement_.open() : Status(Done{});
}

namespace {

// A record to standard output: all of it, whatever signals or a slow pipe do
// in between, so that the reader only ever sees whole records.
Status writeWhole(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            return fail("cannot write to standard output: " +
                        std::generic_category().message(n < 0 ? errno : EIO));
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return Done{};
}

}  // namespace

Status RecordSink::write(const std::string& record) {
    if (mode_ == Mode::Stdout) {
        if (Status s = writeWhole(STDOUT_FILENO, record); !s) return s;
        ++written_;
        return Done{};
    }
    Result<Appended> r = mode_ == Mode::Replace
                             ? appendToOpenFrameFile(replacement_.fd(), replacement_.path(), record)
                             : appender_.append(output_, record);
    if (!r) return fail(r.error());
    ++written_;
    return Done{};
}

Status RecordSink::finish() { return mode_ == Mode::Replace ? replacement_.commit() : Done{}; }

}  // namespace orv::cli

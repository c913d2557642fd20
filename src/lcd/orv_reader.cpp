#include "lcd/orv_reader.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <system_error>

namespace orv {
namespace {

Failure at(std::uint64_t line, const std::string& what) {
    return fail("line " + std::to_string(line) + ": " + what);
}

std::string shown(std::string_view s) {
    std::string q(1, '"');
    q.append(s.substr(0, 20));
    if (s.size() > 20) q.append("...");
    q.push_back('"');
    return q;
}

// Checks lines one at a time and hands out each whole record.
class RecordParser {
  public:
    explicit RecordParser(const std::function<void(const FramePages&)>& frame) : frame_(frame) {}

    // One line without its CR LF.
    Status line(std::string_view value) {
        ++line_;
        if (value.find('\r') != std::string_view::npos ||
            value.find('\n') != std::string_view::npos) {
            return at(line_, "a line break that is not CR LF");
        }
        if (filled_ == 1024) {
            if (value != "F")
                return at(line_, "expected \"F\" after 1024 values, found " + shown(value));
            if (frame_) frame_(pages_);
            ++frames_;
            filled_ = 0;
            return Done{};
        }
        if (value == "F") {
            return at(line_,
                      "\"F\" after only " + std::to_string(filled_) + " values (1024 needed)");
        }
        bool digits = !value.empty() && value.size() <= 3;
        for (char c : value) digits = digits && c >= '0' && c <= '9';
        if (!digits) return at(line_, shown(value) + " is not a decimal value 0..255");
        if (value.size() > 1 && value[0] == '0')
            return at(line_, shown(value) + " has a leading zero");
        int v = 0;
        for (char c : value) v = v * 10 + (c - '0');
        if (v > 255) return at(line_, shown(value) + " is above 255");
        pages_[filled_++] = static_cast<std::uint8_t>(v);
        return Done{};
    }

    // The text after the last CR LF; empty for a well-formed file.
    Result<std::uint64_t> end(std::string_view rest) {
        if (!rest.empty()) {
            return at(line_ + 1,
                      "the file ends inside a line (no CR LF after " + shown(rest) + ")");
        }
        if (filled_ != 0) {
            return at(line_ + 1, "the file ends inside a record (" + std::to_string(filled_) +
                                     " values, no \"F\")");
        }
        return frames_;
    }

    // Feeds whole lines from `text`; returns how much of it was used.
    Result<std::size_t> feed(std::string_view text) {
        std::size_t pos = 0;
        for (std::size_t end; (end = text.find("\r\n", pos)) != std::string_view::npos;
             pos = end + 2) {
            if (Status s = line(text.substr(pos, end - pos)); !s) return fail(s.error());
        }
        return pos;
    }

  private:
    const std::function<void(const FramePages&)>& frame_;
    FramePages pages_{};
    std::size_t filled_ = 0;  // values of the current record
    std::uint64_t frames_ = 0;
    std::uint64_t line_ = 0;
};

}  // namespace

Result<std::uint64_t> readFrameRecords(std::string_view text,
                                       const std::function<void(const FramePages&)>& frame) {
    RecordParser parser(frame);
    Result<std::size_t> used = parser.feed(text);
    if (!used) return fail(used.error());
    return parser.end(text.substr(used.value()));
}

Result<std::uint64_t> readFrameFile(const std::string& path,
                                    const std::function<void(const FramePages&)>& frame) {
    errno = 0;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                         &std::fclose);
    if (!file) {
        return fail("cannot read frame file \"" + path +
                    "\": " + std::generic_category().message(errno ? errno : ENOENT));
    }
    // A chunk at a time, so that long recordings need not fit in memory.
    RecordParser parser(frame);
    std::string pending;
    std::string chunk(1 << 20, '\0');
    for (;;) {
        const std::size_t got = std::fread(chunk.data(), 1, chunk.size(), file.get());
        if (got == 0) break;
        pending.append(chunk.data(), got);
        Result<std::size_t> used = parser.feed(pending);
        if (!used) return fail("\"" + path + "\" " + used.error());
        pending.erase(0, used.value());
    }
    if (std::ferror(file.get())) return fail("cannot read frame file \"" + path + "\"");
    Result<std::uint64_t> frames = parser.end(pending);
    if (!frames) return fail("\"" + path + "\" " + frames.error());
    return frames;
}

}  // namespace orv

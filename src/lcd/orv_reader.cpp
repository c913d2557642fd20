#include "lcd/orv_reader.h"

#include "common/file.h"
#include "common/text.h"
#include "lcd/codec.h"
#include "lcd/frame_record.h"

namespace orv {
namespace {

// The longest line, "255" and its CR LF; the header's, "ORV 256x128" and its.
constexpr std::size_t kLongestLine = 5, kLongestHeader = 13;

Failure at(std::uint64_t line, const std::string& what) {
    return fail("line " + std::to_string(line) + ": " + what);
}

std::string shown(std::string_view s) {
    std::string q(1, '"');
    q += escapedBytes(s);
    q += '"';
    return q;
}

// The value of one value line (without its CR LF), or what is wrong with it.
Result<int> lineValue(std::string_view value) {
    bool digits = !value.empty() && value.size() <= 3;
    for (char c : value) digits = digits && c >= '0' && c <= '9';
    if (!digits) return fail(shown(value) + " is not a decimal value 0..255");
    if (value.size() > 1 && value[0] == '0') return fail(shown(value) + " has a leading zero");
    int v = 0;
    for (char c : value) v = v * 10 + (c - '0');
    if (v > 255) return fail(shown(value) + " is above 255");
    return v;
}

// Whether `cut` can begin a value line ("2", "25", "255", "255\r").
bool valueLinePrefix(std::string_view cut) {
    if (!cut.empty() && cut.back() == '\r') cut.remove_suffix(1);
    if (cut.empty()) return false;
    for (char c : cut) {
        if (c < '0' || c > '9') return false;
    }
    return cut.size() == 3 ? static_cast<bool>(lineValue(cut)) : !(cut.size() > 1 && cut[0] == '0');
}

// Checks lines one at a time and hands out each whole record.
class RecordParser {
  public:
    // Keeps a reference to `frame`, which must outlive the parser: a temporary
    // (as a nullptr turns into) is refused. Frames are of `size` until a
    // header line says otherwise.
    explicit RecordParser(const FrameVisitor& frame, FrameSize size = kLcdSize)
        : frame_(frame), pages_(size) {}
    explicit RecordParser(FrameVisitor&&, FrameSize = kLcdSize) = delete;

    // One line without its CR LF.
    Status line(std::string_view value) {
        ++line_;
        if (value.find('\r') != std::string_view::npos) {
            return at(line_, "a carriage return inside the line");
        }
        if (line_ == 1 && value.starts_with(kFrameHeaderWord)) return header(value);
        const std::size_t values = pages_.byteCount();
        if (filled_ == values) {
            if (value != "F") {
                return at(line_, "expected \"F\" after " + std::to_string(values) +
                                     " values, found " + shown(value));
            }
            if (frame_) frame_(pages_);
            ++frames_;
            filled_ = 0;
            recordEnd_ = consumed_;
            return Done{};
        }
        if (value == "F") {
            return at(line_, "\"F\" after only " + std::to_string(filled_) + " values (" +
                                 std::to_string(values) + " needed)");
        }
        Result<int> v = lineValue(value);
        if (!v) return at(line_, v.error());
        pages_[filled_++] = static_cast<std::uint8_t>(v.value());
        return Done{};
    }

    // The header line "ORV WxH": the frames' size.
    Status header(std::string_view value) {
        Result<FrameSize> size = parseFrameSize(value.substr(kFrameHeaderWord.size()), "the size");
        if (!size) return at(line_, shown(value) + " is no header line: " + size.error());
        if (size.value() == kLcdSize) {
            return at(line_, shown(value) + ": a file of 128 x 64 frames has no header line");
        }
        pages_ = Frame(size.value());
        return Done{};
    }

    // Feeds whole lines from `text`; returns how much of it was used. What is
    // left is at most the start of one line, or the fault is given now.
    Result<std::size_t> feed(std::string_view text) {
        std::size_t pos = 0;
        for (std::size_t end;; pos = end + 2) {
            end = text.find('\n', pos);
            if (end == std::string_view::npos) break;
            if (end == pos || text[end - 1] != '\r') {
                return at(line_ + 1, "a line break that is not CR LF (LF alone)");
            }
            --end;  // at the CR
            consumed_ += end + 2 - pos;
            if (Status s = line(text.substr(pos, end - pos)); !s) return s.failure();
        }
        const std::string_view rest = text.substr(pos);
        const bool header = line_ == 0 && rest.starts_with(kFrameHeaderWord.substr(0, rest.size()));
        if (rest.size() >= (header ? kLongestHeader : kLongestLine)) {
            return at(line_ + 1, shown(rest) + " is not a line of a frame file");
        }
        return pos;
    }

    // The text after the last CR LF; empty for a well-formed file.
    Result<std::uint64_t> end(std::string_view rest, ReadEnd* where) {
        if (where) where->wholeBytes = recordEnd_;
        if (where) where->size = pages_.size();
        if (rest.empty() && filled_ == 0) return frames_;
        const bool cutLine = !rest.empty();
        const bool partial = !cutLine || valueLinePrefix(rest) ||
                             (filled_ == pages_.byteCount() && (rest == "F" || rest == "F\r"));
        if (where) where->partialTail = partial;
        if (partial) {
            const std::string values = std::to_string(filled_);
            // Only a partial record after whole ones is cut back: a file that
            // has none is no frame file yet.
            const char* repair =
                recordEnd_ > 0 ? "; orv repair cuts it back" : " before any whole one";
            return at(line_ + 1, cutLine
                                     ? joined({"the file ends inside a line, in a partial record (",
                                               values, " values and no \"F\")", repair})
                                     : joined({"the file ends inside a record (", values,
                                               " values and no \"F\"): a partial record", repair}));
        }
        return at(line_ + 1, "the file ends inside a line (no CR LF after " + shown(rest) + ")");
    }

  private:
    const FrameVisitor& frame_;
    Frame pages_;
    std::size_t filled_ = 0;  // values of the current record
    std::uint64_t frames_ = 0;
    std::uint64_t line_ = 0;
    std::uint64_t consumed_ = 0;   // bytes of whole lines taken
    std::uint64_t recordEnd_ = 0;  // bytes up to the end of the last whole record
};

}  // namespace

std::string escapedBytes(std::string_view bytes, std::size_t limit) {
    static const char* const kHex = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < bytes.size() && i < limit; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b >= 0x20 && b < 0x7F && b != '\\' && b != '"') {
            out.push_back(static_cast<char>(b));
        } else {
            out += "\\x";
            out.push_back(kHex[b >> 4]);
            out.push_back(kHex[b & 15]);
        }
    }
    if (bytes.size() > limit) out += "...";
    return out;
}

bool isPartialRecord(std::string_view bytes, FrameSize size) {
    const FrameVisitor none;
    RecordParser parser(none, size);
    Result<std::size_t> used = parser.feed(bytes);
    if (!used) return false;
    ReadEnd end;
    Result<std::uint64_t> frames = parser.end(bytes.substr(used.value()), &end);
    // Whole records inside make it more than a partial one.
    return !frames && end.partialTail && end.wholeBytes == 0;
}

Result<std::uint64_t> readFrameRecords(std::string_view text, const FrameVisitor& frame,
                                       ReadEnd* end) {
    RecordParser parser(frame);
    Result<std::size_t> used = parser.feed(text);
    if (!used) return used.failure();
    return parser.end(text.substr(used.value()), end);
}

Result<std::uint64_t> readFrameDescriptor(int fd, const std::string& path,
                                          const FrameVisitor& frame, ReadEnd* end) {
    // A chunk at a time, so that long recordings need not fit in memory.
    RecordParser parser(frame);
    std::string pending, start;
    std::string chunk(1 << 20, '\0');
    // A fault in a file that does not even begin as a frame file does names
    // it as what it is not, rather than the fault of its first line.
    auto broken = [&](const std::string& why) {
        const bool frameFile = (!start.empty() && start[0] >= '0' && start[0] <= '9') ||
                               start.starts_with(kFrameHeaderWord);
        if (codec::looksLikeStream(start)) {
            return fail(quotedName(path) + " is a " + codec::kName +
                        " frame stream, not a frame file (orv info and orv export read streams)");
        }
        return fail(quotedName(path) +
                    (frameFile ? " " + why
                               : " is not a frame file (it begins \"" + escapedBytes(start) +
                                     "\", not with a value line)"));
    };
    for (std::uint64_t at = 0;;) {
        const Result<std::size_t> got = readAt(fd, chunk.data(), chunk.size(), at);
        if (!got) return fail("cannot read frame file " + quotedName(path) + ": " + got.error());
        if (got.value() == 0) break;
        at += got.value();
        pending.append(chunk.data(), got.value());
        if (start.size() < 21) start.append(pending, 0, 21 - start.size());
        Result<std::size_t> used = parser.feed(pending);
        if (!used) return broken(used.error());
        pending.erase(0, used.value());
    }
    Result<std::uint64_t> frames = parser.end(pending, end);
    if (!frames) return broken(frames.error());
    return frames;
}

Result<std::uint64_t> readFrameFile(const std::string& path, const FrameVisitor& frame,
                                    ReadEnd* end) {
    auto refuse = [&](const std::string& why) {
        return fail("cannot read frame file " + quotedName(path) + ": " + why);
    };
    // Not blocking: a pipe without a writer would wait for ever.
    const Result<Fd> fd = openToRead(path);
    if (!fd) return refuse(fd.error());
    const Result<FileInfo> info = fileInfo(fd.value().get());
    if (!info) return refuse(info.error());
    if (info.value().kind == FileKind::Folder) return refuse("it is a folder, not a frame file");
    if (info.value().kind != FileKind::Regular) {
        return refuse("it is not a regular file (a pipe or a device)");
    }
    return readFrameDescriptor(fd.value().get(), path, frame, end);
}

}  // namespace orv

#include "lcd/orv_reader.h"

#include <cstdio>
#include <fstream>
#include <iterator>
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

}  // namespace

Result<std::uint64_t> readFrameRecords(std::string_view text,
                                       const std::function<void(const FramePages&)>& frame) {
    FramePages pages{};
    std::size_t filled = 0;  // values of the current record
    std::uint64_t frames = 0;
    std::uint64_t line = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        ++line;
        const std::size_t end = text.find("\r\n", pos);
        if (end == std::string_view::npos) {
            return at(line, "the file ends inside a line (no CR LF after " +
                                shown(text.substr(pos)) + ")");
        }
        const std::string_view value = text.substr(pos, end - pos);
        pos = end + 2;
        if (value.find('\r') != std::string_view::npos ||
            value.find('\n') != std::string_view::npos) {
            return at(line, "a line break that is not CR LF");
        }
        if (filled == 1024) {
            if (value != "F")
                return at(line, "expected \"F\" after 1024 values, found " + shown(value));
            if (frame) frame(pages);
            ++frames;
            filled = 0;
            continue;
        }
        if (value == "F") {
            return at(line, "\"F\" after only " + std::to_string(filled) + " values (1024 needed)");
        }
        bool digits = !value.empty() && value.size() <= 3;
        for (char c : value) digits = digits && c >= '0' && c <= '9';
        if (!digits) return at(line, shown(value) + " is not a decimal value 0..255");
        if (value.size() > 1 && value[0] == '0')
            return at(line, shown(value) + " has a leading zero");
        int v = 0;
        for (char c : value) v = v * 10 + (c - '0');
        if (v > 255) return at(line, shown(value) + " is above 255");
        pages[filled++] = static_cast<std::uint8_t>(v);
    }
    if (filled != 0) {
        return at(line + 1, "the file ends inside a record (" + std::to_string(filled) +
                                " values, no \"F\")");
    }
    return frames;
}

Result<std::uint64_t> readFrameFile(const std::string& path,
                                    const std::function<void(const FramePages&)>& frame) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return fail("cannot read frame file \"" + path +
                    "\": " + std::generic_category().message(errno ? errno : ENOENT));
    }
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    if (in.bad()) return fail("cannot read frame file \"" + path + "\"");
    Result<std::uint64_t> r = readFrameRecords(text, frame);
    if (!r) return fail("\"" + path + "\" " + r.error());
    return r;
}

}  // namespace orv

#include "lcd/frame_record.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace orv {
namespace {

// "0\r\n" .. "255\r\n", one entry per byte value.
struct DecimalLines {
    char text[256][6];
    std::uint8_t length[256];
    constexpr DecimalLines() : text{}, length{} {
        for (int v = 0; v < 256; ++v) {
            int n = 0;
            if (v >= 100) text[v][n++] = static_cast<char>('0' + v / 100);
            if (v >= 10) text[v][n++] = static_cast<char>('0' + v / 10 % 10);
            text[v][n++] = static_cast<char>('0' + v % 10);
            text[v][n++] = '\r';
            text[v][n++] = '\n';
            length[v] = static_cast<std::uint8_t>(n);
        }
    }
};
constexpr DecimalLines kLines;

std::string reason(int error) { return std::generic_category().message(error); }

std::string describe(const char* action, const std::string& path, int error) {
    return std::string("cannot ") + action + " frame file \"" + path + "\": " + reason(error);
}

std::int64_t tell(std::FILE* f) {
#ifdef _WIN32
    return _ftelli64(f);
#else
    return ftello(f);
#endif
}

}  // namespace

std::string composeFramePath(const std::string& folder, const std::string& name, char separator) {
    std::string path = folder;
    if (path.empty() || path.back() != separator) path.push_back(separator);
    return path + name + ".orv";
}

std::string buildPageListing(const LcdPageBufferArray& LcdPageBuffer) {
    std::string listing;
    for (std::size_t i = 1; i <= 128; ++i) {
        listing.append(kLines.text[LcdPageBuffer[i]], kLines.length[LcdPageBuffer[i]]);
    }
    return listing;
}

std::string buildFrameRecord(const LcdPageBufferArray& LcdPageBuffer) {
    std::string record;
    record.resize(kMaxRecordBytes);
    char* out = record.data();
    for (std::size_t i = 1; i <= 1024; ++i) {
        const std::uint8_t v = LcdPageBuffer[i];
        for (int k = 0; k < 5; ++k) out[k] = kLines.text[v][k];  // fixed-size copy, then advance
        out += kLines.length[v];
    }
    *out++ = 'F';
    *out++ = '\r';
    *out++ = '\n';
    record.resize(static_cast<std::size_t>(out - record.data()));
    return record;
}

Result<std::uint64_t> appendFrameRecord(const std::string& path, std::string_view record) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const bool existed = fs::exists(fs::path(path), ec);

    errno = 0;
    std::FILE* f = std::fopen(path.c_str(), "ab");
    if (!f) return fail(describe("open", path, errno ? errno : EIO));

    int error = 0;
    std::int64_t previous = -1;
    if (std::fseek(f, 0, SEEK_END) == 0) previous = tell(f);
    if (previous < 0) error = errno ? errno : EIO;
    if (!error) {
        errno = 0;
        const std::size_t written = std::fwrite(record.data(), 1, record.size(), f);
        if (written != record.size() || std::fflush(f) != 0) error = errno ? errno : EIO;
    }
    if (std::fclose(f) != 0 && !error) error = errno ? errno : EIO;
    if (!error) return static_cast<std::uint64_t>(previous);

    // Take the partial record back.
    if (!existed) {
        fs::remove(fs::path(path), ec);
    } else if (previous >= 0) {
        fs::resize_file(fs::path(path), static_cast<std::uintmax_t>(previous), ec);
    }
    return fail(describe("write", path, error));
}

Status undoAppend(const std::string& path, std::uint64_t previousLength) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (previousLength == 0) {
        fs::remove(fs::path(path), ec);
    } else {
        fs::resize_file(fs::path(path), previousLength, ec);
    }
    if (ec) return fail("cannot restore frame file \"" + path + "\": " + ec.message());
    return Done{};
}

}  // namespace orv

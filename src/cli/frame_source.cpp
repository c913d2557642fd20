#include "cli/frame_source.h"

#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "common/text.h"
#include "lcd/orv_reader.h"

namespace orv::cli {
namespace {

// Streams are made for a microcontroller's flash: far below this.
constexpr std::uint64_t kLargestStream = std::uint64_t{1} << 30;

// The first bytes of a regular file (empty for anything else: the frame file
// reader says what is wrong with it).
std::string firstBytes(const std::string& path, std::size_t count) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    std::ifstream in(path, std::ios::binary);
    std::string bytes(count, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(count));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

}  // namespace

Result<std::uint64_t> readFrames(const std::string& path, const FrameVisitor& frame,
                                 std::optional<codec::StreamInfo>* stream, FrameSize* size) {
    if (!codec::looksLikeStream(firstBytes(path, 4))) {
        ReadEnd end;
        Result<std::uint64_t> read = readFrameFile(path, frame, &end);
        if (size) *size = end.size;
        return read;
    }
    std::ifstream in(path, std::ios::binary);
    std::string bytes;
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        bytes.append(buffer, static_cast<std::size_t>(in.gcount()));
        if (bytes.size() > kLargestStream) return fail(quotedName(path) + " is too large a stream");
    }
    if (in.bad()) return fail(quotedName(path) + " cannot be read");
    Result<codec::StreamInfo> info = codec::readStreamInfo(bytes);
    if (!info) return fail(quotedName(path) + ": " + info.error());
    const bool light = info.value().lightSetBit;
    Frame dark(info.value().size);
    Result<codec::StreamInfo> decoded = codec::decodeStream(bytes, [&](const Frame& f) {
        if (!frame) return;
        if (!light) return frame(f);
        for (std::size_t i = 0; i < f.byteCount(); ++i) dark[i] = static_cast<std::uint8_t>(~f[i]);
        frame(dark);
    });
    if (!decoded) return fail(quotedName(path) + ": " + decoded.error());
    if (stream) *stream = info.value();
    if (size) *size = info.value().size;
    return std::uint64_t{info.value().frames};
}

std::string sizeAgainstRaw(std::uint64_t frames, std::uint64_t bytes, FrameSize size) {
    const double raw = static_cast<double>(size.bytes()) * static_cast<double>(frames);
    const double coded = static_cast<double>(bytes);
    char text[48];
    std::snprintf(text, sizeof text, "%.1fx %s than raw", raw >= coded ? raw / coded : coded / raw,
                  raw >= coded ? "smaller" : "larger");
    return text;
}

}  // namespace orv::cli

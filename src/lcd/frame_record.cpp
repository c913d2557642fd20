#include "lcd/frame_record.h"

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

}  // namespace

std::string composeFramePath(const std::string& folder, const std::string& name, char separator) {
    std::string path = folder;
    if (path.empty() || path.back() != separator) path.push_back(separator);
    return path + name + ".orv";
}

std::string buildPageListing(const LcdPageBufferArray& LcdPageBuffer) {
    std::string listing;
    for (std::size_t i = 0; i < 128; ++i) {
        listing.append(kLines.text[LcdPageBuffer[i]], kLines.length[LcdPageBuffer[i]]);
    }
    return listing;
}

std::string frameFileHeader(FrameSize size) {
    return size == kLcdSize ? std::string()
                            : std::string(kFrameHeaderWord) + sizeName(size) + "\r\n";
}

std::string buildFrameRecord(std::span<const std::uint8_t> pages) {
    std::string record;
    record.resize(5 * pages.size() + 3);
    char* out = record.data();
    for (const std::uint8_t v : pages) {
        for (int k = 0; k < 5; ++k) out[k] = kLines.text[v][k];  // fixed-size copy, then advance
        out += kLines.length[v];
    }
    *out++ = 'F';
    *out++ = '\r';
    *out++ = '\n';
    record.resize(static_cast<std::size_t>(out - record.data()));
    return record;
}

}  // namespace orv

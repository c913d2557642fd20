#include "lcd/ascii_line.h"

namespace orv {

std::string buildAsciiLine(const AsciiBufferArray& AsciiBuffer) {
    std::string line;
    line.reserve(kAsciiLineChars);
    for (std::size_t i = 1; i <= kAsciiLineChars; ++i) {
        const std::uint8_t b = AsciiBuffer[i];
        line.push_back(static_cast<char>(b == 13 ? 12 : b));
    }
    return line;
}

}  // namespace orv

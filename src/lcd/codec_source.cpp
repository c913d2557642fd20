// A frame stream as C source, for a sketch to include.
#include <algorithm>
#include <cstdio>

#include "common/text.h"
#include "lcd/codec.h"
#include "lcd/frame_layout.h"

namespace orv::codec {
namespace {

// A file name fit for a C comment: no comment end, no line break.
std::string commentSafe(std::string text) {
    for (std::size_t at; (at = text.find("*/")) != std::string::npos;) text.replace(at, 2, "* /");
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
    return text;
}

}  // namespace

Result<std::string> streamAsC(const std::vector<std::uint8_t>& stream, const std::string& name,
                              const std::string& sourceName) {
    if (name.empty() || cIdentifier(name) != name) {
        // Built by append: GCC 12 warns falsely about "literal" + a temporary string.
        return fail(std::string(1, '"')
                        .append(commentSafe(name))
                        .append("\" is not a usable C identifier"));
    }
    Result<StreamInfo> info =
        readStreamInfo({reinterpret_cast<const char*>(stream.data()), stream.size()});
    if (!info) return info.failure();
    const StreamInfo& s = info.value();
    std::string upper = name;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; });
    const std::string m = upper + "_";
    char line[160];
    std::snprintf(line, sizeof line, " * Frames:   %u at %d frames a second (%.3f s)\n", s.frames,
                  s.fps, static_cast<double>(s.frames) / s.fps);
    const std::uint64_t raw = s.size.bytes() * s.frames;
    std::string t = "/* A " + std::string(kName) + " frame stream for a " + sizeWords(s.size) +
                    " one-bit display, written by orv export.\n";
    t += " * Source:   " + commentSafe(sourceName) + "\n";
    t += line;
    t += std::string(" * Polarity: ") + (s.lightSetBit ? "light (a set bit lights a pixel)\n"
                                                       : "dark (a set bit is a dark pixel)\n");
    std::snprintf(line, sizeof line, " (%.1f%% of the raw frames' %s bytes)\n",
                  100.0 * static_cast<double>(s.bytes) / static_cast<double>(raw),
                  groupedDigits(raw).c_str());
    t += " * Size:     " + groupedDigits(s.bytes) + " bytes" + line;
    t += " * Decode it with orv_codec.h (docs/codec.md). On AVR the array is in\n";
    t += " * program memory: define ORVC_PROGMEM before including orv_codec.h.\n */\n";
    t += "#ifndef " + m + "H\n#define " + m + "H\n\n#include <stdint.h>\n\n";
    t += "#if defined(__AVR__)\n#include <avr/pgmspace.h>\n";
    t += "#define " + m + "PROGMEM PROGMEM\n#else\n#define " + m + "PROGMEM\n#endif\n\n";
    t += "#if defined(__GNUC__)\n#define " + m + "UNUSED __attribute__((unused))\n";
    t += "#else\n#define " + m + "UNUSED\n#endif\n\n";
    t += "#define " + m + "FRAME_COUNT " + std::to_string(s.frames) + "\n";
    t += "#define " + m + "FPS " + std::to_string(s.fps) + "\n";
    t += "#define " + m + "BYTES " + std::to_string(s.bytes) + "\n";
    // A stream without the two is of 128 x 64 frames, as every stream was
    // before frames had other sizes.
    if (s.size != kLcdSize) {
        t += "#define " + m + "WIDTH " + std::to_string(s.size.width) + "\n";
        t += "#define " + m + "HEIGHT " + std::to_string(s.size.height) + "\n";
    }
    t += "\n";
    t += "static const uint8_t " + name + "[" + m + "BYTES] " + m + "PROGMEM " + m + "UNUSED = {\n";
    for (std::size_t i = 0; i < stream.size(); ++i) {
        std::snprintf(line, sizeof line, "%s0x%02x,", i % 16 == 0 ? "    " : " ",
                      static_cast<unsigned>(stream[i]));
        t += line;
        if (i % 16 == 15 || i + 1 == stream.size()) t += '\n';
    }
    t += "};\n\n#endif /* " + m + "H */\n";
    return t;
}

}  // namespace orv::codec

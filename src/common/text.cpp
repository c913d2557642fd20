#include "common/text.h"

namespace orv {
namespace {

bool continuation(std::string_view s, std::size_t at, unsigned char low = 0x80,
                  unsigned char high = 0xBF) {
    if (at >= s.size()) return false;
    const auto b = static_cast<unsigned char>(s[at]);
    return b >= low && b <= high;
}

// The length of the well-formed UTF-8 sequence at `at` (its second byte's
// range depends on the first, which rules out overlong forms and
// surrogates), or 0.
std::size_t sequenceLength(std::string_view s, std::size_t at) {
    const auto b = static_cast<unsigned char>(s[at]);
    if (b >= 0xC2 && b <= 0xDF) return continuation(s, at + 1) ? 2 : 0;
    if (b >= 0xE0 && b <= 0xEF) {
        const bool second = b == 0xE0   ? continuation(s, at + 1, 0xA0)
                            : b == 0xED ? continuation(s, at + 1, 0x80, 0x9F)
                                        : continuation(s, at + 1);
        return second && continuation(s, at + 2) ? 3 : 0;
    }
    if (b >= 0xF0 && b <= 0xF4) {
        const bool second = b == 0xF0   ? continuation(s, at + 1, 0x90)
                            : b == 0xF4 ? continuation(s, at + 1, 0x80, 0x8F)
                                        : continuation(s, at + 1);
        return second && continuation(s, at + 2) && continuation(s, at + 3) ? 4 : 0;
    }
    return 0;
}

}  // namespace

std::string escapedName(std::string_view name) {
    static const char* const kHex = "0123456789ABCDEF";
    std::string out;
    auto escape = [&](unsigned char b) {
        out += "\\x";
        out.push_back(kHex[b >> 4]);
        out.push_back(kHex[b & 15]);
    };
    for (std::size_t i = 0; i < name.size();) {
        const auto b = static_cast<unsigned char>(name[i]);
        if (b < 0x80) {
            if (b < 0x20 || b == 0x7F || b == '"' || b == '\\') {
                escape(b);
            } else {
                out.push_back(static_cast<char>(b));
            }
            ++i;
            continue;
        }
        const std::size_t length = sequenceLength(name, i);
        // The C1 controls (U+0080 .. U+009F) drive terminals as ESC does.
        const bool control = length == 2 && b == 0xC2 && continuation(name, i + 1, 0x80, 0x9F);
        if (length == 0 || control) {
            for (std::size_t k = 0; k < (control ? 2 : 1); ++k)
                escape(static_cast<unsigned char>(name[i + k]));
            i += control ? 2 : 1;
            continue;
        }
        out.append(name.substr(i, length));
        i += length;
    }
    return out;
}

std::string quotedName(std::string_view name) { return joined({"\"", escapedName(name), "\""}); }

}  // namespace orv

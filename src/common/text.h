// Joining pieces of text into one message, and file names shown in one.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace orv {

// The pieces one after the other. (Also the way round GCC 12's false
// -Wrestrict warning on "literal" + a temporary string.)
inline std::string joined(std::initializer_list<std::string_view> pieces) {
    std::string text;
    for (std::string_view p : pieces) text.append(p);
    return text;
}

// A count with its thousands marked: 12345678 as "12,345,678".
inline std::string groupedDigits(std::uint64_t n) {
    const std::string digits = std::to_string(n);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

// A count and its noun, singular for one: "1 frame", "2 frames".
inline std::string counted(unsigned long long n, std::string_view noun) {
    return joined({std::to_string(n), " ", noun, n == 1 ? "" : "s"});
}

// A file name as a message shows it: UTF-8 text as it is, but control
// characters, quotes, backslashes and bytes that are not UTF-8 as \xNN, so
// that no name can drive the terminal or hide what it is.
std::string escapedName(std::string_view name);
// The same in double quotes.
std::string quotedName(std::string_view name);

}  // namespace orv

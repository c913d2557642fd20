#include "serial/serial_rules.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "common/numbers.h"

namespace orv::serial {
namespace {

std::string trim(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

std::vector<std::string> splitFields(const std::string& text) {
    std::vector<std::string> fields;
    std::string field;
    for (char c : text) {
        if (c == ',') {
            fields.push_back(trim(field));
            field.clear();
        } else {
            field.push_back(c);
        }
    }
    fields.push_back(trim(field));
    return fields;
}

Failure bad(const std::string& text, const std::string& why) {
    return fail("port settings \"" + text + "\" cannot be used: " + why +
                " (the form is baud,parity,data bits,stop bits, for example 9600,n,8,1)");
}

}  // namespace

Result<PortSettings> parseSettings(const std::string& text) {
    const std::vector<std::string> f = splitFields(text);
    if (f.size() != 4) return bad(text, "it needs four fields");
    PortSettings s;
    bool digits = !f[0].empty();
    for (char c : f[0]) digits = digits && std::isdigit(static_cast<unsigned char>(c));
    Result<std::int32_t> baud = num::parseInt32(f[0], "baud rate");
    if (!digits || !baud || baud.value() < 1)
        return bad(text, "the baud rate is not a whole number above 0");
    s.baud = baud.value();
    if (f[1].size() != 1) return bad(text, "the parity is not one of n, e, o, m, s");
    switch (std::tolower(static_cast<unsigned char>(f[1][0]))) {
        case 'n':
            s.parity = Parity::None;
            break;
        case 'e':
            s.parity = Parity::Even;
            break;
        case 'o':
            s.parity = Parity::Odd;
            break;
        case 'm':
            s.parity = Parity::Mark;
            break;
        case 's':
            s.parity = Parity::Space;
            break;
        default:
            return bad(text, "the parity is not one of n, e, o, m, s");
    }
    if (f[2].size() != 1 || f[2][0] < '5' || f[2][0] > '8') {
        return bad(text, "the data bits are not 5, 6, 7 or 8");
    }
    s.dataBits = f[2][0] - '0';
    if (f[3] == "1") {
        s.stopBits = StopBits::One;
    } else if (f[3] == "1.5") {
        s.stopBits = StopBits::OneAndHalf;
    } else if (f[3] == "2") {
        s.stopBits = StopBits::Two;
    } else {
        return bad(text, "the stop bits are not 1, 1.5 or 2");
    }
    return s;
}

const char* portRuleText() {
#ifdef _WIN32
    return "n = COMn";
#else
    return "1-99 = /dev/ttyS0-98, 100-199 = /dev/ttyUSB0-99, "
           "200-299 = /dev/ttyACM0-99, 1000-1999 = /dev/pts/0-999";
#endif
}

Result<std::string> portDevice(std::int32_t number) {
#ifdef _WIN32
    if (number >= 1) return "COM" + std::to_string(number);
#else
    struct Range {
        std::int32_t first, last;
        const char* prefix;
    };
    for (const Range& r : {Range{1, 99, "/dev/ttyS"}, Range{100, 199, "/dev/ttyUSB"},
                           Range{200, 299, "/dev/ttyACM"}, Range{1000, 1999, "/dev/pts/"}}) {
        if (number >= r.first && number <= r.last)
            return r.prefix + std::to_string(number - r.first);
    }
#endif
    return fail("端口号 " + std::to_string(number) + " names no device (" + portRuleText() + ")");
}

std::string lineBytes(const std::u32string& text, std::size_t limit) {
    std::string bytes;
    const std::size_t n = std::min(limit, text.size());
    bytes.reserve(n + 1);
    for (std::size_t i = 0; i < n; ++i) {
        bytes.push_back(static_cast<char>(text[i] <= 0xFF ? text[i] : U'?'));
    }
    bytes.push_back('\r');
    return bytes;
}

std::size_t lineQuestionMarks(const std::u32string& text, std::size_t limit) {
    const std::size_t n = std::min(limit, text.size());
    return static_cast<std::size_t>(std::count_if(text.begin(),
                                                  text.begin() + static_cast<std::ptrdiff_t>(n),
                                                  [](char32_t c) { return c > 0xFF; }));
}

}  // namespace orv::serial

#include "common/numbers.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <system_error>

namespace orv::num {
namespace {

std::string quoted(std::string_view text) {
    std::string q;
    q.reserve(text.size() + 2);
    q.push_back('"');
    q.append(text);
    q.push_back('"');
    return q;
}

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    return text;
}

// True when `t` is sign? digits [. digits] [e sign? digits] with at least one
// mantissa digit; the grammar of a plain decimal number.
bool isDecimalSyntax(std::string_view t) {
    std::size_t i = 0;
    auto digits = [&] {
        std::size_t start = i;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i;
        return i - start;
    };
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    std::size_t mantissa = digits();
    if (i < t.size() && t[i] == '.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0) return false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
        if (digits() == 0) return false;
    }
    return i == t.size();
}

// printf's %.*G, but always with '.' as the decimal mark: std::to_chars does
// not look at the locale, where snprintf would write "474,6667" in a German one.
std::string formatSignificant(double value, int digits) {
    if (value == 0.0) return "0";  // also turns -0 into "0"
    char buf[64];
    const auto [end, ec] =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, digits);
    if (ec != std::errc()) return "0";  // cannot happen with 64 characters
    std::string text(buf, end);
    for (char& c : text) c = c == 'e' ? 'E' : c;
    return text;
}

template <class Int>
Result<Int> toInteger(double value, std::string_view what, const char* typeName) {
    if (!std::isfinite(value)) {
        return fail(std::string(what) + " is not a finite number");
    }
    const double r = roundHalfEven(value);
    if (r < static_cast<double>(std::numeric_limits<Int>::min()) ||
        r > static_cast<double>(std::numeric_limits<Int>::max())) {
        return fail(std::string(what) + " " + formatDouble(value) + " is outside the " + typeName +
                    " range " + std::to_string(std::numeric_limits<Int>::min()) + " .. " +
                    std::to_string(std::numeric_limits<Int>::max()));
    }
    return static_cast<Int>(r);
}

template <class T, class Convert>
Result<T> parseThen(std::string_view text, std::string_view what, Convert convert) {
    Result<double> d = parseDouble(text);
    if (!d) return fail(std::string(what) + ": " + d.error());
    return convert(d.value(), what);
}

}  // namespace

Result<double> parseDouble(std::string_view text) {
    const std::string_view t = trimBlanks(text);
    if (!isDecimalSyntax(t)) {
        return fail(quoted(text) + " is not a number");
    }
    std::string_view digits = t;
    if (digits.front() == '+') digits.remove_prefix(1);  // from_chars takes no '+'
    double value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec == std::errc::result_out_of_range) {
        return fail(quoted(text) + " is beyond the range of a Double");
    }
    if (ec != std::errc() || end != digits.data() + digits.size()) {
        return fail(quoted(text) + " is not a number");
    }
    return value;
}

Result<std::int16_t> toInt16(double value, std::string_view what) {
    return toInteger<std::int16_t>(value, what, "16-bit");
}

Result<std::int32_t> toInt32(double value, std::string_view what) {
    return toInteger<std::int32_t>(value, what, "32-bit");
}

Result<float> toSingle(double value, std::string_view what) {
    if (!std::isfinite(value) || std::fabs(value) > std::numeric_limits<float>::max()) {
        return fail(std::string(what) + " " + formatDouble(value) + " is outside the Single range");
    }
    return static_cast<float>(value);
}

Result<std::int16_t> parseInt16(std::string_view text, std::string_view what) {
    return parseThen<std::int16_t>(text, what,
                                   [](double d, std::string_view w) { return toInt16(d, w); });
}

Result<std::int32_t> parseInt32(std::string_view text, std::string_view what) {
    return parseThen<std::int32_t>(text, what,
                                   [](double d, std::string_view w) { return toInt32(d, w); });
}

Result<float> parseSingle(std::string_view text, std::string_view what) {
    return parseThen<float>(text, what,
                            [](double d, std::string_view w) { return toSingle(d, w); });
}

Result<std::uint64_t> parseUnsigned64(std::string_view text, std::string_view what) {
    const std::string_view t = trimBlanks(text);
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
    if (t.empty() || ec != std::errc() || end != t.data() + t.size()) {
        return fail(std::string(what) + ": " + quoted(text) +
                    " is not a whole number from 0 to 18446744073709551615");
    }
    return value;
}

Result<double> parseSeconds(std::string_view text, std::string_view what) {
    auto refuse = [&](std::string_view why) {
        std::string message(what);
        message.append(": ").append(quoted(text)).append(why);
        return fail(message);
    };
    const std::string_view kForms =
        " is not a time (seconds such as 90 or 1.5, M:SS or H:MM:SS, as in 1:30.5 or 0:01:30)";
    // Split into up to three fields at the colons.
    std::string_view fields[3];
    std::size_t count = 0;
    for (std::string_view rest = text;;) {
        if (count == 3) return refuse(kForms);
        const std::size_t colon = rest.find(':');
        fields[count++] = rest.substr(0, colon);
        if (colon == std::string_view::npos) break;
        rest.remove_prefix(colon + 1);
    }
    double total = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string_view f = fields[i];
        const bool last = i + 1 == count;
        const std::size_t whole = std::min(f.find_first_not_of("0123456789"), f.size());
        // Digits, and for the last field an optional '.' with digits after it.
        const bool fraction =
            last && whole < f.size() && f[whole] == '.' && whole + 1 < f.size() &&
            f.find_first_not_of("0123456789", whole + 1) == std::string_view::npos;
        if (whole == 0 || (whole < f.size() && !fraction)) return refuse(kForms);
        double value = 0;
        const auto [end, ec] = std::from_chars(f.data(), f.data() + f.size(), value);
        if (ec != std::errc() || end != f.data() + f.size() || !std::isfinite(value)) {
            return refuse(" is too large a time");
        }
        // In the colon forms every field but the hours is below 60.
        if (count > 1 && !(count == 3 && i == 0) && value >= 60) {
            return refuse(last         ? " is not a time: it needs seconds below 60"
                          : count == 2 ? " is not a time: it needs minutes below 60 (H:MM:SS "
                                         "for an hour or more)"
                                       : " is not a time: it needs minutes below 60");
        }
        total = total * 60 + value;
    }
    if (!std::isfinite(total)) return refuse(" is too large a time");
    return total;
}

std::string formatSingle(float value) { return formatSignificant(value, 7); }

std::string formatDouble(double value) {
    // Rounded to 15 digits, the largest magnitudes (from 1.797693134862315E+308
    // on) would read "1.79769313486232E+308", beyond the Double range, and the
    // text would not parse back; they are written as the largest 15-digit
    // value within the range instead.
    constexpr double kLargest15Digits = 1.79769313486231e308;
    if (std::isfinite(value) && std::fabs(value) > kLargest15Digits) {
        return value < 0 ? "-1.79769313486231E+308" : "1.79769313486231E+308";
    }
    return formatSignificant(value, 15);
}

}  // namespace orv::num

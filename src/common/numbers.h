// Number rules shared by every text box and command-line parameter:
// decimal text to number, round half to even, 16- and 32-bit ranges that fail
// instead of wrapping, Single/Double values as text, and times in seconds.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/result.h"

namespace orv::num {

// Decimal text to a double. Accepts surrounding blanks, a sign, digits with an
// optional fraction and an optional exponent ("1.2", "-3", ".5", "2e3").
// Anything else (empty text, letters, "inf", "nan", hex, a value beyond the
// double range) fails with a message that names the text.
Result<double> parseDouble(std::string_view text);

// Nearest integer, exact halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
// The tool never leaves the default floating-point rounding mode, which is
// exactly this rule.
inline double roundHalfEven(double value) { return std::nearbyint(value); }

// Rounded (half to even) into a 16- or 32-bit signed integer; out of range or
// not finite fails, never wraps. `what` names the value in the message.
Result<std::int16_t> toInt16(double value, std::string_view what = "value");
Result<std::int32_t> toInt32(double value, std::string_view what = "value");

// A double held as Single; fails when it lies beyond the Single range.
Result<float> toSingle(double value, std::string_view what = "value");

// Text straight to a rounded 16-/32-bit integer or a Single.
Result<std::int16_t> parseInt16(std::string_view text, std::string_view what = "value");
Result<std::int32_t> parseInt32(std::string_view text, std::string_view what = "value");
Result<float> parseSingle(std::string_view text, std::string_view what = "value");

// A whole decimal number 0 .. 2^64-1 (no sign, no fraction), for seeds.
Result<std::uint64_t> parseUnsigned64(std::string_view text, std::string_view what = "value");

// A time in seconds as a command line writes it: seconds ("90", "1.5"), M:SS
// ("1:30.5") or H:MM:SS ("0:01:30"), only the last field with a fraction.
// Fields are decimal digits (a fraction is '.' and at least one digit); no
// sign, exponent or blank. In the colon forms minutes and seconds are below
// 60; hours have no limit. A failure names `what` and the text.
Result<double> parseSeconds(std::string_view text, std::string_view what = "time");

// Plain decimal text without a leading blank: up to 7 (Single) or 15 (Double)
// significant digits, no trailing zeros, exponent form only for very large or
// very small magnitudes ("475.6667", "1040", "1E-05", "1.234568E+07").
std::string formatSingle(float value);
std::string formatDouble(double value);

}  // namespace orv::num

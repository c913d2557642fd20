// Fuzz target: the number rules on any text, and
// Single/Double values as text and back. Nothing may throw or abort; a parsed
// value agrees with the C library's reading of the same text; a formatted
// value parses back within its significant digits.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <type_traits>

#include "common/numbers.h"
#include "fuzz_check.h"

namespace {

namespace num = orv::num;

std::string_view trimmed(std::string_view t) {
    const char* blank = " \t\n\v\f\r";
    t.remove_prefix(std::min(t.find_first_not_of(blank), t.size()));
    return t.substr(0, t.find_last_not_of(blank) + 1);
}

// A Double or Single as text and back: within half a unit of the 15th or 7th
// digit (and the Single's own rounding), and for a Double the same text again.
template <class Real>
void roundTrip(Real value) {
    if (!std::isfinite(value)) return;
    constexpr bool single = std::is_same_v<Real, float>;
    const std::string text = single ? num::formatSingle(value) : num::formatDouble(value);
    const orv::Result<Real> back = [&] {
        if constexpr (single)
            return num::parseSingle(text);
        else
            return num::parseDouble(text);
    }();
    FUZZ_CHECK(back.ok());
    const double tolerance = (single ? 6e-7 : 6e-15) * std::fabs(double{value}) +
                             double{std::numeric_limits<Real>::denorm_min()};
    FUZZ_CHECK(std::fabs(double{back.value()} - double{value}) <= tolerance);
    if (!single) FUZZ_CHECK(num::formatDouble(back.value()) == text);
}

// What the integer rules must give for a parsed double.
template <class Int>
void checkInteger(const orv::Result<Int>& got, const orv::Result<double>& d,
                  std::string_view what) {
    const double rounded = d.ok() ? std::nearbyint(d.value()) : NAN;  // NaN fits no range
    FUZZ_CHECK(got.ok() == (rounded >= static_cast<double>(std::numeric_limits<Int>::min()) &&
                            rounded <= static_cast<double>(std::numeric_limits<Int>::max())));
    FUZZ_CHECK(got.ok() ? static_cast<double>(got.value()) == rounded
                        : got.error().rfind(what, 0) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string_view t = trimmed(text);

    // Double: the C library reads the same value from the same text.
    const orv::Result<double> d = num::parseDouble(text);
    if (d.ok()) {
        const std::string s(t);
        char* end = nullptr;
        const double c = std::strtod(s.c_str(), &end);
        FUZZ_CHECK(std::isfinite(d.value()) && end == s.c_str() + s.size() && c == d.value());
        roundTrip(d.value());
    } else {
        FUZZ_CHECK(d.error().find(text) != std::string::npos);
    }

    // 16- and 32-bit integers: rounded half to even, refused outside the range.
    checkInteger(num::parseInt16(text, "box"), d, "box");
    checkInteger(num::parseInt32(text, "box"), d, "box");

    // Single: the double held as Single, refused beyond the Single range.
    const orv::Result<float> f = num::parseSingle(text, "box");
    const bool single = d.ok() && std::fabs(d.value()) <= std::numeric_limits<float>::max();
    FUZZ_CHECK(f.ok() == single && (!single || f.value() == static_cast<float>(d.value())));
    if (f.ok()) roundTrip(f.value());

    // Any bit pattern as a Double and a Single: formatted, parsed back, and
    // through the integer rules, which refuse what is not finite.
    if (size >= sizeof(double)) {
        double raw;
        std::memcpy(&raw, data, sizeof raw);
        roundTrip(raw);
        checkInteger(num::toInt16(raw, "box"), orv::Result<double>(raw), "box");
        checkInteger(num::toInt32(raw, "box"), orv::Result<double>(raw), "box");
        FUZZ_CHECK(num::toSingle(raw).ok() ==
                   (std::isfinite(raw) && std::fabs(raw) <= std::numeric_limits<float>::max()));
    }
    if (size >= sizeof(float)) {
        float raw;
        std::memcpy(&raw, data + size - sizeof raw, sizeof raw);
        roundTrip(raw);
    }
    return 0;
}

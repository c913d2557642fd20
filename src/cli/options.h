// The options of a command, each declared once with its kind, value, range,
// default and help line: the parser, the help text and the bash completion
// are all made from that table.
#pragma once

#include <cmath>
#include <map>
#include <string>
#include <type_traits>
#include <vector>

#include "app/capture_clock.h"
#include "common/numbers.h"
#include "common/result.h"

namespace orv::cli {

struct Option {
    const char* name;            // given as --name
    const char* value;           // the value's name in the help text; nullptr: a flag
    const char* help;            // its lines in the help text; nullptr: not listed there
    const char* fallback = "";   // a text's value when not given
    const char* choices = "";    // its fixed values, for the completion and the parser
    double low = 0, high = -1;   // a number's range; low > high: not a number
    double initial = 0;          // a number's value when not given
    const char* only = nullptr;  // the operation it goes with (orv image)
};

// In help lines, "{range}" and "{default}" stand for the option's own range
// and default; elsewhere in a help text, "{default NAME}" for option NAME's.
inline Option flag(const char* name, const char* help) { return {name, nullptr, help}; }
inline Option text(const char* name, const char* value, const char* help, const char* fallback = "",
                   const char* choices = "") {
    return {name, value, help, fallback, choices};
}
inline Option number(const char* name, const char* value, const char* help, double low, double high,
                     double initial) {
    return {name, value, help, "", "", low, high, initial};
}

// --fps N: the capture clock's frame rates, its first one by default.
inline Option fpsOption(const char* help) {
    return number("fps", "N", help, app::kMinFrameRate, app::kMaxFrameRate, app::kInitialFrameRate);
}

// The option called `name` in `table`, or nullptr.
const Option* findOption(const std::vector<Option>& table, const std::string& name);

// Refuses the value `text` of option --`name` unless it is plain decimal
// text: an optional '-', digits and at most one '.', with no blank, '+' or
// exponent.
Status plainNumber(const std::string& name, const std::string& text);

struct Words {
    std::vector<std::string> positional;
    std::map<std::string, std::string> options;  // flags hold "1"
    const std::vector<Option>* table = nullptr;  // what they were split by
    bool has(const std::string& name) const { return options.count(name) > 0; }
    std::string get(const std::string& name, const std::string& fallback) const {
        auto it = options.find(name);
        return it == options.end() ? fallback : it->second;
    }
    // Option --name as given, or its default.
    std::string get(const std::string& name) const {
        return get(name, findOption(*table, name)->fallback);
    }
    // Option --name as given, one of its fixed values, or its default.
    Result<std::string> choice(const std::string& name) const;
    // Option --name as a number within its range, or its default; a whole
    // number when T is an integer type.
    template <class T>
    Result<T> number(const std::string& name) const {
        const Option& o = *findOption(*table, name);
        if (!has(name)) return static_cast<T>(o.initial);
        const std::string text = get(name);
        if (Status plain = plainNumber(name, text); !plain) return plain.failure();
        Result<double> v = num::parseDouble(text);
        if (!v) return fail("--" + name + ": " + v.error());
        if (v.value() < o.low || v.value() > o.high) {
            return fail("--" + name + " " + text + " is outside " + num::formatDouble(o.low) +
                        " .. " + num::formatDouble(o.high));
        }
        if (std::is_integral_v<T> && v.value() != std::floor(v.value())) {
            return fail("--" + name + " must be a whole number");
        }
        return static_cast<T>(v.value());
    }
};

// The value of `r` into `to`, or its failure.
template <class T>
Status into(const Result<T>& r, T& to) {
    if (!r) return r.failure();
    to = r.value();
    return Done{};
}

// The names of the displays that --display knows, for its choices.
const char* displayChoices();

// Options --set-bit dark|light (default dark) and --display NAME: whether a
// set bit lights a pixel. A display wants its own polarity; --set-bit may
// only repeat it.
Result<bool> optionSetBitLight(const Words& w);

}  // namespace orv::cli

// The options of a command, each declared once in its table with its kind,
// value, range, default, help line and the field of the command's options
// struct that it goes into: the parser, the help text and the bash
// completion are all made from that table.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "app/capture_clock.h"
#include "common/result.h"
#include "lcd/frame_size.h"

namespace orv::cli {

struct Option {
    const char* name;                // given as --name (an operand: its name in the usage)
    const char* value;               // the value's name in the help text; nullptr: a flag
    const char* help;                // its lines in the help text; nullptr: not listed there
    const char* fallback = "";       // a text's value when not given
    const char* choices = "";        // its fixed values, for the completion (and the parser)
    double low = 0, high = -1;       // a number's range; low > high: not a number
    double initial = 0;              // a number's value when not given
    const char* only = nullptr;      // the operation it goes with (orv image)
    bool fixed = false;              // only its choices are taken
    char alias = 0;                  // also given as -alias (-o for --output)
    const char* required = nullptr;  // must be given; the hint in "no NAME given (HINT)"
    bool operand = false;            // a word of its own, not an option, in the table's order
};

// In help lines, "{range}" and "{default}" stand for the option's own range
// and default; elsewhere in a help text, "{default NAME}" for option NAME's.
inline Option flag(const char* name, const char* help) { return {name, nullptr, help}; }
inline Option text(const char* name, const char* value, const char* help, const char* fallback = "",
                   const char* choices = "") {
    return {name, value, help, fallback, choices};
}
// A text that is one of `choices`.
inline Option choice(const char* name, const char* value, const char* help, const char* fallback,
                     const char* choices) {
    Option o = text(name, value, help, fallback, choices);
    o.fixed = true;
    return o;
}
inline Option number(const char* name, const char* value, const char* help, double low, double high,
                     double initial) {
    return {name, value, help, "", "", low, high, initial};
}
// -o FILE, --output FILE: required, with `hint` in the refusal of its absence.
inline Option outputOption(const char* value, const char* hint) {
    Option o = text("output", value, nullptr);
    o.alias = 'o';
    o.required = hint;
    return o;
}
// A word that is not an option, such as INPUT.
inline Option operand(const char* name) {
    Option o{name, nullptr, nullptr};
    o.operand = true;
    return o;
}

// --fps N: the capture clock's frame rates, its first one by default.
inline Option fpsOption(const char* help) {
    return number("fps", "N", help, app::kMinFrameRate, app::kMaxFrameRate, app::kInitialFrameRate);
}

// Refuses the value `text` of option --`name` unless it is plain decimal
// text: an optional '-', digits and at most one '.', with no blank, '+' or
// exponent.
Status plainNumber(const std::string& name, const std::string& text);

// Option `o`'s number in `text`: plain decimal text, within its range, and
// whole when `whole`.
Result<double> numberValue(const Option& o, const std::string& text, bool whole);

// Option `o`'s text as `given`, or its fallback when not given; one of its
// choices when it is fixed.
Result<std::string> textValue(const Option& o, const std::string* given);

// A value that may be left out: its default when it was.
template <class T>
struct Given {
    T value{};
    bool given = false;
};

// How a field's value is made from the text given (nullptr: not given).
template <class T>
using Parse = std::function<Result<T>(const std::string* given)>;

// An option of the table of a command whose options struct is O.
template <class O>
struct Field : Option {
    // Puts the value given (nullptr: not given) into its field; a usage failure.
    std::function<Status(O&, const std::string*)> store;
};

namespace detail {
template <class M>
struct Plain {
    using type = M;
};
template <class T>
struct Plain<Given<T>> {
    using type = T;
};
template <class T>
void put(T& to, T value, bool) {
    to = std::move(value);
}
template <class T>
void put(Given<T>& to, T value, bool given) {
    to = {std::move(value), given};
}
}  // namespace detail

// Option `option` into the field `to` (a Given<T> knows whether it was
// given), its value made by `parse`.
template <class O, class M>
Field<O> field(Option option, M O::*to, Parse<typename detail::Plain<M>::type> parse) {
    Field<O> f{option, {}};
    f.store = [to, parse](O& o, const std::string* given) -> Status {
        auto value = parse(given);
        if (!value) return value.failure();
        detail::put(o.*to, std::move(value.value()), given != nullptr);
        return Done{};
    };
    return f;
}

// Option `option` into the field `to` by its kind: a flag sets a bool, a
// number is checked against its range (and must be whole for a field of
// whole numbers), a text is taken as it is (from its choices when fixed).
template <class O, class M>
Field<O> field(Option option, M O::*to) {
    using T = typename detail::Plain<M>::type;
    return field(option, to, Parse<T>([option](const std::string* given) -> Result<T> {
                     if constexpr (std::is_same_v<T, bool>) {
                         return given != nullptr;
                     } else if constexpr (std::is_arithmetic_v<T>) {
                         if (!given) return static_cast<T>(option.initial);
                         Result<double> v = numberValue(option, *given, std::is_integral_v<T>);
                         if (!v) return v.failure();
                         return static_cast<T>(v.value());
                     } else {
                         return textValue(option, given);
                     }
                 }));
}

// A text option into the field `to`, its text (or fallback) turned into the
// field's type by `as`, which returns the value or a Result of it.
template <class O, class M, class R>
Field<O> field(Option option, M O::*to, R (*as)(const std::string&)) {
    using T = typename detail::Plain<M>::type;
    return field(option, to, Parse<T>([option, as](const std::string* given) -> Result<T> {
                     Result<std::string> text = textValue(option, given);
                     if (!text) return text.failure();
                     return as(text.value());
                 }));
}

// An operand into the field `to`.
template <class O>
Field<O> operand(const char* name, std::string O::*to) {
    return field(operand(name), to, Parse<std::string>([](const std::string* given) {
                     return Result<std::string>(*given);
                 }));
}

// The words of a command line: the operands, in order, and the options given
// with their text (flags hold "1").
struct Words {
    std::vector<std::string> positional;
    std::map<std::string, std::string> options;
    const std::string* given(const std::string& name) const {
        auto it = options.find(name);
        return it == options.end() ? nullptr : &it->second;
    }
};

// The names of the displays that --display knows, for its choices.
const char* displayChoices();

// Options --set-bit dark|light (default dark) and --display NAME, with their
// help lines: whether a set bit lights a pixel. A display wants its own
// polarity; --set-bit may only repeat it.
inline Option setBitOption(const char* help) {
    return choice("set-bit", "dark|light", help, "dark", "dark light");
}
inline Option displayOption(const char* help) {
    return choice("display", "NAME", help, "", displayChoices());
}
Result<bool> setBitLight(const Given<std::string>& setBit, const Given<std::string>& display);

// --size WxH: a frame size as parseFrameSize reads it.
Result<FrameSize> sizeOption(const std::string& text);

// The frames' size that --size and --display say, each carrying a size:
// 128 x 64 when neither is given; the two must say the same.
Result<FrameSize> frameSizeOf(const Given<FrameSize>& size, const Given<std::string>& display);

// Whether the panel --display names shows frames of `frames`' size, which
// `file` holds; the failure names both sizes.
Status displayFits(const Given<std::string>& display, FrameSize frames, const std::string& file);

// The panels --display knows, a line each: name, size and what it is; the
// help text's "{displays}".
std::string displayLines();

}  // namespace orv::cli

// A small parser for the command line's words: positional arguments and
// --name VALUE / --name=VALUE options, some of them flags without a value.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <cmath>
#include <type_traits>

#include "common/numbers.h"
#include "common/result.h"

namespace orv::cli {

struct Words {
    std::vector<std::string> positional;
    std::map<std::string, std::string> options;  // flags hold "1"
    bool has(const std::string& name) const { return options.count(name) > 0; }
    std::string get(const std::string& name, const std::string& fallback) const {
        auto it = options.find(name);
        return it == options.end() ? fallback : it->second;
    }
};

// Whether the words ask for the command's help text (before any "--").
inline bool helpAsked(const std::vector<std::string>& args) {
    for (const auto& a : args) {
        if (a == "--") break;
        if (a == "--help" || a == "-h") return true;
    }
    return false;
}

// `valued` take a value, once at most; `flags` do not; "-o" is taken as
// "--output". Every word after "--" is positional.
inline Result<Words> splitWords(const std::vector<std::string>& args,
                                const std::set<std::string>& valued,
                                const std::set<std::string>& flags) {
    Words w;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string word = args[i];
        if (optionsEnded) {
            w.positional.push_back(word);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        if (word == "-o") word = "--output";
        if (word.size() > 2 && word.compare(0, 2, "--") == 0) {
            std::string name = word.substr(2);
            std::optional<std::string> value;
            if (auto eq = name.find('='); eq != std::string::npos) {
                value = name.substr(eq + 1);
                name.resize(eq);
            }
            auto says = [&name](const char* what) {
                std::string message("option --");
                message.append(name).append(what);
                return fail(message);
            };
            if (flags.count(name)) {
                if (value) return says(" takes no value");
                w.options.insert_or_assign(name, std::string(1, '1'));
            } else if (valued.count(name)) {
                if (!value) {
                    if (i + 1 >= args.size()) return says(" needs a value");
                    value = args[++i];
                }
                if (!w.options.emplace(name, *value).second) return says(" is given twice");
            } else {
                return says(" is not known here");
            }
        } else {
            w.positional.push_back(word);
        }
    }
    return w;
}

// Option --name (or `fallback` when it is not given) as a number within
// low .. high; a whole number when T is an integer type.
template <class T>
Result<T> optionNumber(const Words& w, const char* name, const char* fallback, double low,
                       double high) {
    const std::string text = w.get(name, fallback);
    Result<double> v = num::parseDouble(text);
    if (!v) return fail(std::string("--") + name + ": " + v.error());
    if (v.value() < low || v.value() > high) {
        return fail(std::string("--") + name + " " + text + " is outside " +
                    num::formatDouble(low) + " .. " + num::formatDouble(high));
    }
    if constexpr (std::is_integral_v<T>) {
        if (v.value() != std::floor(v.value())) {
            return fail(std::string("--") + name + " must be a whole number");
        }
    }
    return static_cast<T>(v.value());
}

// Option --set-bit dark|light (default dark): whether a set bit lights a pixel.
inline Result<bool> optionSetBitLight(const Words& w) {
    const std::string setBit = w.get("set-bit", "dark");
    if (setBit != "dark" && setBit != "light") {
        return fail("unknown --set-bit \"" + setBit + "\" (dark or light)");
    }
    return setBit == "light";
}

}  // namespace orv::cli

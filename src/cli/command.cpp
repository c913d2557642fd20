#include "cli/command.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <optional>
#include <ostream>
#include <sstream>

#include "common/text.h"
#include "lcd/display_preset.h"

namespace orv::cli {

const Option* findOption(const std::vector<Option>& table, const std::string& name) {
    auto it =
        std::find_if(table.begin(), table.end(), [&](const Option& o) { return name == o.name; });
    return it == table.end() ? nullptr : &*it;
}

Status plainNumber(const std::string& name, const std::string& text) {
    const std::size_t sign = text.starts_with('-') ? 1 : 0;
    const auto digits =
        std::count_if(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    const auto points = std::count(text.begin(), text.end(), '.');
    if (digits > 0 && points <= 1 && sign + digits + points == text.size()) return Done{};
    return fail(joined({"--", name, " \"", text, "\" is not plain decimal text (as 10 or 2.5)"}));
}

Result<std::string> Words::choice(const std::string& name) const {
    const std::string value = get(name);
    std::istringstream choices(findOption(*table, name)->choices);
    std::vector<std::string> all{std::istream_iterator<std::string>(choices), {}};
    if (!has(name) || std::count(all.begin(), all.end(), value)) return value;
    std::string list;
    for (std::size_t i = 0; i < all.size(); ++i) {
        list += (i == 0 ? "" : i + 1 == all.size() ? " or " : ", ") + all[i];
    }
    return fail(joined({"unknown --", name, " \"", value, "\" (", list, ")"}));
}

namespace {

// The options of `table` take a value, once at most, flags none; "-o" is
// taken as "--output". Every word after "--" is positional.
Result<Words> splitWords(const std::vector<std::string>& args, const std::vector<Option>& table) {
    Words w;
    w.table = &table;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string word = args[i] == "-o" ? "--output" : args[i];
        if (word == "--") {
            w.positional.insert(w.positional.end(), args.begin() + i + 1, args.end());
            break;
        }
        if (word.size() < 2 || word[0] != '-') {
            w.positional.push_back(word);
            continue;
        }
        if (word[1] != '-') {  // "-o" was taken above, "-h" before
            if (word.starts_with("-o=")) {
                return fail("option " + word + ": -o takes its value as the next word (-o " +
                            word.substr(3) + ")");
            }
            return fail("option " + word + " is not known here");
        }
        std::string name = word.substr(2);
        std::optional<std::string> value;
        if (auto eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        auto says = [&name](const char* what) { return fail(joined({"option --", name, what})); };
        const Option* o = findOption(table, name);
        if (!o) return says(" is not known here");
        if (!o->value) {
            if (value) return says(" takes no value");
            w.options.insert_or_assign(name, std::string(1, '1'));
            continue;
        }
        if (!value && i + 1 >= args.size()) return says(" needs a value");
        if (!w.options.emplace(name, value ? *value : args[++i]).second)
            return says(" is given twice");
    }
    return w;
}

// `help` with a line or more in place of "{options}" for each listed option,
// the help starting at `column`.
std::string helpText(std::string help, const std::vector<Option>& table, int column) {
    auto replace = [](std::string& text, const std::string& token, const std::string& by) {
        if (auto at = text.find(token); at != std::string::npos) text.replace(at, token.size(), by);
    };
    std::string lines;
    for (const Option& o : table) {
        const bool number = o.low <= o.high;
        const std::string initial = number ? num::formatDouble(o.initial) : o.fallback;
        replace(help, joined({"{default ", o.name, "}"}), initial);
        if (!o.help) continue;
        std::string line = joined({"  --", o.name, o.value ? " " : "", o.value ? o.value : ""});
        line.resize(std::max<std::size_t>(line.size() + 2, column), ' ');
        std::string said = o.help;
        replace(said, "{range}", num::formatDouble(o.low) + ".." + num::formatDouble(o.high));
        replace(said, "{default}", initial);
        for (char c : said) line.append(1, c).append(c == '\n' ? column : 0, ' ');
        lines += line + "\n";
    }
    replace(help, "{options}", lines);
    return help;
}

}  // namespace

const char* displayChoices() {
    static const std::string names = [] {
        std::string all;
        for (const DisplayPreset& p : kDisplayPresets)
            all.append(all.empty() ? "" : " ").append(p.name);
        return all;
    }();
    return names.c_str();
}

Result<bool> optionSetBitLight(const Words& w) {
    Result<std::string> setBit = w.choice("set-bit");
    if (!setBit) return fail(setBit.error());
    if (!w.has("display")) return setBit.value() == "light";
    Result<std::string> name = w.choice("display");
    if (!name) return name.failure();
    const DisplayPreset* display = findDisplayPreset(name.value());
    if (w.has("set-bit") && (setBit.value() == "light") != display->lightSetBit) {
        return fail(joined({"--display ", display->name, " wants --set-bit ",
                            display->lightSetBit ? "light" : "dark"}));
    }
    return display->lightSetBit;
}

int runCommand(const Command& command, const std::vector<std::string>& args, std::ostream& out,
               std::ostream& err) {
    const auto end = std::find(args.begin(), args.end(), "--");  // the help is asked before it
    if (std::find(args.begin(), end, "--help") != end ||
        std::find(args.begin(), end, "-h") != end) {
        out << helpText(command.help, command.options, command.column);
        return kExitOk;
    }
    Result<Words> words = splitWords(args, command.options);
    const Outcome outcome = words ? command.body(words.value(), out, err)
                                  : Outcome(Failed{kExitUsage, words.failure()});
    if (outcome) return kExitOk;
    err << "orv " << command.name << ": " << outcome.failure().message << "\n";
    return outcome.failure().status;
}

std::string completionTable(const std::vector<const Command*>& commands) {
    std::string names, operations, valued = " ", lines;
    for (const Command* c : commands) {
        names += c->name + std::string(" ");
        std::map<std::string, std::string> topics{{c->name, ""}};  // its options, or an operation's
        for (const std::string& op : c->operations) {
            topics.try_emplace(op);
            operations += op + " ";
        }
        for (const Option& o : c->options) {
            const std::string option =
                joined({o.name == std::string("output") ? "-o " : "", "--", o.name});
            topics[o.only ? o.only : c->name] += " " + option;
            if (o.value && valued.find(" " + option + " ") == std::string::npos)
                valued += option + " ";
            std::string variable = joined({"_orv_values_", c->name, "_", o.name});
            std::replace(variable.begin(), variable.end(), '-', '_');
            if (*o.choices) lines += joined({variable, "=\"", o.choices, "\"\n"});
        }
        for (const auto& [topic, list] : topics)
            lines += joined({"_orv_options_", topic, "=\"", list, "\"\n"});
    }
    return joined({"\n# Made by orv from its tables of commands and options.\n_orv_commands=\"",
                   names, "help\"\n_orv_operations=\"", operations, "\"\n_orv_valued=\"", valued,
                   "\"\n", lines});
}

}  // namespace orv::cli

#include "cli/command.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <map>
#include <optional>
#include <ostream>
#include <sstream>

#include "common/numbers.h"
#include "common/text.h"
#include "lcd/display_preset.h"

namespace orv::cli {

const std::vector<Option> kProgramOptions = [] {
    Option help = flag("help", "show this text"), verbose = flag("verbose", nullptr);
    help.alias = 'h';
    verbose.help = "with any command: also FFmpeg's and Qt's own messages";
    return std::vector<Option>{help, flag("version", "show the version"), verbose};
}();

namespace {

// The options of orv itself that every command takes.
bool everywhere(const Option& o) { return o.alias == 'h' || o.name == std::string("verbose"); }

// The option of `table` called `name` (with `alias`: whose alias is the
// letter `name`), or of every command's; nullptr when there is none.
const Option* findOption(const std::vector<Option>& table, const std::string& name,
                         bool alias = false) {
    auto is = [&](const Option& o) {
        return !o.operand && (alias ? name.size() == 1 && name[0] == o.alias : name == o.name);
    };
    auto it = std::find_if(table.begin(), table.end(), is);
    if (it != table.end()) return &*it;
    it = std::find_if(kProgramOptions.begin(), kProgramOptions.end(), is);
    return it != kProgramOptions.end() && everywhere(*it) ? &*it : nullptr;
}

std::vector<std::string> choicesOf(const Option& o) {
    std::istringstream choices(o.choices);
    return {std::istream_iterator<std::string>(choices), {}};
}

// The options of `table` take a value, once at most, flags none; -X is taken
// as the option whose alias X is. Every word after "--" is an operand.
Result<Words> splitWords(const std::vector<std::string>& args, const std::vector<Option>& table) {
    Words w;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string word = args[i];
        if (word == "--") {
            w.positional.insert(w.positional.end(), args.begin() + i + 1, args.end());
            break;
        }
        if (word.size() < 2 || word[0] != '-') {
            w.positional.push_back(word);
            continue;
        }
        if (word[1] != '-') {
            const Option* o = findOption(table, word.substr(1, 1), true);
            if (o && word.size() == 2) {
                word = std::string("--") + o->name;
            } else if (o && o->value && word[2] == '=') {
                return fail("option " + word + ": " + word.substr(0, 2) +
                            " takes its value as the next word (" + word.substr(0, 2) + " " +
                            word.substr(3) + ")");
            } else {
                return fail("option " + word + " is not known here");
            }
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

// The words against the table: the operation (orv image), as many operands
// as it has, the options it requires, and options of one operation only with
// that one.
Status checkWords(const Command& c, const Words& w) {
    std::vector<std::string> operands;
    for (const Option& o : c.options) {
        if (o.operand) operands.emplace_back(o.name);
    }
    std::string who = c.name;
    const std::vector<std::string>& words = w.positional;
    if (!c.operations.empty()) {
        if (words.empty()) return fail("no " + operands.front() + " given");
        who = words.front();
        if (std::count(c.operations.begin(), c.operations.end(), who) == 0) {
            return fail("unknown " + operands.front() + " \"" + who + "\"");
        }
        operands.erase(operands.begin());
    }
    if (words.size() != operands.size() + (c.operations.empty() ? 0 : 1)) {
        return fail(operands.size() == 1
                        ? who + " takes one " + operands[0]
                        : who + " takes exactly " + operands[0] + " and " + operands[1]);
    }
    for (const Option& o : c.options) {
        if (o.required && !w.given(o.name)) {
            return fail(joined({"no ", o.name, " given (", o.required, ")"}));
        }
        if (o.only && w.given(o.name) && who != o.only) {
            return fail(joined({"option --", o.name, " does not apply to ", who}));
        }
    }
    return Done{};
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
    replace(help, "{displays}", displayLines());
    return help;
}

}  // namespace

Status plainNumber(const std::string& name, const std::string& text) {
    const std::size_t sign = text.starts_with('-') ? 1 : 0;
    const auto digits =
        std::count_if(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    const auto points = std::count(text.begin(), text.end(), '.');
    if (digits > 0 && points <= 1 && sign + digits + points == text.size()) return Done{};
    return fail(joined({"--", name, " \"", text, "\" is not plain decimal text (as 10 or 2.5)"}));
}

Result<double> numberValue(const Option& o, const std::string& text, bool whole) {
    const std::string name = o.name;
    if (Status plain = plainNumber(name, text); !plain) return plain.failure();
    Result<double> v = num::parseDouble(text);
    if (!v) return fail("--" + name + ": " + v.error());
    if (v.value() < o.low || v.value() > o.high) {
        return fail("--" + name + " " + text + " is outside " + num::formatDouble(o.low) + " .. " +
                    num::formatDouble(o.high));
    }
    if (whole && v.value() != std::floor(v.value()))
        return fail("--" + name + " must be a whole number");
    return v;
}

Result<std::string> textValue(const Option& o, const std::string* given) {
    if (!given) return std::string(o.fallback);
    const std::vector<std::string> all = choicesOf(o);
    if (!o.fixed || std::count(all.begin(), all.end(), *given)) return *given;
    std::string list;
    for (std::size_t i = 0; i < all.size(); ++i) {
        list += (i == 0 ? "" : i + 1 == all.size() ? " or " : ", ") + all[i];
    }
    return fail(joined({"unknown --", o.name, " \"", *given, "\" (", list, ")"}));
}

const char* displayChoices() {
    static const std::string names = [] {
        std::string all;
        for (const DisplayPreset& p : kDisplayPresets)
            all.append(all.empty() ? "" : " ").append(p.name);
        return all;
    }();
    return names.c_str();
}

Result<bool> setBitLight(const Given<std::string>& setBit, const Given<std::string>& display) {
    if (!display.given) return setBit.value == "light";
    const DisplayPreset* preset = findDisplayPreset(display.value);
    if (setBit.given && (setBit.value == "light") != preset->lightSetBit) {
        return fail(joined({"--display ", preset->name, " wants --set-bit ",
                            preset->lightSetBit ? "light" : "dark"}));
    }
    return preset->lightSetBit;
}

Result<FrameSize> sizeOption(const std::string& text) { return parseFrameSize(text, "--size"); }

Result<FrameSize> frameSizeOf(const Given<FrameSize>& size, const Given<std::string>& display) {
    if (!display.given) return size.value;
    const DisplayPreset* preset = findDisplayPreset(display.value);
    if (size.given && size.value != preset->size) {
        return fail(joined({"--display ", preset->name, " is ", sizeWords(preset->size),
                            ", --size says ", sizeWords(size.value)}));
    }
    return preset->size;
}

Status displayFits(const Given<std::string>& display, FrameSize frames, const std::string& file) {
    if (!display.given) return Done{};
    const DisplayPreset* preset = findDisplayPreset(display.value);
    if (preset->size == frames) return Done{};
    return fail(joined({"--display ", preset->name, " shows ", sizeWords(preset->size),
                        " frames, and ", quotedName(file), " holds ", sizeWords(frames), " ones"}));
}

std::string displayLines() {
    std::string lines;
    for (const DisplayPreset& p : kDisplayPresets) {
        std::string line = joined({"  ", p.name});
        line.resize(18, ' ');
        line += sizeName(p.size);
        line.resize(27, ' ');
        lines += line + p.describe + "\n";
    }
    return lines;
}

bool takeFlag(std::vector<std::string>& args, const char* name) {
    const auto end = std::find(args.begin(), args.end(), "--");
    const auto kept = std::remove(args.begin(), end, std::string("--") + name);
    const bool taken = kept != end;
    args.erase(kept, end);
    return taken;
}

std::string usageText(const std::vector<const Command*>& commands) {
    std::string text = "usage: orv COMMAND [ARGS]\n\nCommands:\n";
    for (const Command* c : commands) {
        std::string line = joined({"  ", c->name});
        line.resize(11, ' ');
        for (const char* s = c->summary; *s; ++s)
            line.append(1, *s).append(*s == '\n' ? 11 : 0, ' ');
        text += joined({line, "; see 'orv ", c->name, " --help'\n"});
    }
    text += "\n  help COMMAND  the same as orv COMMAND --help\n\nOptions:\n";
    return text + helpText("{options}", kProgramOptions, 13);
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
    Status checked = words ? checkWords(command, words.value()) : Status(words.failure());
    const Outcome outcome = checked ? command.run(words.value(), out, err)
                                    : Outcome(Failed{kExitUsage, checked.failure()});
    if (outcome) return kExitOk;
    err << "orv " << command.name << ": " << outcome.failure().message << "\n";
    return outcome.failure().status;
}

std::string completionTable(const std::vector<const Command*>& commands) {
    std::string names, operations, valued = " ", lines, common, program;
    auto spelled = [](const Option& o) {
        return joined({o.alias ? std::string{'-', o.alias, ' '} : "", "--", o.name});
    };
    for (const Option& o : kProgramOptions) {
        program.append(program.empty() ? "--" : " --").append(o.name);
        if (everywhere(o)) common.append(common.empty() ? "--" : " --").append(o.name);
    }
    for (const Command* c : commands) {
        names += c->name + std::string(" ");
        std::map<std::string, std::string> topics{{c->name, ""}};  // its options, or an operation's
        for (const std::string& op : c->operations) {
            topics.try_emplace(op);
            operations += op + " ";
        }
        for (const Option& o : c->options) {
            if (o.operand) continue;
            const std::string option = spelled(o);
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
                   names, "help\"\n_orv_operations=\"", operations, "\"\n_orv_common=\"", common,
                   "\"\n_orv_program=\"", program, "\"\n_orv_valued=\"", valued, "\"\n", lines});
}

}  // namespace orv::cli

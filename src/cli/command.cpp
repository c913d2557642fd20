#include "cli/command.h"

#include <algorithm>
#include <map>
#include <ostream>

#include "common/text.h"

namespace orv::cli {

int runCommand(const Command& command, const std::vector<std::string>& args, std::ostream& out,
               std::ostream& err) {
    if (helpAsked(args)) {
        out << helpText(command.help, command.options, command.column);
        return kExitOk;
    }
    Result<Words> words = splitWords(args, command.options);
    const Outcome outcome =
        words ? command.body(words.value(), out, err) : Outcome(Failed{kExitUsage, words.error()});
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

// What every orv command shares: its exit statuses, the outcome it ends
// with, its table of options, and the frame of a run (help text, words, the
// closing line).
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

#include "cli/options.h"

namespace orv::cli {

// Exit statuses of every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitIo = 1;     // unreadable input, unwritable output, interrupted run
inline constexpr int kExitUsage = 2;  // usage or parameter error, refused operation

// Why a command stops: its exit status and one line for the user.
struct Failed {
    Failed(int status, std::string message) : status(status), message(std::move(message)) {}
    Failed(int status, const Failure& why) : Failed(status, why.message) {}
    int status;
    std::string message;
};

// The command did its work, or failed. A step's failure passes on as it is,
// `if (!r) return r.failure();`, and ends the command with exit status 1 (a
// file that could not be read or written, a stop); a usage error says so,
// `Failed{kExitUsage, ...}`.
class [[nodiscard]] Outcome : public Result<Done, Failed> {
  public:
    using Result<Done, Failed>::Result;
    Outcome(const Failure& failure) : Result(Failed{kExitIo, failure}) {}
};
inline Outcome done() { return Done{}; }

// A command: its help text and table, and what it does with the words.
struct Command {
    const char* name;
    const char* summary;                       // its line in orv --help
    const char* help;                          // "{options}" in it stands for the options' lines
    int column;                                // where the options' help starts
    std::vector<Option> options = {};          // its table, operands included
    std::vector<std::string> operations = {};  // orv image: the first operand's values
    // Binds the words, which fit the table, and does the work.
    std::function<Outcome(const Words&, std::ostream&, std::ostream&)> run = {};
};

// A command whose words go into an O by `table`, in the table's order, are
// checked together by `check`, and go to `body`; a failure of the table or of
// `check` is a usage error.
template <class O>
Command command(Command about, std::vector<Field<O>> table, Status (*check)(O&),
                Outcome (*body)(O&, std::ostream&, std::ostream&)) {
    about.options.assign(table.begin(), table.end());
    about.run = [table = std::move(table), check, body](const Words& w, std::ostream& out,
                                                        std::ostream& err) -> Outcome {
        O o;
        std::size_t next = 0;
        Status bound = Done{};
        for (auto f = table.begin(); bound && f != table.end(); ++f) {
            bound = f->store(o, f->operand ? &w.positional.at(next++) : w.given(f->name));
        }
        if (bound && check) bound = check(o);
        if (!bound) return Failed{kExitUsage, bound.failure()};
        return body(o, out, err);
    };
    return about;
}

// The commands.
extern const Command kImage, kConvert, kInfo, kRender, kRepair, kExport, kSend;

// The options of orv itself; --help and --verbose go with every command too.
extern const std::vector<Option> kProgramOptions;

// Takes every --`name` out of `args` before "--"; whether there was one.
bool takeFlag(std::vector<std::string>& args, const char* name);

// orv --help: the commands' summaries and the program's options.
std::string usageText(const std::vector<const Command*>& commands);

// The usual run of a command: its help text on --help, otherwise the words
// split and checked by its table and handed to it; "orv NAME: message" on
// `err` for a failure. The exit status.
int runCommand(const Command& command, const std::vector<std::string>& args, std::ostream& out,
               std::ostream& err);

// The part of the bash completion made from the tables: the options every
// command takes, the options each command (or operation) takes, those that
// take a value, and their fixed values.
std::string completionTable(const std::vector<const Command*>& commands);

}  // namespace orv::cli

// What every orv command shares: its exit statuses, the outcome it ends
// with, its table of options, and the frame of a run (help text, words, the
// closing line).
#pragma once

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

// Why a command stops: its exit status and one line for the user. A step's
// failure passes on as it is with the status it ends the command with:
// `if (!r) return Failed{kExitIo, r.failure()};`.
struct Failed {
    Failed(int status, std::string message) : status(status), message(std::move(message)) {}
    Failed(int status, const Failure& why) : Failed(status, why.message) {}
    int status;
    std::string message;
};

// The command did its work, or failed.
using Outcome = Result<Done, Failed>;
inline Outcome done() { return Done{}; }

// A command: its help text and options, and what it does with the words.
struct Command {
    const char* name;
    const char* help;  // "{options}" in it stands for the options' lines
    int column;        // where the options' help starts
    Outcome (*body)(const Words& words, std::ostream& out, std::ostream& err);
    std::vector<Option> options;
    std::vector<std::string> operations = {};  // orv image: the first word's values
};

// The commands.
extern const Command kImage, kConvert, kInfo, kRender, kRepair, kExport, kSend;

// The usual run of a command: its help text on --help, otherwise the words
// split by its options and handed to its body; "orv NAME: message" on `err`
// for a failure. The exit status.
int runCommand(const Command& command, const std::vector<std::string>& args, std::ostream& out,
               std::ostream& err);

// The part of the bash completion made from the commands' tables: the
// options each command (or operation) takes, those that take a value, and
// their fixed values.
std::string completionTable(const std::vector<const Command*>& commands);

}  // namespace orv::cli

// What every orv command shares: its exit statuses, the failure it may end
// with, and the frame of a run (help text, words, the closing line).
#pragma once

#include <functional>
#include <iosfwd>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "cli/options.h"

namespace orv::cli {

// Exit statuses of every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitIo = 1;     // unreadable input, unwritable output, interrupted run
inline constexpr int kExitUsage = 2;  // usage or parameter error, refused operation

// Why a command stops: its exit status and one line for the user.
struct Failed {
    int status;
    std::string message;
};

using Outcome = std::optional<Failed>;  // nothing: the command did its work

// "orv NAME: message" on `err` for a failure; the exit status either way.
int finish(const char* command, const Outcome& outcome, std::ostream& err);

// The usual run of a command: its help text on --help, otherwise the words
// split by `valued` and `flags` and handed to `body`.
int runCommand(const char* command, const char* usage, const std::vector<std::string>& args,
               const std::set<std::string>& valued, const std::set<std::string>& flags,
               std::ostream& out, std::ostream& err,
               const std::function<Outcome(const Words&)>& body);

// A command: the words after its name in, the exit status out.
using Command = int (*)(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The commands.
int runImage(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int runConvert(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int runInfo(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int runRender(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int runRepair(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int runExport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int runSend(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace orv::cli

#include "cli/command.h"

#include <ostream>

namespace orv::cli {

int finish(const char* command, const Outcome& outcome, std::ostream& err) {
    if (!outcome) return kExitOk;
    err << "orv " << command << ": " << outcome->message << "\n";
    return outcome->status;
}

int runCommand(const char* command, const char* usage, const std::vector<std::string>& args,
               const std::set<std::string>& valued, const std::set<std::string>& flags,
               std::ostream& out, std::ostream& err,
               const std::function<Outcome(const Words&)>& body) {
    if (helpAsked(args)) {
        out << usage;
        return kExitOk;
    }
    Result<Words> words = splitWords(args, valued, flags);
    if (!words) return finish(command, Failed{kExitUsage, words.error()}, err);
    return finish(command, body(words.value()), err);
}

}  // namespace orv::cli

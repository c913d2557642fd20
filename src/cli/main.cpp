// orv: the command line of ORV Tool. Needs no display.
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/library_logging.h"
#include "common/platform/posix_file.h"

namespace {

const std::vector<const orv::cli::Command*> kCommands{
    &orv::cli::kImage,  &orv::cli::kConvert, &orv::cli::kInfo, &orv::cli::kRender,
    &orv::cli::kRepair, &orv::cli::kExport,  &orv::cli::kSend};

}  // namespace

int main(int argc, char** argv) {
    using namespace orv::cli;
    // Before anything is opened: a closed standard descriptor would be taken
    // by the first file opened, and messages would go into it.
    orv::occupyStandardDescriptors();
    std::vector<std::string> args(argv + 1, argv + argc);
    orv::ignoreFileSizeSignal();
    // The libraries' own messages only with --verbose (which every command
    // also takes), up to the end of the options.
    setLibraryLogging(takeFlag(args, "verbose"));
    if (args.empty()) {
        std::cerr << "orv: no command given (try 'orv --help')\n";
        return kExitUsage;
    }
    std::string command = args.front();
    args.erase(args.begin());
    // Text that did not arrive is a failure.
    auto said = [](const std::string& text) {
        std::cout << text;
        if (std::cout.flush()) return kExitOk;
        std::cerr << "orv: cannot write to standard output\n";
        return kExitIo;
    };
    if (command == "--version") return said("orv " ORV_VERSION "\n");
    // For the build: the bash completion's part that the tables make.
    if (command == "--completion-table") return said(completionTable(kCommands));
    if (command == "help" && !args.empty()) {  // orv help COMMAND is orv COMMAND --help
        command = args.front();
        args = {"--help"};
    } else if (command == "--help" || command == "-h" || command == "help") {
        return said(usageText(kCommands));
    }
    for (const Command* c : kCommands) {
        if (command != c->name) continue;
        const int status = runCommand(*c, args, std::cout, std::cerr);
        // Output that did not arrive is a failure, whatever the command thought.
        if (!std::cout.flush()) {
            std::cerr << "orv " << command << ": cannot write to standard output\n";
            return status == kExitOk ? kExitIo : status;
        }
        return status;
    }
    std::cerr << "orv: unknown command \"" << command << "\" (try 'orv --help')\n";
    return kExitUsage;
}

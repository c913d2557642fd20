// orv: the command line of ORV Tool. Needs no display.
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/library_logging.h"
#include "common/platform/posix_file.h"

namespace {

const char* const kUsage =
    "usage: orv COMMAND [ARGS]\n"
    "\n"
    "Commands:\n"
    "  image    run a workbench operation (copy, engrave, equalize, brightness,\n"
    "           zoom, sharpen) on a picture file; see 'orv image --help'\n"
    "  convert  turn a video file into a frame file; see 'orv convert --help'\n"
    "  info     check a frame file and count its frames; see 'orv info --help'\n"
    "  render   draw frames of a frame file as PNG or GIF; see 'orv render --help'\n"
    "  repair   cut a partial record from the end of a frame file; see 'orv repair --help'\n"
    "  export   frames as a C header or raw bytes for a microcontroller; see 'orv export --help'\n"
    "  send     frames to a device over a serial port; see 'orv send --help'\n"
    "\n"
    "  help COMMAND  the same as orv COMMAND --help\n"
    "\n"
    "Options:\n"
    "  --help     show this text\n"
    "  --version  show the version\n"
    "  --verbose  with any command: also FFmpeg's and Qt's own messages\n";

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
    // The libraries' own messages only with --verbose (which the commands also
    // take), up to the end of the options.
    bool verbose = false;
    for (auto it = args.begin(); it != args.end() && *it != "--";) {
        if (*it == "--verbose") {
            verbose = true;
            it = args.erase(it);
        } else {
            ++it;
        }
    }
    setLibraryLogging(verbose);
    if (args.empty()) {
        std::cerr << "orv: no command given (try 'orv --help')\n";
        return kExitUsage;
    }
    std::string command = args.front();
    args.erase(args.begin());
    // Text that did not arrive is a failure.
    auto said = [](const char* text) {
        std::cout << text;
        if (std::cout.flush()) return kExitOk;
        std::cerr << "orv: cannot write to standard output\n";
        return kExitIo;
    };
    if (command == "--version") return said("orv " ORV_VERSION "\n");
    // For the build: the bash completion's part that the tables make.
    if (command == "--completion-table") return said(completionTable(kCommands).c_str());
    if (command == "help" && !args.empty()) {  // orv help COMMAND is orv COMMAND --help
        command = args.front();
        args = {"--help"};
    } else if (command == "--help" || command == "-h" || command == "help") {
        return said(kUsage);
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

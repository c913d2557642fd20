// `orv repair`: cuts back a partial record left at the end of a frame file.
#include <ostream>

#include "cli/command.h"
#include "common/text.h"
#include "lcd/frame_file.h"

namespace orv::cli {
namespace {

const char* const kHelp =
    "usage: orv repair FILE.orv\n"
    "\n"
    "Cuts back a partial record at the end of a frame file, as a crash, a full\n"
    "disk or a pulled plug can leave it, so that the file holds whole frames\n"
    "again. Nothing else in the file is touched: a file that is broken anywhere\n"
    "else, or holds no whole record before the partial one, is refused as it is.\n"
    "A whole file is left alone, even one that cannot be written. The tool and\n"
    "orv image engrave --orv do the same by themselves (and say so) before they\n"
    "add to a file; orv convert --append refuses such a file and points here.\n"
    "\n"
    "Exit status: 0 the file is whole (now or already), 1 it could not be\n"
    "repaired, 2 a usage error.\n";

struct RepairOptions {
    std::string file;
};

Outcome repair(RepairOptions& o, std::ostream& out, std::ostream&) {
    const std::string& path = o.file;
    Result<std::uint64_t> cut = repairFrameFile(path);
    if (!cut) return cut.failure();
    if (cut.value() == 0) {
        out << "orv repair: " << quotedName(path) << " ends with a whole record; nothing to cut\n";
    } else {
        out << "orv repair: cut " << cut.value() << " bytes of a partial record from the end of "
            << quotedName(path) << "\n";
    }
    return done();
}

}  // namespace

const Command kRepair = command<RepairOptions>(
    {"repair", "cut a partial record from the end of a frame file", kHelp, 0},
    {operand("FILE.orv", &RepairOptions::file)}, nullptr, repair);

}  // namespace orv::cli

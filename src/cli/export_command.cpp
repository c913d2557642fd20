// `orv export`: frames of a frame file as a C header or raw bytes for a
// microcontroller, in the byte layout and polarity its display wants.
#include <sys/stat.h>

#include <filesystem>
#include <ostream>

#include "cli/command.h"
#include "cli/output_file.h"
#include "common/numbers.h"
#include "common/text.h"
#include "lcd/frame_layout.h"
#include "lcd/orv_reader.h"

namespace orv::cli {
namespace {

const char* const kUsage =
    "usage: orv export FILE.orv -o OUT.h|OUT.c|OUT.bin|- [options]\n"
    "\n"
    "Writes the frames for a microcontroller: a C header with one array, or the\n"
    "raw bytes, 1,024 a frame, back to back; -o - writes them to standard output.\n"
    "\n"
    "  --format c|bin     default from OUT's extension (.h or .c: c; .bin: bin);\n"
    "                     needed with -o -\n"
    "  --layout LAYOUT    pages (default): the frame file's order, 8 pages of 128\n"
    "                     column bytes, bit k of page p being row 8p + k; what\n"
    "                     page-organised controllers (12864 class, SSD1306, SH1106,\n"
    "                     ST7565) take as is\n"
    "                     rows-msb: 64 rows of 16 bytes, the leftmost pixel in bit 7\n"
    "                     rows-lsb: the same with the leftmost pixel in bit 0\n"
    "  --set-bit dark|light  what a set bit means: dark (default, the frame file's\n"
    "                     own) or light (OLEDs light a pixel for a set bit)\n"
    "  --frames FIRST:COUNT  only these frames (FIRST counts from 0), all in FILE\n"
    "  --name IDENT       the C array's name (default: from FILE's name): letters,\n"
    "                     digits and _, a letter first, not a name C or its\n"
    "                     library uses\n"
    "  --force            replace an existing OUT\n"
    "\n"
    "Exit status: 0 done, 1 the frame file is not whole (as orv info would say)\n"
    "or holds no frames, or OUT cannot be written, 2 a usage error. OUT is\n"
    "written whole or not at all, and is never FILE itself.\n";

struct ExportOptions {
    std::string input, output, name;
    bool c = true;
    FrameLayout layout = FrameLayout::Pages;
    bool light = false;
    std::uint64_t first = 0;
    std::uint64_t count = UINT64_MAX;  // as many as there are
};

// "FIRST:COUNT", both whole numbers, COUNT at least 1.
Result<std::pair<std::uint64_t, std::uint64_t>> parseFrames(const std::string& text) {
    const auto colon = text.find(':');
    Result<std::uint64_t> first = num::parseUnsigned64(text.substr(0, colon));
    Result<std::uint64_t> count =
        num::parseUnsigned64(colon == std::string::npos ? "" : text.substr(colon + 1));
    if (!first || !count || count.value() == 0) {
        return fail("--frames \"" + text + "\" is not FIRST:COUNT (for example 0:31)");
    }
    return std::make_pair(first.value(), count.value());
}

Result<ExportOptions> parseOptions(const Words& w) {
    ExportOptions o;
    if (w.positional.size() != 1) return fail("export takes one FILE.orv");
    if (!w.has("output")) return fail("no output given (-o OUT.h, OUT.c or OUT.bin)");
    o.input = w.positional[0];
    o.output = w.get("output", "");
    const std::string format = w.get("format", "");
    if (format == "c" ||
        (format.empty() && (o.output.ends_with(".h") || o.output.ends_with(".c")))) {
        o.c = true;
    } else if (format == "bin" || (format.empty() && o.output.ends_with(".bin"))) {
        o.c = false;
    } else if (format.empty()) {
        return fail("cannot tell the format from " +
                    (o.output == "-" ? std::string("-o -") : quotedName(o.output)) +
                    ": add --format c or --format bin");
    } else {
        return fail("unknown --format \"" + format + "\" (c or bin)");
    }
    Result<FrameLayout> layout = parseFrameLayout(w.get("layout", "pages"));
    if (!layout) return fail("--layout: " + layout.error());
    o.layout = layout.value();
    Result<bool> light = optionSetBitLight(w);
    if (!light) return fail(light.error());
    o.light = light.value();
    if (w.has("frames")) {
        auto frames = parseFrames(w.get("frames", ""));
        if (!frames) return fail(frames.error());
        o.first = frames.value().first;
        o.count = frames.value().second;
    }
    o.name = w.get("name", cIdentifier(o.input));
    if (!o.c && w.has("name")) return fail("--name names a C array: it goes with --format c");
    if (Status usable = usableIdentifier(o.name); !usable) return fail("--name: " + usable.error());
    if (Status distinct = distinctFiles(o.input, o.output); !distinct)
        return fail(distinct.error());
    std::error_code ec;
    if (o.output != "-" && std::filesystem::exists(o.output, ec) && !w.has("force")) {
        return fail(quotedName(o.output) + " exists; add --force to replace it");
    }
    return o;
}

Outcome exportFrames(const ExportOptions& o, std::ostream& out, std::ostream& err) {
    // The whole file is checked first, and its frames counted.
    Result<std::uint64_t> total = readFrameFile(o.input, nullptr);
    if (!total) return Failed{kExitIo, total.error()};
    // Nothing to export is the frame file's fault, as for orv render.
    if (total.value() == 0) return Failed{kExitIo, quotedName(o.input) + " holds no frames"};
    const bool all = o.count == UINT64_MAX;  // no --frames
    if (!all && (o.first >= total.value() || o.count > total.value() - o.first)) {
        return Failed{kExitUsage, "--frames " + std::to_string(o.first) + ":" +
                                      std::to_string(o.count) + " is outside " +
                                      quotedName(o.input) + ", which holds " +
                                      std::to_string(total.value()) + " frames (0 to " +
                                      std::to_string(total.value() - 1) + ")"};
    }
    const std::uint64_t count = all ? total.value() : o.count;
    OutputFile file(o.output);
    if (Status opened = file.open(); !opened) return Failed{kExitIo, opened.error()};
    Status written = Done{};
    CArrayWriter c([&](std::string_view text) {
        written = file.write(text);
        return static_cast<bool>(written);
    });
    const char* polarity =
        o.light ? "light (a set bit lights a pixel)" : "dark (a set bit is a dark pixel)";
    if (o.c) {
        if (Status s = c.begin(o.name, count, std::filesystem::path(o.input).filename().string(),
                               frameLayoutName(o.layout), polarity);
            !s) {
            return Failed{written ? kExitUsage : kExitIo, written ? s.error() : written.error()};
        }
    }
    std::uint64_t index = 0, done = 0;
    Result<std::uint64_t> read = readFrameFile(o.input, [&](const FramePages& f) {
        const std::uint64_t k = index++;
        if (k < o.first || k >= o.first + count || !written) return;
        const auto bytes = toLayout(f, o.layout, o.light);
        if (o.c) {
            (void)c.frame(done, bytes);
        } else {
            written = file.write(
                std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
        }
        ++done;
    });
    if (!read) return Failed{kExitIo, read.error()};
    if (written && o.c) (void)c.end();
    if (!written) return Failed{kExitIo, written.error()};
    if (done != count) return Failed{kExitIo, quotedName(o.input) + " changed while it was read"};
    if (Status s = file.commit(); !s) return Failed{kExitIo, s.error()};
    // With the frames on standard output, the summary goes to standard error.
    (file.toStdout() ? err : out) << "orv export: " << count << " frames to "
                                  << (file.toStdout() ? "standard output" : escapedName(o.output))
                                  << " (" << (o.c ? "C" : "bin") << ", "
                                  << frameLayoutName(o.layout) << ", set bit "
                                  << (o.light ? "light" : "dark") << ")\n";
    return std::nullopt;
}

}  // namespace

int runExport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    return runCommand("export", kUsage, args,
                      {"output", "format", "layout", "set-bit", "frames", "name"}, {"force"}, out,
                      err, [&out, &err](const Words& w) -> Outcome {
                          Result<ExportOptions> options = parseOptions(w);
                          if (!options) return Failed{kExitUsage, options.error()};
                          return exportFrames(options.value(), out, err);
                      });
}

}  // namespace orv::cli

// `orv export`: frames of a frame file as a C header or raw bytes for a
// microcontroller, in the byte layout and polarity its display wants.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <new>
#include <ostream>

#include "app/capture_clock.h"
#include "cli/command.h"
#include "cli/frame_source.h"
#include "cli/output_file.h"
#include "cli/stop_signals.h"
#include "common/numbers.h"
#include "common/text.h"
#include "lcd/codec.h"
#include "lcd/frame_layout.h"

namespace orv::cli {
namespace {

const char* const kHelp =
    "usage: orv export FILE.orv|FILE.pmh -o OUT.h|OUT.c|OUT.bin|OUT.pmh|- [options]\n"
    "\n"
    "Writes the frames for a microcontroller: a C header with one array, or the\n"
    "raw bytes, 1,024 a frame at 128 x 64, back to back; -o - writes them to\n"
    "standard output. Frames of another size keep it, in every layout.\n"
    "With --codec, the array or file is a compressed frame stream that a sketch\n"
    "decodes with orv_codec.h (docs/codec.md). FILE may be such a stream too.\n"
    "\n"
    "{options}"
    "\n"
    "Displays (--display NAME), each with its size and what a set bit means:\n"
    "{displays}"
    "\n"
    "A C array over 32 KB without --flash gets a warning: an Uno has 32 KB of\n"
    "flash and avr-gcc refuses an array over 32,767 bytes.\n"
    "\n"
    "With --codec, the summary says how long orv_flash_player on an Uno (16 MHz,\n"
    "the display on I2C at 400 kHz) takes over the slowest frame, against its\n"
    "period; --flash uno refuses a clip with a frame over its period, and says\n"
    "the highest --fps at which every frame keeps its time.\n"
    "\n"
    "Exit status: 0 done, 1 the frame file is not whole (as orv info would say)\n"
    "or holds no frames, the frames do not fit --flash or its time or, for a\n"
    "stream, in memory (1 KB each), OUT cannot be written, or the run was\n"
    "interrupted (Ctrl-C, SIGTERM or SIGHUP), 2 a usage error. OUT is written\n"
    "whole or not at all, and is never FILE itself.\n";

// The flash of an Uno (ATmega328P) that a clip may take beside
// orv_flash_player: 32,256 bytes above the boot loader, less the sketch with
// its decoder and page queue (about 5,400) and a margin.
constexpr std::uint64_t kUnoFlash = 26500;

struct ExportOptions {
    std::string input, output, format;
    FrameLayout layout = FrameLayout::Pages;
    Given<std::string> setBit, display, codecName, flashName, framesText, name;
    Given<int> fpsGiven;
    bool force = false;
    // What they say together.
    bool c = true;
    bool light = false;
    bool polarityGiven = false;  // by --set-bit or --display
    bool codec = false;
    int fps = 0;              // 0: 31, or the input stream's
    std::uint64_t flash = 0;  // 0: no --flash
    bool some = false;        // --frames given: `count` frames from `first`
    std::uint64_t first = 0, count = 0;
};

// "FIRST:COUNT", both whole numbers, COUNT at least 1.
Result<std::pair<std::uint64_t, std::uint64_t>> parseFrames(const std::string& text) {
    const auto colon = text.find(':');
    const std::string firstText = text.substr(0, colon);
    const std::string countText = colon == std::string::npos ? "" : text.substr(colon + 1);
    Result<std::uint64_t> first = num::parseUnsigned64(firstText);
    Result<std::uint64_t> count = num::parseUnsigned64(countText);
    if (!first || !count || count.value() == 0 || !plainNumber("frames", firstText) ||
        !plainNumber("frames", countText)) {
        return fail("--frames \"" + text + "\" is not FIRST:COUNT (for example 0:31)");
    }
    return std::make_pair(first.value(), count.value());
}

// What the options say together.
Status check(ExportOptions& o) {
    const std::string& format = o.format;
    // OUT.pmh is a stream file: the stream's own bytes.
    const bool streamFile = o.output.ends_with(std::string(".") + codec::kName);
    if (streamFile && format == "c") {
        return fail(quotedName(o.output) +
                    " names a stream file, which holds the stream's bytes: "
                    "--format c goes with OUT.h or OUT.c");
    }
    if (format == "c" ||
        (format.empty() && (o.output.ends_with(".h") || o.output.ends_with(".c")))) {
        o.c = true;
    } else if (format == "bin" || (format.empty() && (o.output.ends_with(".bin") || streamFile))) {
        o.c = false;
    } else if (format.empty()) {
        return fail("cannot tell the format from " +
                    (o.output == "-" ? std::string("-o -") : quotedName(o.output)) +
                    ": add --format c or --format bin");
    }
    Result<bool> light = setBitLight(o.setBit, o.display);
    if (!light) return light.failure();
    o.light = light.value();
    o.polarityGiven = o.setBit.given || o.display.given;
    if (o.codecName.given || streamFile) {
        if (o.layout != FrameLayout::Pages) {
            return fail(std::string("a ") + codec::kName + " stream (--codec " + codec::kName +
                        ", or OUT." + codec::kName + ") takes the pages layout only");
        }
        o.codec = true;
    }
    if (o.fpsGiven.given) {
        if (!o.codec) return fail("--fps is the frame rate of a stream: it goes with --codec");
        o.fps = o.fpsGiven.value;
    }
    const std::string& flashName = o.flashName.value;
    if (o.flashName.given) {
        Result<std::uint64_t> flash = flashName == "uno"
                                          ? Result<std::uint64_t>(kUnoFlash)
                                          : num::parseUnsigned64(flashName, "--flash");
        if (!flash || flash.value() == 0 ||
            (flashName != "uno" && !plainNumber("flash", flashName))) {
            return fail("--flash \"" + flashName + "\" is not a number of bytes or uno");
        }
        o.flash = flash.value();
    }
    if (o.framesText.given) {
        auto frames = parseFrames(o.framesText.value);
        if (!frames) return frames.failure();
        o.some = true;
        o.first = frames.value().first;
        o.count = frames.value().second;
    }
    if (!o.name.given) o.name.value = cIdentifier(o.input);
    if (!o.c && o.name.given) return fail("--name names a C array: it goes with --format c");
    if (Status usable = usableIdentifier(o.name.value); !usable) {
        return fail("--name: " + usable.error());
    }
    if (Status distinct = distinctFiles(o.input, o.output); !distinct) return distinct.failure();
    std::error_code ec;
    if (o.output != "-" && std::filesystem::exists(o.output, ec) && !o.force) {
        return fail(quotedName(o.output) + " exists; add --force to replace it");
    }
    return Done{};
}

// The frames do not fit --flash: by how many bytes, and how many frames do.
Failed overFlash(const ExportOptions& o, std::uint64_t count, std::uint64_t bytes,
                 std::uint64_t fit) {
    std::string m = joined({"the ", counted(count, "frame"), count == 1 ? " takes " : " take ",
                            groupedDigits(bytes), " bytes, ", groupedDigits(bytes - o.flash),
                            " over --flash ", o.flashName.value});
    if (o.flashName.value != std::to_string(o.flash)) {
        m += " (" + groupedDigits(o.flash) + " bytes)";
    }
    if (fit == 0) {
        m += "; not even the first frame fits";
    } else {
        m += joined({fit == 1 ? "; only the first frame fits" : "; the first ",
                     fit == 1 ? "" : std::to_string(fit), fit == 1 ? "" : " fit", " (--frames ",
                     std::to_string(o.first), ":", std::to_string(fit), ")"});
    }
    return Failed{kExitIo, m};
}

// "the slowest frame, N (the loop's restart), takes X ms of its Y ms".
std::string slowestFrame(const ExportOptions& o, const codec::PlayerTime& time, int fps) {
    const std::size_t k = time.slowest();
    const double work = time.workUs[k] / 1000, period = 1000.0 / fps;
    // Tenths, or as many places as tell a frame over its period from it.
    int places = 1;
    while (places < 3 && work > period &&
           std::round(work * std::pow(10, places)) <= std::round(period * std::pow(10, places))) {
        ++places;
    }
    char ms[80];
    std::snprintf(ms, sizeof ms, " takes %.*f ms of its %.*f ms", places, work, places, period);
    const bool restart = k == 0 || k + 1 == time.workUs.size();
    return joined({"the slowest frame, ", std::to_string(o.first + k),
                   restart && time.workUs.size() > 1 ? " (the loop's restart)," : ",", ms});
}

// A frame takes the flash player on an Uno longer than its period: which,
// and the highest rate at which every frame keeps its time.
Failed overTime(const ExportOptions& o, const codec::PlayerTime& time, int fps) {
    const int rate = time.highestRate();
    std::string m = "on an Uno " + slowestFrame(o, time, fps) + " at " + std::to_string(fps) +
                    " fps, so orv_flash_player would fall behind";
    m += rate > 0
             ? joined({"; every frame keeps its time at --fps ", std::to_string(rate), " or lower"})
             : std::string("; not even at 1 fps");
    return Failed{kExitIo, m};
}

// What the encoder holds for each frame: the frame, and room for its tokens.
std::uint64_t encodedFrameBytes(FrameSize size) { return size.bytes() + 64; }

// The largest frame orv_flash_player holds on an Uno beside its decoder and
// stack: 128 x 64's 1,024 bytes, at most 128 columns.
bool unoPlays(FrameSize size) { return size.bytes() <= 1024 && size.width <= 128; }

// The bytes of memory this process can still take: what the system has
// available, and no more than its address-space limit leaves.
std::uint64_t memoryLeft() {
    std::uint64_t left = UINT64_MAX, kib = 0, pages = 0;
    std::ifstream info("/proc/meminfo");
    for (std::string key; info >> key >> kib; info.ignore(64, '\n')) {
        if (key == "MemAvailable:") left = kib * 1024;
    }
    rlimit limit{};
    if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        std::ifstream("/proc/self/statm") >> pages) {
        const std::uint64_t used = pages * static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
        left = std::min<std::uint64_t>(left, limit.rlim_cur > used ? limit.rlim_cur - used : 0);
    }
    return left;
}

// Reads the frames asked for, each to the function given.
using FrameReader = std::function<Status(const FrameVisitor&)>;

// The stream of the `count` frames that `frames` reads, or why there is none:
// no memory for the encoder, which holds every frame (refused before it is
// taken, where the system tells how much there is), more bytes than --flash,
// or a stop.
Result<std::vector<std::uint8_t>, Failed> encodeStream(const ExportOptions& o, std::uint64_t count,
                                                       int fps, bool light, FrameSize size,
                                                       const FrameReader& frames,
                                                       codec::PlayerTime& time) {
    const std::uint64_t each = encodedFrameBytes(size);
    const Failed noRoom{kExitIo, joined({"not enough memory to encode ", counted(count, "frame"),
                                         " (about ", groupedDigits(count * each >> 20),
                                         " MB); --frames exports part of them"})};
    if (count > memoryLeft() / each) return noRoom;
    try {
        codec::Encoder e(size);
        e.reserve(count);
        if (Status s = frames([&](const Frame& f) { e.add(f); }); !s) {
            return Failed{kExitIo, s.failure()};
        }
        const std::uint64_t bytes = e.streamBytes(count);
        if (StopSignals::requested()) return Failed{kExitIo, "interrupted"};  // said by the caller
        if (o.flash && bytes > o.flash) return overFlash(o, count, bytes, e.framesThatFit(o.flash));
        if (unoPlays(size)) {  // else nothing says an Uno's time
            time = e.unoTime(count);
            if (o.flashName.value == "uno" && time.workUs[time.slowest()] > 1e6 / fps) {
                return overTime(o, time, fps);
            }
        }
        return e.stream(count, fps, light);
    } catch (const std::bad_alloc&) {
        return noRoom;
    }
}

Outcome exportFrames(ExportOptions& o, std::ostream& out, std::ostream& err) {
    StopSignals stops;
    OutputFile file(o.output);
    const std::string untouched = file.untouched();  // what a stop leaves
    // The whole input is checked first, and its frames counted.
    std::optional<codec::StreamInfo> stream;
    FrameSize size;
    Result<std::uint64_t> total = readFrames(o.input, nullptr, &stream, &size);
    if (!total) return total.failure();
    // Nothing to export is the frame file's fault, as for orv render.
    if (total.value() == 0) return Failed{kExitIo, quotedName(o.input) + " holds no frames"};
    if (Status fits = displayFits(o.display, size, o.input); !fits) {
        return Failed{kExitUsage, fits.failure()};
    }
    if (o.flashName.value == "uno" && !unoPlays(size)) {
        return Failed{kExitUsage,
                      "--flash uno: orv_flash_player on an Uno holds frames of 1,024 "
                      "bytes and 128 columns at most, and " +
                          quotedName(o.input) + " holds " + sizeWords(size) + " ones"};
    }
    const std::uint64_t frameBytes = layoutBytes(size, o.layout);
    const bool all = !o.some;
    if (!all && (o.first >= total.value() || o.count > total.value() - o.first)) {
        return Failed{kExitUsage, "--frames " + std::to_string(o.first) + ":" +
                                      std::to_string(o.count) + " is outside " +
                                      quotedName(o.input) + ", which holds " +
                                      counted(total.value(), "frame") + " (0 to " +
                                      std::to_string(total.value() - 1) + ")"};
    }
    const std::uint64_t count = all ? total.value() : o.count;
    // A stream keeps its own polarity and rate unless told otherwise.
    const bool light = o.polarityGiven ? o.light : stream && stream->lightSetBit;
    const int fps = o.fps ? o.fps : stream ? stream->fps : app::kInitialFrameRate;
    // The frames asked for, in the layout and polarity asked for.
    auto eachFrame = [&](const std::function<void(const std::vector<std::uint8_t>&)>& take) {
        std::uint64_t index = 0, done = 0;
        Result<std::uint64_t> read = readFrames(o.input, [&](const Frame& f) {
            const std::uint64_t k = index++;
            if (StopSignals::requested()) return;
            if (k >= o.first && k < o.first + count) take(toLayout(f, o.layout, light)), ++done;
        });
        if (!read) return Status(read.failure());
        if (StopSignals::requested()) return Status(fail("interrupted" + untouched));
        if (done != count) return Status(fail(quotedName(o.input) + " changed while it was read"));
        return Status(Done{});
    };
    std::vector<std::uint8_t> encoded;
    codec::PlayerTime time;
    if (o.codec) {
        // The encoder takes frames in the pages layout, which is the stream's.
        auto pages = [&](const FrameVisitor& take) {
            Frame frame(size);
            return eachFrame([&](const std::vector<std::uint8_t>& bytes) {
                std::copy(bytes.begin(), bytes.end(), frame.data());
                take(frame);
            });
        };
        auto made = encodeStream(o, count, fps, light, size, pages, time);
        if (StopSignals::requested()) return Failed{kExitIo, "interrupted" + untouched};
        if (!made) return made.failure();
        encoded = std::move(made.value());
    } else if (o.flash && frameBytes * count > o.flash) {
        return overFlash(o, count, frameBytes * count, o.flash / frameBytes);
    }
    const std::uint64_t bytes = o.codec ? encoded.size() : frameBytes * count;
    if (Status opened = file.open(); !opened) return opened.failure();
    Status written = Done{};
    const std::string source = std::filesystem::path(o.input).filename().string();
    if (o.codec) {
        Result<std::string> c = o.c ? codec::streamAsC(encoded, o.name.value, source)
                                    : std::string(encoded.begin(), encoded.end());
        if (!c) return Failed{kExitUsage, c.failure()};
        written = file.write(c.value());
    } else {
        CArrayWriter c([&](std::string_view text) { return written = file.write(text); });
        const char* polarity =
            light ? "light (a set bit lights a pixel)" : "dark (a set bit is a dark pixel)";
        if (o.c) {
            if (Status s = c.begin(o.name.value, count, source, frameLayoutName(o.layout), polarity,
                                   size, frameBytes);
                !s) {
                return Failed{written ? kExitUsage : kExitIo,
                              written ? s.error() : written.error()};
            }
        }
        std::uint64_t index = 0;
        Status read = eachFrame([&](const std::vector<std::uint8_t>& frame) {
            if (!written) return;
            if (o.c) {
                (void)c.frame(index++, frame);
            } else {
                written = file.write(
                    std::string_view(reinterpret_cast<const char*>(frame.data()), frame.size()));
            }
        });
        if (!read) return read.failure();
        if (written && o.c) (void)c.end();
    }
    if (!written) return written.failure();
    if (Status s = file.commit(); !s) return s.failure();
    if (o.c && !o.flash && bytes > 32768) {
        err << "orv export: warning: the array takes " << groupedDigits(bytes)
            << " bytes, more than the 32 KB of flash of an Uno (ATmega328P), and avr-gcc "
               "refuses an array over 32,767 bytes; "
            << (o.codec ? "" : "--codec pmh makes it smaller, ") << "--flash uno says what fits\n";
    }
    // With the frames on standard output, the summary goes to standard error.
    std::ostream& summary = file.toStdout() ? err : out;
    summary << "orv export: " << counted(count, "frame")
            << (size == kLcdSize ? std::string() : " of " + sizeWords(size)) << " to "
            << (file.toStdout() ? "standard output" : escapedName(o.output)) << " ("
            << (o.c ? "C" : "bin") << ", "
            << (o.codec ? joined({codec::kName, " stream, ", std::to_string(fps), " fps"})
                        : std::string(frameLayoutName(o.layout)))
            << ", set bit " << (light ? "light" : "dark") << ")";
    if (o.codec) {
        summary << ": " << groupedDigits(bytes) << " bytes, " << sizeAgainstRaw(count, bytes, size);
    }
    if (o.flash) {
        summary << "; fits --flash " << o.flashName.value << " with "
                << groupedDigits(o.flash - bytes) << " bytes to spare";
    }
    if (o.codec && unoPlays(size)) summary << "; on an Uno " << slowestFrame(o, time, fps);
    summary << "\n";
    return done();
}

// --layout NAME.
Result<FrameLayout> layoutOption(const std::string& name) {
    Result<FrameLayout> layout = parseFrameLayout(name);
    if (!layout) return fail("--layout: " + layout.error());
    return layout;
}

using O = ExportOptions;

}  // namespace

const Command kExport = command<O>(
    {"export", "frames as a C header or raw bytes for a microcontroller", kHelp, 21},
    {operand("FILE.orv", &O::input),
     field(outputOption("OUT", "-o OUT.h, OUT.c or OUT.bin"), &O::output),
     field(choice("codec", codec::kName,
                  "a frame stream: pages that changed, moves and runs\n"
                  "(pages layout only)",
                  "", codec::kName),
           &O::codecName),
     field(number("fps", "N",
                  "the frame rate the stream is made for ({range}, default\n"
                  "{default}, or a stream FILE's own); with --codec or\n"
                  "OUT.pmh",
                  1, 255, app::kInitialFrameRate),
           &O::fpsGiven),
     field(text("flash", "BYTES|uno",
                "refuse (exit 1) what does not fit in BYTES of flash, and\n"
                "say how many frames do; uno: the 26,500 bytes an Uno\n"
                "has beside orv_flash_player, for frames of 1,024 bytes\n"
                "and 128 columns at most, and with --codec a clip whose\n"
                "slowest frame takes the player longer than its period,\n"
                "with the highest --fps that keeps time",
                "", "uno"),
           &O::flashName),
     field(choice("format", "c|bin",
                  "default from OUT's extension (.h or .c: c; .bin: bin;\n"
                  ".pmh: bin, a stream as with --codec pmh); needed with -o -",
                  "", "c bin"),
           &O::format),
     field(text("layout", "LAYOUT",
                "pages (default): the frame file's order, 8 pages of 128\n"
                "column bytes (at 128 x 64), bit k of page p being row\n"
                "8p + k; what page-organised controllers (12864 class,\n"
                "SSD1306, SH1106, SH1107, ST7565, PCD8544) take as is\n"
                "rows-msb: 64 rows of 16 bytes (a row's bytes: the width\n"
                "over 8, rounded up), the leftmost pixel in bit 7\n"
                "rows-lsb: the same with the leftmost pixel in bit 0",
                "pages", "pages rows-msb rows-lsb"),
           &O::layout, layoutOption),
     field(setBitOption("what a set bit means: dark (default, the frame file's\n"
                        "own, or a stream FILE's) or light (OLEDs light a pixel\n"
                        "for a set bit)"),
           &O::setBit),
     field(displayOption("the polarity the panel NAME wants (see below), whose\n"
                         "size the frames must have; a player for an I2C\n"
                         "panel is built with make ORV_DISPLAY=NAME"),
           &O::display),
     field(text("frames", "FIRST:COUNT", "only these frames (FIRST counts from 0), all in FILE"),
           &O::framesText),
     field(text("name", "IDENT",
                "the C array's name (default: from FILE's name): letters,\n"
                "digits and _, a letter first, not a name C or its\n"
                "library uses"),
           &O::name),
     field(flag("force", "replace an existing OUT"), &O::force)},
    check, exportFrames);

}  // namespace orv::cli

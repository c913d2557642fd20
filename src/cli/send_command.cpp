// `orv send`: frames of a frame file to a device over a serial port, paced at
// a frame rate and, when the receiver acknowledges, at its pace, in the framed
// protocol (only changed pages, with a checksum) or raw.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ostream>
#include <string>

#include "cli/command.h"
#include "cli/stop_signals.h"
#include "common/numbers.h"
#include "common/text.h"
#include "lcd/orv_reader.h"
#include "serial/frame_link.h"
#include "serial/frame_sender.h"
#include "serial/serial_device.h"
#include "serial/serial_rules.h"

namespace orv::cli {
namespace {

const char* const kHelp =
    "usage: orv send FILE.orv --port PORT [options]\n"
    "\n"
    "Sends the frames to a device over a serial port, one frame every 1/N s.\n"
    "\n"
    "{options}"
    "\n"
    "Displays (--display NAME), each with its size and what a set bit means:\n"
    "{displays}"
    "\n"
    "A receiver that announces itself (link version 2) acknowledges every page it\n"
    "shows: no more packets go out than it has room for, and the summary counts\n"
    "the frames it showed. One that shows frames of another size than FILE's is\n"
    "refused, naming both. Without it, the summary can only count writes. A link\n"
    "or device too slow for the rate makes the run fall behind; no frame is dropped.\n"
    "Ctrl-C ends the run after the packet on its way. See docs/protocol.md.\n"
    "\n"
    "Exit status: 0 done (or ended by Ctrl-C with --loop), 1 the frame file is\n"
    "not whole, the port cannot be used or went away, the line took no data or\n"
    "the receiver acknowledged nothing for 3 s, the receiver plays no raw frames\n"
    "or shows frames of another size, or the run was interrupted, 2 a usage\n"
    "error.\n";

struct SendOptions {
    std::string input, port, settings, mode;
    int fps = 0;
    Given<int> key;
    double wait = 0;
    Given<std::string> setBit, display;
    bool loop = false, quiet = false;
    bool framed = true, light = false;  // from --mode, and --set-bit or --display
};

// What the options say together.
Status check(SendOptions& o) {
    if (Result<serial::PortSettings> s = serial::parseSettings(o.settings); !s) {
        return s.failure();
    }
    // A port number follows the numbering rule, or names no device.
    if (!o.port.empty() && o.port.find_first_not_of("0123456789") == std::string::npos) {
        const Result<std::int32_t> number = num::parseInt32(o.port, "--port");
        if (!number || !serial::portDevice(number.value())) {
            return fail("--port " + o.port + " names no device (" + serial::portRuleText() + ")");
        }
    }
    o.framed = o.mode == "framed";
    if (!o.framed && o.key.given) return fail("--key goes with --mode framed, not raw");
    Result<bool> light = setBitLight(o.setBit, o.display);
    if (!light) return light.failure();
    o.light = light.value();
    return Done{};
}

using Clock = std::chrono::steady_clock;

// The summary line: what the device showed when it acknowledged, else what
// went out; a frame that a stop cut short when it was already late counts as
// a late one.
std::string summary(const SendOptions& o, const serial::FrameSender& sender,
                    const serial::SerialDevice& device, std::uint64_t frames, std::uint64_t onTime,
                    bool lateWhenStopped, double seconds) {
    const serial::LinkPacer& pacer = sender.pacer();
    const double perFrame = frames ? static_cast<double>(sender.bytes()) / frames : 0;
    char line[400];
    const int n = std::snprintf(
        line, sizeof line, "orv send: %s (%llu bytes, %.0f a frame) to %s in %.2f s",
        counted(frames, "frame").c_str(), static_cast<unsigned long long>(sender.bytes()), perFrame,
        device.name().c_str(), seconds);
    const auto at = static_cast<std::size_t>(std::max(n, 0));
    if (pacer.announced()) {
        std::snprintf(line + at, sizeof line - at,
                      "; the device showed %llu, %.1f frames/s (%d asked), %llu with a page "
                      "lost; packets lost: %llu\n",
                      static_cast<unsigned long long>(pacer.framesShown() + pacer.framesDamaged()),
                      pacer.framesPerSecond(), o.fps,
                      static_cast<unsigned long long>(pacer.framesDamaged()),
                      static_cast<unsigned long long>(pacer.packetsLost()));
    } else {
        std::snprintf(
            line + at, sizeof line - at,
            ": %.1f frames/s written of %d, %.1f %% on time; the link carries %.0f "
            "bytes/s, %.1f frames/s of these; the device sent no acknowledgements, "
            "so only writes were measured\n",
            frames ? frames / std::max(seconds, static_cast<double>(frames) / o.fps) : 0.0, o.fps,
            frames + lateWhenStopped ? 100.0 * onTime / (frames + lateWhenStopped) : 100.0,
            device.bytesPerSecond(), perFrame > 0 ? device.bytesPerSecond() / perFrame : 0.0);
    }
    return line;
}

Outcome send(SendOptions& o, std::ostream& out, std::ostream& err) {
    ReadEnd read;
    Result<std::uint64_t> total = readFrameFile(o.input, nullptr, &read);
    if (!total) return total.failure();
    if (total.value() == 0) return Failed{kExitIo, "\"" + o.input + "\" holds no frames"};
    const FrameSize size = read.size;
    if (Status fits = displayFits(o.display, size, o.input); !fits) {
        return Failed{kExitUsage, fits.failure()};
    }
    serial::SerialDevice device;
    if (Status opened = device.open(o.port, o.settings); !opened) {
        return opened.failure();
    }
    StopSignals stops;
    serial::FrameSender sender(device, o.framed, o.key.value, &StopSignals::requested);
    {
        Result<bool> heard = sender.awaitReceiver(
            std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(o.wait)));
        if (!heard) return heard.failure();
        if (heard.value() && !o.framed) {
            return Failed{kExitIo, device.name() + " announced link version " +
                                       std::to_string(sender.pacer().version()) +
                                       ", a receiver of framed mode only: use --mode framed"};
        }
        if (heard.value() && sender.pacer().size() != size) {
            return Failed{kExitIo, device.name() + " shows frames of " +
                                       sizeWords(sender.pacer().size()) + ", and " +
                                       quotedName(o.input) + " holds frames of " + sizeWords(size) +
                                       "; nothing was sent"};
        }
        if (!heard.value() && o.wait > 0 && !StopSignals::requested() && !o.quiet) {
            char notice[200];
            std::snprintf(notice, sizeof notice,
                          "orv send: %s did not announce itself within %g s; sending without "
                          "acknowledgements\n",
                          device.name().c_str(), o.wait);
            err << notice;
        }
    }
    const bool progress = !o.quiet && ::isatty(2);
    Clock::time_point start{};  // when the first frame is ready to go
    const auto period = std::chrono::duration<double>(1.0 / o.fps);
    std::uint64_t frame = 0, onTime = 0;
    bool late = false;  // the frame a stop cut short was past its time
    Status sending = Done{};
    bool stopped = StopSignals::requested();
    do {
        Result<std::uint64_t> pass = readFrameFile(o.input, [&](const Frame& f) {
            if (!sending || stopped) return;
            if (frame == 0) start = Clock::now();
            const auto due = start + std::chrono::duration_cast<Clock::duration>(period * frame);
            Result<bool> sent = sender.send(frame, serial::applySetBit(f, o.light), due);
            if (!sent) {
                sending = sent.failure();
                return;
            }
            const bool inTime =
                Clock::now() <= due + std::chrono::duration_cast<Clock::duration>(period);
            stopped = !sent.value();
            late = stopped && !inTime;
            if (stopped) return;
            if (inTime) ++onTime;
            ++frame;
            if (progress && frame % 10 == 0) {
                // As convert shows it: how far, of how many, and the time left.
                if (o.loop) {
                    std::fprintf(stderr, "\rsend: frame %llu (looping), %llu bytes   ",
                                 static_cast<unsigned long long>(frame),
                                 static_cast<unsigned long long>(sender.bytes()));
                } else {
                    const std::uint64_t left = total.value() - std::min(frame, total.value());
                    std::fprintf(stderr, "\rsend: frame %llu of %llu, %.0f s left   ",
                                 static_cast<unsigned long long>(frame),
                                 static_cast<unsigned long long>(total.value()),
                                 static_cast<double>(left) / o.fps);
                }
            }
            stopped = StopSignals::requested();
        });
        if (!pass && sending) sending = pass.failure();
    } while (o.loop && sending && !stopped);
    if (sending) sending = sender.finish();
    if (progress) std::fprintf(stderr, "\n");
    if (!sending)
        return Failed{kExitIo, sending.error() + " (after " + counted(frame, "frame") + ")"};
    const double seconds =
        frame ? std::chrono::duration<double>(Clock::now() - start).count() : 0.0;
    if (!o.quiet) out << summary(o, sender, device, frame, onTime, late, seconds);
    if (stopped && !o.loop) {
        return Failed{kExitIo, "interrupted after " + counted(frame, "frame")};
    }
    return done();
}

using O = SendOptions;

Option portOption() {
    Option port = text("port", "PORT",
                       "a device path (/dev/ttyACM0) or a port number: 1-99\n"
                       "/dev/ttyS0-98, 100-199 /dev/ttyUSB0-99, 200-299\n"
                       "/dev/ttyACM0-99, 1000-1999 /dev/pts/0-999");
    port.required = "--port /dev/ttyACM0, or a port number";
    return port;
}

}  // namespace

const Command kSend = command<O>(
    {"send", "frames to a device over a serial port", kHelp, 21},
    {operand("FILE.orv", &O::input), field(portOption(), &O::port),
     field(text("settings", "TEXT", "baud,parity,data bits,stop bits (default {default})",
                "115200,n,8,1", "115200,n,8,1 9600,n,8,1"),
           &O::settings),
     field(fpsOption("frames per second, {range} (default {default})"), &O::fps),
     field(choice("mode", "MODE",
                  "framed (default): packets of one page each, 0xA5 0x5A,\n"
                  "frame number, page, its columns (128), CRC-16; a frame\n"
                  "sends only the pages that changed, all of them every\n"
                  "--key frames\n"
                  "raw: each frame's bytes (1,024 at 128 x 64), back to back;\n"
                  "the reference receiver (examples/arduino) speaks framed\n"
                  "mode only",
                  "framed", "framed raw"),
           &O::mode),
     field(number("key", "N", "framed: every Nth frame sends all pages (default {default})", 1,
                  65536, serial::kDefaultKeyInterval),
           &O::key),
     field(setBitOption("dark (default): a set bit is a dark pixel, as in the\n"
                        "frame file; light: for OLEDs, which light a set bit"),
           &O::setBit),
     field(displayOption("the polarity the panel NAME wants (see below), whose\n"
                         "size the frames must have; a receiver for an I2C\n"
                         "panel is built with make ORV_DISPLAY=NAME"),
           &O::display),
     field(number("wait", "S",
                  "seconds to wait for the receiver to announce itself after\n"
                  "the port opens (an Uno restarts then), {range} (default {default});\n"
                  "0 sends at once",
                  0, 60, 3),
           &O::wait),
     field(flag("loop", "start again at the end, until Ctrl-C"), &O::loop),
     field(flag("quiet", "no notices, no progress and no summary"), &O::quiet)},
    check, send);

}  // namespace orv::cli

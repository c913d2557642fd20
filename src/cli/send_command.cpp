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
#include "lcd/orv_reader.h"
#include "serial/frame_link.h"
#include "serial/frame_sender.h"
#include "serial/serial_device.h"

namespace orv::cli {
namespace {

const char* const kUsage =
    "usage: orv send FILE.orv --port PORT [options]\n"
    "\n"
    "Sends the frames to a device over a serial port, one frame every 1/N s.\n"
    "\n"
    "  --port PORT        a device path (/dev/ttyACM0) or a port number: 1-99\n"
    "                     /dev/ttyS0-98, 100-199 /dev/ttyUSB0-99, 200-299\n"
    "                     /dev/ttyACM0-99, 1000-1999 /dev/pts/0-999\n"
    "  --settings TEXT    baud,parity,data bits,stop bits (default 115200,n,8,1)\n"
    "  --fps N            frames per second, 1..46 (default 31)\n"
    "  --mode MODE        framed (default): packets of one page each, 0xA5 0x5A,\n"
    "                     frame number, page, 128 bytes, CRC-16; a frame sends only\n"
    "                     the pages that changed, all 8 every --key frames\n"
    "                     raw: each frame's 1,024 bytes, back to back; the reference\n"
    "                     receiver (examples/arduino) speaks framed mode only\n"
    "  --key N            framed: every Nth frame sends all pages (default 31)\n"
    "  --set-bit dark|light  dark (default): a set bit is a dark pixel, as in the\n"
    "                     frame file; light: for OLEDs, which light a set bit\n"
    "  --wait S           seconds to wait for the receiver to announce itself after\n"
    "                     the port opens (an Uno restarts then), 0..60 (default 3);\n"
    "                     0 sends at once\n"
    "  --loop             start again at the end, until Ctrl-C\n"
    "  --quiet            no notices, no progress and no summary\n"
    "\n"
    "A receiver that announces itself (link version 2) acknowledges every page it\n"
    "shows: no more packets go out than it has room for, and the summary counts\n"
    "the frames it showed. Without it, the summary can only count writes. A link\n"
    "or device too slow for the rate makes the run fall behind; no frame is dropped.\n"
    "Ctrl-C ends the run after the packet on its way. See docs/protocol.md.\n"
    "\n"
    "Exit status: 0 done (or ended by Ctrl-C with --loop), 1 the frame file is\n"
    "not whole, the port cannot be used or went away, the receiver plays no raw\n"
    "frames, or the run was interrupted, 2 a usage error.\n";

struct SendOptions {
    std::string input, port, settings;
    int fps = 31;
    int key = serial::kDefaultKeyInterval;
    double wait = 3;
    bool framed = true, light = false, loop = false, quiet = false;
};

Result<SendOptions> parseOptions(const Words& w) {
    SendOptions o;
    if (w.positional.size() != 1) return fail("send takes one FILE.orv");
    if (!w.has("port")) return fail("no port given (--port /dev/ttyACM0, or a port number)");
    o.input = w.positional[0];
    o.port = w.get("port", "");
    o.settings = w.get("settings", "115200,n,8,1");
    Result<int> fps = optionNumber<int>(w, "fps", "31", 1, 46);
    if (!fps) return fail(fps.error());
    o.fps = fps.value();
    Result<int> key = optionNumber<int>(w, "key", "31", 1, 65536);
    if (!key) return fail(key.error());
    o.key = key.value();
    Result<double> wait = optionNumber<double>(w, "wait", "3", 0, 60);
    if (!wait) return fail(wait.error());
    o.wait = wait.value();
    const std::string mode = w.get("mode", "framed");
    if (mode != "framed" && mode != "raw") {
        return fail("unknown --mode \"" + mode + "\" (framed or raw)");
    }
    o.framed = mode == "framed";
    if (!o.framed && w.has("key")) return fail("--key goes with --mode framed, not raw");
    Result<bool> light = optionSetBitLight(w);
    if (!light) return fail(light.error());
    o.light = light.value();
    o.loop = w.has("loop");
    o.quiet = w.has("quiet");
    return o;
}

using Clock = std::chrono::steady_clock;

// The summary line: what the device showed when it acknowledged, else what
// went out.
std::string summary(const SendOptions& o, const serial::FrameSender& sender,
                    const serial::SerialDevice& device, std::uint64_t frames, std::uint64_t onTime,
                    double seconds) {
    const serial::LinkPacer& pacer = sender.pacer();
    const double perFrame = frames ? static_cast<double>(sender.bytes()) / frames : 0;
    char line[400];
    const int n = std::snprintf(
        line, sizeof line, "orv send: %llu frames (%llu bytes, %.0f a frame) to %s in %.2f s",
        static_cast<unsigned long long>(frames), static_cast<unsigned long long>(sender.bytes()),
        perFrame, device.name().c_str(), seconds);
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
            frames ? 100.0 * onTime / frames : 100.0, device.bytesPerSecond(),
            perFrame > 0 ? device.bytesPerSecond() / perFrame : 0.0);
    }
    return line;
}

Outcome send(const SendOptions& o, std::ostream& out, std::ostream& err) {
    Result<std::uint64_t> total = readFrameFile(o.input, nullptr);
    if (!total) return Failed{kExitIo, total.error()};
    if (total.value() == 0) return Failed{kExitIo, "\"" + o.input + "\" holds no frames"};
    serial::SerialDevice device;
    if (Status opened = device.open(o.port, o.settings); !opened) {
        return Failed{kExitIo, opened.error()};
    }
    StopSignals stops;
    serial::FrameSender sender(device, o.framed, o.key, &StopSignals::requested);
    {
        Result<bool> heard = sender.awaitReceiver(
            std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(o.wait)));
        if (!heard) return Failed{kExitIo, heard.error()};
        if (heard.value() && !o.framed) {
            return Failed{kExitIo, device.name() + " announced link version " +
                                       std::to_string(sender.pacer().version()) +
                                       ", a receiver of framed mode only: use --mode framed"};
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
    Outcome failed;
    bool stopped = StopSignals::requested();
    do {
        Result<std::uint64_t> pass = readFrameFile(o.input, [&](const FramePages& f) {
            if (failed || stopped) return;
            if (frame == 0) start = Clock::now();
            const auto due = start + std::chrono::duration_cast<Clock::duration>(period * frame);
            Result<bool> sent = sender.send(frame, serial::applySetBit(f, o.light), due);
            if (!sent) {
                failed = Failed{kExitIo, sent.error()};
                return;
            }
            stopped = !sent.value();
            if (stopped) return;
            if (Clock::now() <= due + std::chrono::duration_cast<Clock::duration>(period)) ++onTime;
            ++frame;
            if (progress && frame % 10 == 0) {
                std::fprintf(stderr, "\rsend: %llu frames, %llu bytes   ",
                             static_cast<unsigned long long>(frame),
                             static_cast<unsigned long long>(sender.bytes()));
            }
            stopped = StopSignals::requested();
        });
        if (!pass && !failed) failed = Failed{kExitIo, pass.error()};
    } while (o.loop && !failed && !stopped);
    if (!failed) {
        if (Status finished = sender.finish(); !finished)
            failed = Failed{kExitIo, finished.error()};
    }
    if (progress) std::fprintf(stderr, "\n");
    if (failed) {
        failed->message += " (after " + std::to_string(frame) + " frames)";
        return failed;
    }
    const double seconds =
        frame ? std::chrono::duration<double>(Clock::now() - start).count() : 0.0;
    if (!o.quiet) out << summary(o, sender, device, frame, onTime, seconds);
    if (stopped && !o.loop) {
        return Failed{kExitIo, "interrupted after " + std::to_string(frame) + " frames"};
    }
    return std::nullopt;
}

}  // namespace

int runSend(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    return runCommand("send", kUsage, args,
                      {"port", "settings", "fps", "mode", "key", "set-bit", "wait"},
                      {"loop", "quiet"}, out, err, [&out, &err](const Words& w) -> Outcome {
                          Result<SendOptions> options = parseOptions(w);
                          if (!options) return Failed{kExitUsage, options.error()};
                          return send(options.value(), out, err);
                      });
}

}  // namespace orv::cli

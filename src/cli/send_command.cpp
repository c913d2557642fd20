// `orv send`: frames of a frame file to a device over a serial port, paced at
// a frame rate, in the framed protocol (only changed pages, with a checksum)
// or raw.
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ostream>

#include "cli/command.h"
#include "cli/stop_signals.h"
#include "lcd/orv_reader.h"
#include "orv_link.h"
#include "serial/frame_link.h"
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
    "                     raw: each frame's 1,024 bytes, back to back\n"
    "  --key N            framed: every Nth frame sends all pages (default 31)\n"
    "  --set-bit dark|light  dark (default): a set bit is a dark pixel, as in the\n"
    "                     frame file; light: for OLEDs, which light a set bit\n"
    "  --loop             start again at the end, until Ctrl-C\n"
    "  --quiet            no progress and no summary\n"
    "\n"
    "A link too slow for the rate makes the run fall behind; no frame is dropped.\n"
    "Ctrl-C ends the run after the packet on its way. See docs/protocol.md.\n"
    "\n"
    "Exit status: 0 done (or ended by Ctrl-C with --loop), 1 the frame file is\n"
    "not whole, the port cannot be used or went away, or the run was interrupted,\n"
    "2 a usage error.\n";

struct SendOptions {
    std::string input, port, settings;
    int fps = 31;
    int key = serial::kDefaultKeyInterval;
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

// Waits until `when`, a short nap at a time, so that a stop is seen at once.
void waitUntil(Clock::time_point when) {
    while (!StopSignals::requested()) {
        const auto left = when - Clock::now();
        if (left <= Clock::duration::zero()) return;
        const auto nap = std::min<Clock::duration>(left, std::chrono::milliseconds(50));
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(nap).count();
        timespec t{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
        ::nanosleep(&t, nullptr);
    }
}

Outcome send(const SendOptions& o, std::ostream& out) {
    Result<std::uint64_t> total = readFrameFile(o.input, nullptr);
    if (!total) return Failed{kExitIo, total.error()};
    if (total.value() == 0) return Failed{kExitIo, "\"" + o.input + "\" holds no frames"};
    serial::SerialDevice device;
    if (Status opened = device.open(o.port, o.settings); !opened) {
        return Failed{kExitIo, opened.error()};
    }
    StopSignals stops;
    serial::FramedEncoder encoder(o.key);
    const bool progress = !o.quiet && ::isatty(2);
    const Clock::time_point start = Clock::now();
    const auto period = std::chrono::duration<double>(1.0 / o.fps);
    std::uint64_t frame = 0, onTime = 0, bytes = 0;
    Outcome failed;
    bool stopped = false;
    std::string wire;
    do {
        Result<std::uint64_t> pass = readFrameFile(o.input, [&](const FramePages& f) {
            if (failed || stopped) return;
            const auto due = start + std::chrono::duration_cast<Clock::duration>(period * frame);
            waitUntil(due);
            const FramePages shown = serial::applySetBit(f, o.light);
            wire.clear();
            if (o.framed) {
                encoder.encode(frame, shown, wire);
            } else {
                wire = serial::rawFrame(shown);
            }
            // A packet at a time: a stop ends the run between packets.
            const std::size_t packet = o.framed ? framing::kPacketBytes : wire.size();
            for (std::size_t at = 0; at < wire.size() && !stopped; at += packet) {
                if (StopSignals::requested()) {
                    stopped = true;
                    break;
                }
                Result<std::size_t> sent = device.write(std::string_view(wire).substr(at, packet),
                                                        &StopSignals::requested);
                if (!sent) {
                    failed = Failed{kExitIo, sent.error()};
                    return;
                }
                bytes += sent.value();
                stopped = sent.value() == 0;
            }
            if (stopped) return;
            if (Clock::now() <= due + std::chrono::duration_cast<Clock::duration>(period)) ++onTime;
            ++frame;
            if (progress && frame % 10 == 0) {
                std::fprintf(stderr, "\rsend: %llu frames, %llu bytes   ",
                             static_cast<unsigned long long>(frame),
                             static_cast<unsigned long long>(bytes));
            }
            stopped = StopSignals::requested();
        });
        if (!pass && !failed) failed = Failed{kExitIo, pass.error()};
    } while (o.loop && !failed && !stopped);
    if (!failed) {
        if (Status drained = device.drain(); !drained) failed = Failed{kExitIo, drained.error()};
    }
    if (progress) std::fprintf(stderr, "\n");
    if (failed) {
        failed->message += " (after " + std::to_string(frame) + " frames)";
        return failed;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (!o.quiet) {
        const double perFrame = frame ? static_cast<double>(bytes) / frame : 0;
        char line[320];
        std::snprintf(line, sizeof line,
                      "orv send: %llu frames (%llu bytes, %.0f a frame) to %s in %.2f s: "
                      "%.1f frames/s of %d, %.1f %% on time; the link carries %.0f bytes/s, "
                      "%.1f frames/s of these\n",
                      static_cast<unsigned long long>(frame),
                      static_cast<unsigned long long>(bytes), perFrame, device.name().c_str(),
                      seconds, frame / std::max(seconds, static_cast<double>(frame) / o.fps), o.fps,
                      frame ? 100.0 * onTime / frame : 100.0, device.bytesPerSecond(),
                      perFrame > 0 ? device.bytesPerSecond() / perFrame : 0.0);
        out << line;
    }
    if (stopped && !o.loop) {
        return Failed{kExitIo, "interrupted after " + std::to_string(frame) + " frames"};
    }
    return std::nullopt;
}

}  // namespace

int runSend(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    return runCommand("send", kUsage, args, {"port", "settings", "fps", "mode", "key", "set-bit"},
                      {"loop", "quiet"}, out, err, [&out](const Words& w) -> Outcome {
                          Result<SendOptions> options = parseOptions(w);
                          if (!options) return Failed{kExitUsage, options.error()};
                          return send(options.value(), out);
                      });
}

}  // namespace orv::cli

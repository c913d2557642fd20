// `orv convert`: a video file to a frame file, in steps: the options, the
// sampling plan of the capture clock, decoding and scaling, and the frame
// pipeline, which reduces each tick's picture as the tool does and hands the
// records to the sink that files them.
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <ostream>

#include "cli/command.h"
#include "cli/convert_options.h"
#include "cli/output_file.h"
#include "cli/record_sink.h"
#include "cli/sampling.h"
#include "cli/stop_signals.h"
#include "cli/video_reader.h"
#include "common/numbers.h"
#include "common/random.h"
#include "common/text.h"

namespace orv::cli {
namespace {

const char* const kHelp =
    "usage: orv convert INPUT -o OUTPUT.orv [options]\n"
    "\n"
    "Turns a video file into LCD frames, as the tool records them from the screen:\n"
    "128 x 64 unless --size or --display says otherwise.\n"
    "\n"
    "{options}"
    "\n"
    "Displays (--display NAME; export and send take the same names):\n"
    "{displays}"
    "\n"
    "Tick k falls at the start plus k / fps. Every frame counts from the tick\n"
    "nearest its start (half-way between two, from the later one), and a tick\n"
    "takes the last frame counted from it or before, as ffmpeg's fps filter does:\n"
    "at a clip's own rate every frame comes out once. The ticks stand on the\n"
    "file's own clock from its start as ffmpeg reads it (sound may begin it\n"
    "before the video), tick 0 the one nearest the video's first frame, from\n"
    "which --start counts. A numbered sequence (clip/%03d.png) plays at 25 fps.\n"
    "\n"
    "Methods, and the luma L (0..255) each one reduces:\n"
    "  engrave          L = (3 B + 6 G + R) \\ 10, the tool's own rule exactly as it\n"
    "                   records: light above 180, dark at 90 and below, at random\n"
    "                   in between (so still areas flicker)\n"
    "  threshold        L = BT.601 luma (299 R + 587 G + 114 B + 500) \\ 1000, as\n"
    "                   for the three below; light above --threshold\n"
    "  bayer            L against a fixed 8 x 8 pattern: an even cross-hatch\n"
    "  floyd-steinberg  L with its error spread to the neighbours in whole\n"
    "                   numbers, as ffmpeg does: the finest detail; a lone change\n"
    "                   of one level mostly goes no further, but noise or\n"
    "                   movement moves the dots after it\n"
    "  blue-noise       L against a fixed 64 x 64 noise mask: fine grain, fixed\n"
    "                   on the frame, so still areas do not flicker\n"
    "\n"
    "For video take blue-noise; for a still picture, floyd-steinberg.\n"
    "\n"
    "The tone controls change L before the method, engrave's included, in the\n"
    "order gamma, contrast, brightness; the result is clamped to 0..255 and\n"
    "rounded half to even. Letterbox bars stay black.\n"
    "\n"
    "Exit status: 0 done, 1 a file could not be read, decoded or written (or the\n"
    "run was interrupted by Ctrl-C, SIGTERM or SIGHUP), 2 a usage error. OUTPUT\n"
    "only ever holds whole frames.\n";

class Progress {
  public:
    Progress(bool shown, std::uint64_t total) : shown_(shown), total_(total) {}
    void update(std::uint64_t done, double seconds) {
        if (!shown_) return;
        const auto now = std::chrono::steady_clock::now();
        if (done != total_ && now - last_ < std::chrono::milliseconds(100)) return;
        last_ = now;
        const double rate = seconds > 0 ? done / seconds : 0;
        const double eta = rate > 0 && total_ > done ? (total_ - done) / rate : 0;
        std::fprintf(stderr, "\rconvert: %llu/%llu frames, %.1f fps, ETA %d:%02d   ",
                     static_cast<unsigned long long>(done), static_cast<unsigned long long>(total_),
                     rate, static_cast<int>(eta) / 60, static_cast<int>(eta) % 60);
    }
    void end() {
        if (shown_) std::fprintf(stderr, "\n");
    }

  private:
    bool shown_;
    std::uint64_t total_;
    std::chrono::steady_clock::time_point last_{};
};

// Each tick's frame, as the tool makes its frames: the kept part of the
// scaled picture in the 129 x 65 source picture (a column and a row more than
// the frame), black where the video does not reach (the tone curve is on the
// video only), reduced by the method chosen, packed, and its record filed by
// the sink.
class TickFrames {
  public:
    TickFrames(const ConvertOptions& o, const FitLayout& layout, RecordSink& sink)
        : layout_(layout), random_(o.seed.value), pipeline_(state_, random_) {
        pipeline_.setSourceFrame(o.frame.width + 1, o.frame.height + 1, 0xFF000000);
        pipeline_.setFrameSize(o.frame);
        pipeline_.setReduction(o.reduction());
        pipeline_.addSink(sink);
    }
    Status record(const std::vector<std::uint8_t>& scaled) {
        keepPart(layout_, scaled, kept_);
        // Frame row r is the source's row r + 1.
        if (Status made = pipeline_.takePicture(kept_, layout_.placeX, layout_.placeY + 1); !made)
            return made;
        pipeline_.pack();
        return pipeline_.record();
    }

  private:
    FitLayout layout_;
    ImageState state_;
    rnd::Sequence random_;
    FramePipeline pipeline_;
    Picture kept_;
};

Outcome convert(ConvertOptions& o, std::ostream& out, std::ostream&) {
    StopSignals stops;
    RecordSink sink(o.output,
                    o.toStdout  ? RecordSink::Mode::Stdout
                    : o.append  ? RecordSink::Mode::Append
                    : o.replace ? RecordSink::Mode::Replace
                                : RecordSink::Mode::New,
                    o.frame);
    // With the records on standard output, the summary goes with the progress.
    std::ostream& say = o.toStdout ? std::cerr : out;
    if (Status ready = sink.open(); !ready) return ready.failure();
    VideoReader video(&StopSignals::requested);
    if (Status opened = video.open(o.input); !opened) {
        sink.abandon();
        return opened.failure();
    }
    // The ticks run to the end asked for; the pictures end where the video
    // does, whatever the container says of its length (its sound may run
    // longer, a variable frame rate can make it shorter).
    const double declared = video.declaredDuration();
    const double end = o.start + o.duration;

    TickSampler sampler(o.start, end, o.fps);
    // A clip that is shown turned (a phone's portrait clip) is fitted and
    // reduced upright.
    const int turns = video.quarterTurns();
    const FitLayout layout =
        fitLayout(o.fit, turns % 2 ? 1 / video.displayAspect() : video.displayAspect(), o.frame);
    const bool still = video.stillPicture();
    // The size the stored frames are scaled to: the layout's, turned back.
    const bool sideways = turns % 2 != 0;
    const int decodedWidth = sideways ? layout.scaledHeight : layout.scaledWidth;
    const int decodedHeight = sideways ? layout.scaledWidth : layout.scaledHeight;
    // ORV_FULL_DECODE=1 decodes at full size and ORV_DECODE_ALL=1 decodes and
    // scales every frame, tick or not: for tests and benchmarks, which compare
    // the frames with and without the shortcuts.
    auto switchedOff = [](const char* name) {
        const char* value = std::getenv(name);
        return value && std::string(value) == "1";
    };
    if (!switchedOff("ORV_FULL_DECODE")) {
        video.preferSize(decodedWidth, decodedHeight);
    }
    video.alignTicks(o.fps);
    if (!switchedOff("ORV_DECODE_ALL")) video.planTicks(o.start, end, o.fps);
    if (o.start > 0) video.seekBefore(o.start);
    TickFrames frames(o, layout, sink);
    const double expectedEnd = declared > 0 ? std::min(end, declared) : end;
    const auto estimate = static_cast<std::uint64_t>(
        std::max(0.0, std::ceil((expectedEnd - o.start) * o.fps - 1e-9)));
    Progress progress(!o.quiet && ::isatty(2), estimate);
    const auto began = std::chrono::steady_clock::now();
    auto elapsed = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    };

    // The frame on show, scaled, and when it stops showing.
    std::vector<std::uint8_t> held;
    double heldEnd = o.start;
    Status run = Done{};
    // Every tick before `until` takes the frame on show.
    auto emitTicksBefore = [&](double until) {
        while (!held.empty() && run && sampler.tickBefore(until)) {
            if (StopSignals::requested()) {
                run = fail("interrupted");
                break;
            }
            if (Status s = frames.record(held); !s) {
                run = s;
                break;
            }
            sampler.advance();
            progress.update(sink.written(), elapsed());
        }
    };

    bool streamEnded = false;
    std::uint64_t decoded = 0;
    while (run) {
        const Next<> more = video.next();
        if (!more.ok()) {
            run = more.failure();
            break;
        }
        if (more.ended()) {
            streamEnded = true;
            break;
        }
        ++decoded;
        const double t = video.frameTime();
        emitTicksBefore(t);
        if (!run || sampler.done()) break;
        // A frame that no tick takes may come without its picture; the one
        // held stays, and only the time moves on.
        if (video.hasPicture()) {
            if (Status s = video.scale(decodedWidth, decodedHeight, held); !s) run = s;
            turnPicture(held, layout.scaledWidth, layout.scaledHeight, turns);
        }
        heldEnd = t + video.frameDuration();
        if (still) break;  // one picture: one frame
    }
    if (run && still && !held.empty()) {
        run = frames.record(held);
    } else if (run) {
        // The last frame shows for its own duration. What the container says
        // of the length (its sound may run on) is no measure of the video.
        emitTicksBefore(heldEnd);
    }
    if (run && !still && streamEnded && video.endsInsideAPacket()) {
        run = fail(quotedName(o.input) +
                   " ends inside a transport packet: the file is damaged or "
                   "cut short");
    }
    if (run && sink.written() == 0) {
        // Nothing to show for the run is a failure, not an empty success.
        const double clipEnd = decoded > 0 ? heldEnd : declared;
        run = fail(decoded == 0 && (o.start == 0 || declared <= 0)
                       ? "no picture could be decoded from " + quotedName(o.input)
                       : quotedName(o.input) + " has no frame from " + num::formatDouble(o.start) +
                             " s on (it ends at " +
                             num::formatDouble(std::round(clipEnd * 100) / 100) + " s)");
    }
    progress.end();
    if (!run) {
        sink.abandon();
        // What stays: the whole frames that went out, else the output as it was.
        const std::string frames = counted(sink.written(), "whole frame");
        std::string left = o.toStdout ? "nothing went to standard output" : untouchedFile(o.output);
        if (sink.written() > 0 && o.toStdout) left = frames + " went to standard output";
        if (sink.written() > 0 && !o.toStdout && !o.replace) {
            left = quotedName(o.output) + " holds " + frames + " from this run";
        }
        return Failed{kExitIo, run.error() + "; " + left};
    }
    if (Status s = sink.finish(); !s) return s.failure();
    if (!o.quiet) {
        const double secs = elapsed();
        char line[256];
        const std::string frames =
            counted(sink.written(), "frame") +
            (o.frame == kLcdSize ? std::string() : " of " + sizeWords(o.frame));
        std::snprintf(line, sizeof line, "orv convert: %s to %s in %.2f s (%.1f frames/s)\n",
                      frames.c_str(), escapedName(o.output).c_str(), secs,
                      secs > 0 ? sink.written() / secs : 0.0);
        say << line;
    }
    return done();
}

using O = ConvertOptions;

}  // namespace

const Command kConvert = command<O>(
    {"convert", "turn a video file into a frame file", kHelp, 19},
    {operand("INPUT", &O::input), field(outputOption("OUTPUT", "-o OUTPUT.orv"), &O::output),
     field(fpsOption("frames per second, {range} (default {default})"), &O::fps),
     field(text("start", "T",
                "start at T (default 0): seconds (90, 1.5), M:SS or H:MM:SS\n"
                "(1:30.5, 0:01:30)"),
           &O::start, secondsOption("start", 0, false)),
     field(text("duration", "D", "convert D, written as T (default: to the end)"), &O::duration,
           secondsOption("duration", 1e9, true)),
     field(text("size", "WxH",
                "the frame's size: width 8 to 256, height a multiple of 8\n"
                "from 8 to 128 (default {default}; a file of another size\n"
                "begins with the line \"ORV WxH\")",
                "128x64"),
           &O::size, sizeOption),
     field(displayOption("the size of the panel NAME (see below)"), &O::display),
     field(choice("fit", "MODE", "stretch, letterbox (default, black bars) or crop", "letterbox",
                  "stretch letterbox crop"),
           &O::fit, fitOf),
     field(text("dither", "METHOD",
                "engrave (default), threshold, bayer, floyd-steinberg or\n"
                "blue-noise; see below",
                "engrave", "engrave threshold bayer floyd-steinberg blue-noise"),
           &O::dither, parseDither),
     field(number("threshold", "T",
                  "with threshold only: light when the luma is above T, {range}\n"
                  "(default {default})",
                  0, 255, 127),
           &O::threshold),
     field(text("seed", "N", "with engrave only: start of its random sequence (default 0)"),
           &O::seed, seedOption),
     field(
         number("brightness", "B", "add B to the luma, {range} (default {default})", -255, 255, 0),
         &O::brightness),
     field(number("contrast", "C",
                  "stretch the luma about its middle 127.5 by C, {range}\n"
                  "(default {default}; 0 makes every pixel mid grey)",
                  0, 10, 1),
           &O::contrast),
     field(number("gamma", "G",
                  "the luma L becomes 255 x (L / 255)^(1 / G), {range}\n"
                  "(default {default}); above 1 lightens the middle tones",
                  0.1, 10, 1),
           &O::gamma),
     field(flag("invert", "swap light and dark"), &O::invert),
     field(flag("append", "add the frames to an existing OUTPUT"), &O::append),
     field(flag("force", "replace an existing OUTPUT (kept as it was if the run fails)"),
           &O::replace),
     field(flag("quiet", "no progress and no summary"), &O::quiet)},
    checkConvertOptions, convert);

}  // namespace orv::cli

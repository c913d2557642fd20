#include "cli/convert_command.h"

#include <unistd.h>

#include <QImage>
#include <QSaveFile>
#include <QString>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <ostream>

#include "cli/image_command.h"
#include "cli/options.h"
#include "cli/video_reader.h"
#include "common/numbers.h"
#include "common/random.h"
#include "lcd/dither.h"
#include "lcd/frame_record.h"
#include "lcd/gif_writer.h"
#include "lcd/orv_reader.h"
#include "lcd/page_packing.h"

namespace orv::cli {

const char* const kConvertUsage =
    "usage: orv convert INPUT -o OUTPUT.orv [options]\n"
    "\n"
    "Turns a video file into LCD frames, as the tool records them from the screen.\n"
    "\n"
    "  --fps N          frames per second, 1..46 (default 31)\n"
    "  --start T        start at T seconds (default 0)\n"
    "  --duration D     convert D seconds (default: to the end)\n"
    "  --fit MODE       stretch, letterbox (default, black bars) or crop\n"
    "  --dither METHOD  engrave (default, the tool's own rule), threshold, bayer,\n"
    "                   floyd-steinberg or blue-noise\n"
    "  --threshold T    for threshold: light when L > T (default 127)\n"
    "  --seed N         start of engrave's random sequence (default 0)\n"
    "  --invert         swap light and dark\n"
    "  --append         add the frames to an existing OUTPUT\n"
    "  --force          replace an existing OUTPUT (kept as it was if the run fails)\n"
    "  --quiet          no progress and no summary\n"
    "\n"
    "Exit status: 0 done, 1 a file could not be read, decoded or written (or the\n"
    "run was interrupted), 2 a usage error. OUTPUT only ever holds whole frames.\n";

const char* const kInfoUsage =
    "usage: orv info FILE.orv [--stats] [--fps N]\n"
    "\n"
    "Checks a frame file strictly and prints its frame count and duration at N\n"
    "frames per second (default 31). --stats adds the mean share of dark pixels\n"
    "and the flicker (mean share of pixels that change from frame to frame).\n";

const char* const kRenderUsage =
    "usage: orv render FILE.orv -o OUT.png|OUT.gif [--frame N] [--scale S] [--fps N]\n"
    "                  [--colors lcd|mono]\n"
    "\n"
    "Draws frames from the records as the LCD shows them: OUT.png one frame\n"
    "(default 0), OUT.gif all frames as an animation at N frames per second\n"
    "(default 31). Each pixel becomes S x S (default 4). lcd: dark pixels on a\n"
    "yellow-green panel; mono: black on white.\n";

namespace {

volatile std::sig_atomic_t gInterrupted = 0;
extern "C" void onInterrupt(int) { gInterrupted = 1; }

// Where the scaled picture goes in the 128 x 64 frame area.
struct Layout {
    int scaledWidth = 128, scaledHeight = 64;  // what the video is scaled to
    int cropX = 0, cropY = 0;                  // the part of it that is kept
    int width = 128, height = 64;              // its size in the frame
    int placeX = 0, placeY = 0;                // its place in the frame
};

Layout fitLayout(const std::string& fit, double aspect) {
    Layout l;
    if (fit == "stretch" || !(aspect > 0)) return l;
    const bool wide = aspect >= 2.0;
    if (fit == "letterbox") {
        if (wide) {
            l.height = std::max(1, static_cast<int>(std::lround(128 / aspect)));
            l.placeY = (64 - l.height) / 2;
        } else {
            l.width = std::max(1, static_cast<int>(std::lround(64 * aspect)));
            l.placeX = (128 - l.width) / 2;
        }
        l.scaledWidth = l.width;
        l.scaledHeight = l.height;
    } else {  // crop
        if (wide) {
            l.scaledWidth = std::max(128, static_cast<int>(std::lround(64 * aspect)));
            l.cropX = (l.scaledWidth - 128) / 2;
        } else {
            l.scaledHeight = std::max(64, static_cast<int>(std::lround(128 / aspect)));
            l.cropY = (l.scaledHeight - 64) / 2;
        }
    }
    return l;
}

// Frame records go out whole, to OUTPUT or to a temporary file beside it.
class RecordSink {
  public:
    enum class Mode { New, Append, Replace };
    RecordSink(std::string output, Mode mode) : output_(std::move(output)), mode_(mode) {
        target_ =
            mode_ == Mode::Replace ? output_ + ".part-" + std::to_string(::getpid()) : output_;
    }
    Status write(const std::string& record) {
        Result<std::uint64_t> r = appendFrameRecord(target_, record);
        if (!r) return fail(r.error());
        ++written_;
        return Done{};
    }
    // Puts the result in place; a new OUTPUT with no frames is created empty.
    Status finish() {
        namespace fs = std::filesystem;
        std::error_code ec;
        if (written_ == 0 && !fs::exists(target_, ec)) {
            std::FILE* f = std::fopen(target_.c_str(), "ab");
            if (!f) return fail("cannot create \"" + target_ + "\"");
            std::fclose(f);
        }
        if (mode_ == Mode::Replace) {
            fs::rename(target_, output_, ec);
            if (ec) {
                abandon();
                return fail("cannot replace \"" + output_ + "\": " + ec.message());
            }
        }
        return Done{};
    }
    // After a failure: a replacement run leaves the old file as it was.
    void abandon() {
        if (mode_ == Mode::Replace) {
            std::error_code ec;
            std::filesystem::remove(target_, ec);
        }
    }
    std::uint64_t written() const { return written_; }

  private:
    std::string output_, target_;
    Mode mode_;
    std::uint64_t written_ = 0;
};

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

std::optional<Failed> convert(const Words& w, std::ostream& out) {
    if (w.positional.size() != 1) return Failed{kExitUsage, "convert takes one INPUT"};
    if (!w.has("output")) return Failed{kExitUsage, "no output given (-o OUTPUT.orv)"};
    const std::string input = w.positional[0], output = w.get("output", "");
    Result<int> fps = optionNumber<int>(w, "fps", "31", 1, 46);
    Result<double> start = optionNumber<double>(w, "start", "0", 0, 1e9);
    Result<double> duration = optionNumber<double>(w, "duration", "1e9", 0, 1e9);
    Result<int> threshold = optionNumber<int>(w, "threshold", "127", 0, 255);
    for (const std::string* e :
         {fps ? nullptr : &fps.error(), start ? nullptr : &start.error(),
          duration ? nullptr : &duration.error(), threshold ? nullptr : &threshold.error()}) {
        if (e) return Failed{kExitUsage, *e};
    }
    const std::string fit = w.get("fit", "letterbox");
    if (fit != "stretch" && fit != "letterbox" && fit != "crop") {
        return Failed{kExitUsage, "unknown --fit \"" + fit + "\" (stretch, letterbox or crop)"};
    }
    Result<Dither> dither = parseDither(w.get("dither", "engrave"));
    if (!dither) return Failed{kExitUsage, dither.error()};
    if (w.has("seed")) {
        Result<std::uint64_t> seed = num::parseUnsigned64(w.get("seed", ""), "--seed");
        if (!seed) return Failed{kExitUsage, seed.error()};
        rnd::setSeed(seed.value());
    }
    if (w.has("append") && w.has("force")) {
        return Failed{kExitUsage, "--append and --force do not go together"};
    }
    std::error_code ec;
    const bool exists = std::filesystem::exists(output, ec);
    if (exists && !w.has("append") && !w.has("force")) {
        return Failed{
            kExitUsage,
            "\"" + output + "\" exists; add --append to add frames or --force to replace it"};
    }

    VideoReader video;
    if (Status opened = video.open(input); !opened) return Failed{kExitIo, opened.error()};
    const double first = start.value();
    const double declared = video.declaredDuration();
    double end = first + duration.value();
    if (declared > 0) end = std::min(end, declared);
    const Layout layout = fitLayout(fit, video.displayAspect());
    if (first > 0) video.seekBefore(first);

    RecordSink sink(output, w.has("append")  ? RecordSink::Mode::Append
                            : w.has("force") ? RecordSink::Mode::Replace
                                             : RecordSink::Mode::New);
    const auto estimate =
        static_cast<std::uint64_t>(std::max(0.0, std::ceil((end - first) * fps.value() - 1e-9)));
    Progress progress(!w.has("quiet") && ::isatty(2), estimate);
    const auto began = std::chrono::steady_clock::now();
    auto elapsed = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    };

    // The source picture as the workbench holds it: 129 x 65, black where the
    // video does not reach.
    PixelGrid picture;
    (void)picture.dimension(4, 129, 65);
    PixelGrid scratch;
    MonoFrameArray mono{};
    LcdPageBufferArray pages{};

    // The frame on show, scaled; each tick shows the latest frame whose time
    // is not after the tick (before the first frame, the first frame).
    std::vector<std::uint8_t> held;
    double heldEnd = first;  // when the frame on show stops showing
    auto emitTick = [&]() -> std::optional<Failed> {
        for (int r = 0; r < layout.height; ++r) {
            // Frame row r is picture row r + 1, grid row 63 - r.
            const int frameRow = layout.placeY + r;
            const std::uint8_t* from =
                held.data() + ((layout.cropY + r) * layout.scaledWidth + layout.cropX) * 4;
            std::memcpy(&picture(0, layout.placeX, 63 - frameRow), from,
                        static_cast<std::size_t>(layout.width) * 4);
        }
        reduceFrame(dither.value(), picture, threshold.value(), w.has("invert"), mono, scratch);
        packLcdPages(mono, pages);
        if (Status s = sink.write(buildFrameRecord(pages)); !s) return Failed{kExitIo, s.error()};
        progress.update(sink.written(), elapsed());
        return std::nullopt;
    };

    gInterrupted = 0;
    auto previous = std::signal(SIGINT, onInterrupt);
    std::optional<Failed> failed;
    std::uint64_t tick = 0;
    bool streamEnded = false;
    auto tickTime = [&] { return first + static_cast<double>(tick) / fps.value(); };
    while (!failed && !gInterrupted) {
        Result<bool> more = video.next();
        if (!more) {
            failed = Failed{kExitIo, more.error()};
            break;
        }
        if (!more.value()) {
            streamEnded = true;
            break;
        }
        const double t = video.frameTime();
        while (!held.empty() && !failed && !gInterrupted && tickTime() < t && tickTime() < end) {
            failed = emitTick();
            ++tick;
        }
        if (failed || tickTime() >= end) break;
        if (Status s = video.scale(layout.scaledWidth, layout.scaledHeight, held); !s) {
            failed = Failed{kExitIo, s.error()};
        }
        heldEnd = t + video.frameDuration();
    }
    while (!held.empty() && !failed && !gInterrupted && tickTime() < std::min(end, heldEnd)) {
        failed = emitTick();
        ++tick;
    }
    if (!failed && streamEnded && declared > 0 && heldEnd + 0.5 < std::min(end, declared)) {
        failed =
            Failed{kExitIo, "\"" + input + "\" ends at " +
                                num::formatDouble(std::round(heldEnd * 100) / 100) + " s of its " +
                                num::formatDouble(std::round(declared * 100) / 100) +
                                " s: the file is damaged or cut short"};
    }
    std::signal(SIGINT, previous);
    progress.end();
    if (!failed && gInterrupted) failed = Failed{kExitIo, "interrupted"};
    if (failed) {
        sink.abandon();
        failed->message += w.has("force")
                               ? "; \"" + output + "\" is left as it was"
                               : "; \"" + output + "\" holds " + std::to_string(sink.written()) +
                                     " whole frames from this run";
        return failed;
    }
    if (Status s = sink.finish(); !s) return Failed{kExitIo, s.error()};
    if (!w.has("quiet")) {
        const double secs = elapsed();
        char line[256];
        std::snprintf(line, sizeof line,
                      "orv convert: %llu frames to %s in %.2f s (%.1f frames/s)\n",
                      static_cast<unsigned long long>(sink.written()), output.c_str(), secs,
                      secs > 0 ? sink.written() / secs : 0.0);
        out << line;
    }
    return std::nullopt;
}

}  // namespace

int runConvert(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (helpAsked(args)) {
        out << kConvertUsage;
        return kExitOk;
    }
    Result<Words> w = splitWords(
        args, {"output", "fps", "start", "duration", "fit", "dither", "threshold", "seed"},
        {"invert", "append", "force", "quiet"});
    std::optional<Failed> failed;
    if (!w) {
        failed = Failed{kExitUsage, w.error()};
    } else {
        failed = convert(w.value(), out);
    }
    if (failed) {
        err << "orv convert: " << failed->message << "\n";
        return failed->status;
    }
    return kExitOk;
}

}  // namespace orv::cli

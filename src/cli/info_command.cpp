// `orv info`: checks a frame file or a frame stream strictly and counts its
// frames.
#include <cstdio>
#include <ostream>

#include "cli/command.h"
#include "cli/frame_source.h"
#include "common/text.h"

namespace orv::cli {
namespace {

const char* const kHelp =
    "usage: orv info FILE.orv|FILE.pmh [--stats] [--fps N]\n"
    "\n"
    "Checks a frame file strictly and prints its frame count and duration at N\n"
    "frames per second (default {default fps}). --stats adds the mean share of dark pixels\n"
    "and the flicker (mean share of pixels that change from frame to frame).\n"
    "A frame stream of orv export --codec is decoded whole; its frame rate is\n"
    "the default, and its codec, size and polarity are printed too.\n";

Outcome info(const Words& w, std::ostream& out, std::ostream&) {
    if (w.positional.size() != 1) return Failed{kExitUsage, "info takes one FILE.orv"};
    Result<int> fps = w.number<int>("fps");
    if (!fps) return Failed{kExitUsage, fps.failure()};
    const bool stats = w.has("stats");
    double darkSum = 0, changeSum = 0;
    FramePages last{};
    std::uint64_t index = 0;
    std::optional<codec::StreamInfo> stream;
    Result<std::uint64_t> frames = readFrames(
        w.positional[0],
        [&](const FramePages& f) {
            if (!stats) return;
            int dark = 0, changed = 0;
            for (std::size_t i = 0; i < f.size(); ++i) {
                dark += __builtin_popcount(f[i]);
                changed += __builtin_popcount(static_cast<unsigned>(f[i] ^ last[i]));
            }
            darkSum += dark / 8192.0;
            if (index > 0) changeSum += changed / 8192.0;
            last = f;
            ++index;
        },
        &stream);
    if (!frames) return Failed{kExitIo, frames.failure()};
    const std::uint64_t n = frames.value();
    const int rate = stream && !w.has("fps") ? stream->fps : fps.value();
    char line[160];
    std::snprintf(line, sizeof line, "frames: %llu\nduration: %.3f s at %d fps\n",
                  static_cast<unsigned long long>(n), static_cast<double>(n) / rate, rate);
    out << line;
    if (stream) {
        out << "stream: " << codec::kName << ", " << groupedDigits(stream->bytes) << " bytes, "
            << sizeAgainstRaw(n, stream->bytes)
            << "\nset bit: " << (stream->lightSetBit ? "light" : "dark") << "\n";
    }
    if (stats) {
        std::snprintf(line, sizeof line, "dark: %.4f\nflicker: %.4f\n", n ? darkSum / n : 0.0,
                      n > 1 ? changeSum / (n - 1) : 0.0);
        out << line;
    }
    return done();
}

// Any rate a stream can be made for.
const std::vector<Option> kOptions{flag("stats", nullptr),
                                   number("fps", "N", nullptr, 1, 255, app::kInitialFrameRate)};

}  // namespace

const Command kInfo{"info", kHelp, 0, info, kOptions};

}  // namespace orv::cli

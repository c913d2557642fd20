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

struct InfoOptions {
    std::string file;
    bool stats = false;
    Given<int> fps;
};

Outcome info(InfoOptions& o, std::ostream& out, std::ostream&) {
    const bool stats = o.stats;
    double darkSum = 0, changeSum = 0;
    FramePages last{};
    std::uint64_t index = 0;
    std::optional<codec::StreamInfo> stream;
    Result<std::uint64_t> frames = readFrames(
        o.file,
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
    if (!frames) return frames.failure();
    const std::uint64_t n = frames.value();
    const int rate = stream && !o.fps.given ? stream->fps : o.fps.value;
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

}  // namespace

const Command kInfo = command<InfoOptions>(
    {"info", "check a frame file and count its frames", kHelp, 0},
    {operand("FILE.orv", &InfoOptions::file), field(flag("stats", nullptr), &InfoOptions::stats),
     // Any rate a stream can be made for.
     field(number("fps", "N", nullptr, 1, 255, app::kInitialFrameRate), &InfoOptions::fps)},
    nullptr, info);

}  // namespace orv::cli

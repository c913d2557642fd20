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
    "frames per second (default {default fps}), and the frames' size where it is not\n"
    "128 x 64. --stats adds the mean share of dark pixels and the flicker (mean\n"
    "share of pixels that change from frame to frame). A frame stream of orv\n"
    "export --codec is decoded whole; its frame rate is the default, and its\n"
    "codec, size and polarity are printed too.\n";

struct InfoOptions {
    std::string file;
    bool stats = false;
    Given<int> fps;
};

Outcome info(InfoOptions& o, std::ostream& out, std::ostream&) {
    const bool stats = o.stats;
    double darkSum = 0, changeSum = 0;
    Frame last;
    std::uint64_t index = 0;
    std::optional<codec::StreamInfo> stream;
    FrameSize size;
    Result<std::uint64_t> frames = readFrames(
        o.file,
        [&](const Frame& f) {
            if (!stats) return;
            if (index == 0) last = Frame(f.size());
            int dark = 0, changed = 0;
            for (std::size_t i = 0; i < f.byteCount(); ++i) {
                dark += __builtin_popcount(f[i]);
                changed += __builtin_popcount(static_cast<unsigned>(f[i] ^ last[i]));
            }
            const auto pixels = static_cast<double>(f.size().pixels());
            darkSum += dark / pixels;
            if (index > 0) changeSum += changed / pixels;
            last = f;
            ++index;
        },
        &stream, &size);
    if (!frames) return frames.failure();
    const std::uint64_t n = frames.value();
    const int rate = stream && !o.fps.given ? stream->fps : o.fps.value;
    char line[160];
    std::snprintf(line, sizeof line, "frames: %llu\nduration: %.3f s at %d fps\n",
                  static_cast<unsigned long long>(n), static_cast<double>(n) / rate, rate);
    out << line;
    // 128 x 64, the size of every frame file and stream before there were
    // others, goes without saying.
    if (size != kLcdSize) out << "size: " << sizeWords(size) << "\n";
    if (stream) {
        out << "stream: " << codec::kName << ", " << groupedDigits(stream->bytes) << " bytes, "
            << sizeAgainstRaw(n, stream->bytes, size)
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

// The options of `orv convert`, and where the scaled video lands in the
// frame (128 x 64, or the size asked for) for each fit.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/options.h"
#include "common/result.h"
#include "dib/frame_pipeline.h"
#include "lcd/dither.h"
#include "lcd/tone.h"

namespace orv::cli {

enum class Fit { Stretch, Letterbox, Crop };

struct ConvertOptions {
    std::string input;
    std::string output;
    int fps = 31;           // ticks per second, 1..46
    double start = 0;       // seconds into the video
    double duration = 1e9;  // seconds to convert
    Fit fit = Fit::Letterbox;
    Dither dither = Dither::Engrave;
    Given<int> threshold;                            // for Dither::Threshold
    Given<std::uint64_t> seed;                       // start of engrave's random sequence
    Given<FrameSize> size;                           // --size
    Given<std::string> display;                      // --display, which carries a size
    FrameSize frame = kLcdSize;                      // what the two say
    double brightness = 0, contrast = 1, gamma = 1;  // the tone, on the luma before any method
    bool invert = false;
    bool append = false;   // add to an existing OUTPUT
    bool replace = false;  // replace an existing OUTPUT (--force)
    bool quiet = false;
    bool toStdout = false;  // -o -: the records go to standard output

    Reduction reduction() const {
        return {dither, threshold.value, invert, {brightness, contrast, gamma}};
    }
};

// What the options say together; a failure is a usage error. An existing
// OUTPUT is refused unless --append or --force.
Status checkConvertOptions(ConvertOptions& o);

// A time option --`name` (seconds, M:SS or H:MM:SS) up to 10^9 s, `fallback`
// when not given; with `positive`, above 0.
Parse<double> secondsOption(const char* name, double fallback, bool positive);
// --seed N: a whole number of 64 bits.
Result<std::uint64_t> seedOption(const std::string* given);
// --fit MODE, one of its choices.
Fit fitOf(const std::string& name);

// Where the scaled picture goes in the frame area.
struct FitLayout {
    int scaledWidth = 128, scaledHeight = 64;  // what the video is scaled to
    int cropX = 0, cropY = 0;                  // the part of it that is kept
    int width = 128, height = 64;              // its size in the frame
    int placeX = 0, placeY = 0;                // its place in the frame
};

// The layout for a video of display aspect `aspect` (width over height) in
// a frame of `frame`'s size.
FitLayout fitLayout(Fit fit, double aspect, FrameSize frame = kLcdSize);

// The kept part of `scaled` (BGRA, top row first) as a picture of the
// layout's width x height, for the frame pipeline to place in the frame.
void keepPart(const FitLayout& layout, const std::vector<std::uint8_t>& scaled, Picture& kept);

// Turns a BGRA picture (top row first) clockwise by `quarterTurns` quarter
// turns; `width` x `height` is its size after the turn.
void turnPicture(std::vector<std::uint8_t>& bgra, int width, int height, int quarterTurns);

}  // namespace orv::cli

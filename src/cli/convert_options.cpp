#include "cli/convert_options.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "cli/output_file.h"
#include "common/numbers.h"
#include "common/text.h"

namespace orv::cli {
namespace {

// Whether a file name's extension is a picture's or a video's: OUTPUT named
// so is a slip, since a frame file is neither.
bool mediaName(const std::string& name) {
    static const char* const kExtensions[] = {
        "png", "jpg", "jpeg", "bmp",  "gif", "webp", "tif", "tiff", "ppm",  "pgm", "pbm",
        "tga", "ico", "avif", "heic", "jxl", "mp4",  "m4v", "mkv",  "webm", "avi", "mov",
        "wmv", "flv", "mpg",  "mpeg", "ts",  "m2ts", "mts", "ogv",  "3gp",  "vob", "y4m"};
    const std::string extension = std::filesystem::path(name).extension().string();
    if (extension.size() < 2) return false;
    std::string lower;
    for (char c : extension.substr(1))
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return std::any_of(std::begin(kExtensions), std::end(kExtensions),
                       [&lower](const char* e) { return lower == e; });
}

}  // namespace

Parse<double> secondsOption(const char* name, double fallback, bool positive) {
    return [name, fallback, positive](const std::string* given) -> Result<double> {
        if (!given) return fallback;
        const std::string option = joined({"--", name});
        Result<double> seconds = num::parseSeconds(*given, option);
        if (seconds && seconds.value() > 1e9) {
            return fail(joined({option, " ", *given, " is more than 1000000000 s"}));
        }
        if (seconds && positive && seconds.value() <= 0) {
            return fail(joined({option, " ", *given, " converts nothing: give more than 0"}));
        }
        return seconds;
    };
}

Result<std::uint64_t> seedOption(const std::string* given) {
    if (!given) return std::uint64_t{0};
    if (Status plain = plainNumber("seed", *given); !plain) return plain.failure();
    return num::parseUnsigned64(*given, "--seed");
}

Fit fitOf(const std::string& name) {
    return name == "stretch" ? Fit::Stretch : name == "crop" ? Fit::Crop : Fit::Letterbox;
}

Status checkConvertOptions(ConvertOptions& o) {
    // An option the chosen method would not look at is a mistake, not a no-op.
    if (o.threshold.given && o.dither != Dither::Threshold) {
        return fail("--threshold goes only with --dither threshold");
    }
    if (o.seed.given && o.dither != Dither::Engrave) {
        return fail("--seed goes only with --dither engrave (the default)");
    }
    if (o.append && o.replace) return fail("--append and --force do not go together");
    Result<FrameSize> frame = frameSizeOf(o.size, o.display);
    if (!frame) return frame.failure();
    o.frame = frame.value();
    // The video and the frame file must be two files, whatever their names.
    if (Status distinct = distinctFiles(o.input, o.output); !distinct) return distinct.failure();
    o.toStdout = o.output == "-";
    if (o.toStdout) {
        if (o.append || o.replace) {
            return fail(std::string(o.append ? "--append" : "--force") +
                        " goes with a file, not with -o - (standard output)");
        }
        return Done{};
    }
    if (mediaName(o.output)) {
        return fail("-o " + quotedName(o.output) +
                    ": convert writes a frame file (.orv), not a picture or a video; orv "
                    "render draws a frame file as PNG or GIF");
    }
    std::error_code ec;
    if (std::filesystem::exists(o.output, ec) && !o.append && !o.replace) {
        return fail(quotedName(o.output) +
                    " exists; add --append to add frames or --force to replace it");
    }
    return Done{};
}

FitLayout fitLayout(Fit fit, double aspect, FrameSize frame) {
    const int w = frame.width, h = frame.height;
    FitLayout l{w, h, 0, 0, w, h, 0, 0};
    if (fit == Fit::Stretch || !(aspect > 0)) return l;
    // Wider than the frame: 2.0 and on at 128 x 64 (a power of 2 apart, so
    // the product is exact).
    const bool wide = aspect * h >= w;
    if (fit == Fit::Letterbox) {
        if (wide) {
            l.height = std::max(1, static_cast<int>(std::lround(w / aspect)));
            l.placeY = (h - l.height) / 2;
        } else {
            l.width = std::max(1, static_cast<int>(std::lround(h * aspect)));
            l.placeX = (w - l.width) / 2;
        }
        l.scaledWidth = l.width;
        l.scaledHeight = l.height;
    } else {  // crop
        if (wide) {
            l.scaledWidth = std::max(w, static_cast<int>(std::lround(h * aspect)));
            l.cropX = (l.scaledWidth - w) / 2;
        } else {
            l.scaledHeight = std::max(h, static_cast<int>(std::lround(w / aspect)));
            l.cropY = (l.scaledHeight - h) / 2;
        }
    }
    return l;
}

void keepPart(const FitLayout& layout, const std::vector<std::uint8_t>& scaled, Picture& kept) {
    kept.width = layout.width;
    kept.height = layout.height;
    kept.pixels.resize(static_cast<std::size_t>(layout.width) * layout.height);
    for (int r = 0; r < layout.height; ++r) {
        const std::uint8_t* from =
            scaled.data() +
            (static_cast<std::size_t>(layout.cropY + r) * layout.scaledWidth + layout.cropX) * 4;
        std::memcpy(&kept.pixels[static_cast<std::size_t>(r) * layout.width], from,
                    static_cast<std::size_t>(layout.width) * 4);
    }
}

void turnPicture(std::vector<std::uint8_t>& bgra, int width, int height, int quarterTurns) {
    quarterTurns = ((quarterTurns % 4) + 4) % 4;
    if (quarterTurns == 0) return;
    // The stored picture is height x width for a quarter turn, else as shown.
    const int storedWidth = quarterTurns % 2 ? height : width;
    const int storedHeight = quarterTurns % 2 ? width : height;
    std::vector<std::uint8_t> turned(bgra.size());
    for (int y = 0; y < storedHeight; ++y) {
        for (int x = 0; x < storedWidth; ++x) {
            int tx = x, ty = y;
            if (quarterTurns == 1) {  // clockwise: the left edge becomes the top
                tx = storedHeight - 1 - y;
                ty = x;
            } else if (quarterTurns == 2) {
                tx = storedWidth - 1 - x;
                ty = storedHeight - 1 - y;
            } else {  // counterclockwise: the left edge becomes the bottom
                tx = y;
                ty = storedWidth - 1 - x;
            }
            std::memcpy(&turned[(static_cast<std::size_t>(ty) * width + tx) * 4],
                        &bgra[(static_cast<std::size_t>(y) * storedWidth + x) * 4], 4);
        }
    }
    bgra.swap(turned);
}

}  // namespace orv::cli

#include "cli/convert_options.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "common/numbers.h"

namespace orv::cli {

Result<ConvertOptions> parseConvertOptions(const Words& w) {
    ConvertOptions o;
    if (w.positional.size() != 1) return fail("convert takes one INPUT");
    if (!w.has("output")) return fail("no output given (-o OUTPUT.orv)");
    o.input = w.positional[0];
    o.output = w.get("output", "");
    Result<int> fps = optionNumber<int>(w, "fps", "31", 1, 46);
    Result<double> start = optionNumber<double>(w, "start", "0", 0, 1e9);
    Result<double> duration = optionNumber<double>(w, "duration", "1e9", 0, 1e9);
    Result<int> threshold = optionNumber<int>(w, "threshold", "127", 0, 255);
    for (const std::string* e :
         {fps ? nullptr : &fps.error(), start ? nullptr : &start.error(),
          duration ? nullptr : &duration.error(), threshold ? nullptr : &threshold.error()}) {
        if (e) return fail(*e);
    }
    o.fps = fps.value();
    o.start = start.value();
    o.duration = duration.value();
    o.threshold = threshold.value();
    const std::string fit = w.get("fit", "letterbox");
    if (fit == "stretch") {
        o.fit = Fit::Stretch;
    } else if (fit == "letterbox") {
        o.fit = Fit::Letterbox;
    } else if (fit == "crop") {
        o.fit = Fit::Crop;
    } else {
        return fail("unknown --fit \"" + fit + "\" (stretch, letterbox or crop)");
    }
    Result<Dither> dither = parseDither(w.get("dither", "engrave"));
    if (!dither) return fail(dither.error());
    o.dither = dither.value();
    if (w.has("seed")) {
        Result<std::uint64_t> seed = num::parseUnsigned64(w.get("seed", ""), "--seed");
        if (!seed) return fail(seed.error());
        o.seed = seed.value();
    }
    o.invert = w.has("invert");
    o.append = w.has("append");
    o.replace = w.has("force");
    o.quiet = w.has("quiet");
    if (o.append && o.replace) return fail("--append and --force do not go together");
    // The video and the frame file must be two files, whatever their names.
    struct stat in {
    }, out{};
    if (::stat(o.input.c_str(), &in) == 0 && ::stat(o.output.c_str(), &out) == 0 &&
        in.st_dev == out.st_dev && in.st_ino == out.st_ino) {
        return fail("INPUT and OUTPUT are the same file (\"" + o.output + "\")");
    }
    std::error_code ec;
    if (std::filesystem::exists(o.output, ec) && !o.append && !o.replace) {
        return fail("\"" + o.output +
                    "\" exists; add --append to add frames or --force to replace it");
    }
    return o;
}

FitLayout fitLayout(Fit fit, double aspect) {
    FitLayout l;
    if (fit == Fit::Stretch || !(aspect > 0)) return l;
    const bool wide = aspect >= 2.0;
    if (fit == Fit::Letterbox) {
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

void placeScaled(const FitLayout& layout, const std::vector<std::uint8_t>& scaled,
                 PixelGrid& picture) {
    for (int r = 0; r < layout.height; ++r) {
        const int frameRow = layout.placeY + r;
        const std::uint8_t* from =
            scaled.data() +
            (static_cast<std::size_t>(layout.cropY + r) * layout.scaledWidth + layout.cropX) * 4;
        std::memcpy(&picture(0, layout.placeX, 63 - frameRow), from,
                    static_cast<std::size_t>(layout.width) * 4);
    }
}

}  // namespace orv::cli

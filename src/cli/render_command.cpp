// `orv render`: frames of a frame file drawn as the LCD shows them, as PNG or GIF.
#include <QImage>
#include <QString>
#include <algorithm>
#include <array>
#include <filesystem>
#include <new>
#include <optional>
#include <ostream>

#include "cli/command.h"
#include "cli/output_file.h"
#include "cli/picture_io.h"
#include "cli/stop_signals.h"
#include "common/text.h"
#include "lcd/gif_writer.h"
#include "lcd/orv_reader.h"

namespace orv::cli {
namespace {

const char* const kHelp =
    "usage: orv render FILE.orv -o OUT.png|OUT.gif|- [--frame N] [--scale S] [--fps N]\n"
    "                  [--colors lcd|mono] [--format png|gif] [--force]\n"
    "\n"
    "Draws frames from the records as the LCD shows them: OUT.png one frame\n"
    "(default {default frame}), OUT.gif all frames as an animation at N frames per second\n"
    "(default {default fps}). Each pixel becomes S x S (default {default scale}), at the frames' "
    "own size\n"
    "(128 x 64, or the one the file says). lcd: dark pixels on a\n"
    "yellow-green panel; mono: black on white. An existing OUT is replaced only\n"
    "with --force. --frame goes with PNG, --fps with GIF. --format chooses PNG or\n"
    "GIF whatever OUT's name; -o - writes to standard output, PNG unless --format\n"
    "gif.\n"
    "\n"
    "Exit status: 0 done, 1 the frame file is not whole or holds no frames, OUT\n"
    "cannot be written, or the run was interrupted (Ctrl-C, SIGTERM or SIGHUP),\n"
    "2 a usage error. OUT is written whole or not at all, and is never FILE\n"
    "itself.\n";

// Colours of the two kinds of pixel, 0xRRGGBB: light first, then dark.
std::array<std::uint32_t, 2> palette(const std::string& colors) {
    if (colors == "mono") return {0xFFFFFF, 0x000000};
    return {0x9CBE30, 0x1E2814};  // a yellow-green panel with dark pixels
}

// The frame as the device draws it: page by page, column by column, bit by bit.
std::vector<std::uint8_t> drawFrame(const Frame& f, int scale) {
    const FrameSize size = f.size();
    const int width = size.width * scale;
    std::vector<std::uint8_t> index(static_cast<std::size_t>(width) * size.height * scale, 0);
    for (int page = 0; page < size.pages(); ++page) {
        for (int c = 0; c < size.width; ++c) {
            const std::uint8_t byte = f[static_cast<std::size_t>(size.width * page + c)];
            for (int bit = 0; bit < 8; ++bit) {
                if (!((byte >> bit) & 1)) continue;
                const int row = 8 * page + bit;
                for (int dy = 0; dy < scale; ++dy) {
                    std::fill_n(
                        index.begin() +
                            (static_cast<std::size_t>(row * scale + dy) * width + c * scale),
                        scale, 1);
                }
            }
        }
    }
    return index;
}

// Writes the frames of `input` to `file`: all of them as a GIF, or frame
// `wanted` as a PNG.
Outcome draw(const std::string& input, OutputFile& file, bool gif, int s, int fps, int wanted,
             const std::array<std::uint32_t, 2>& colours) {
    if (Status opened = file.open(); !opened) return opened.failure();
    Status written = Done{};
    std::uint64_t index = 0;
    std::optional<Frame> chosen;
    // Frame by frame, straight into the file, at the size of the first.
    std::optional<GifWriter> animation;
    Result<std::uint64_t> frames = readFrameFile(input, [&](const Frame& f) {
        if (StopSignals::requested()) return;
        if (!gif) {
            if (index++ == static_cast<std::uint64_t>(wanted)) chosen = f;
        } else if (written) {
            if (!animation) {
                animation.emplace([&](std::string_view b) { return written = file.write(b); },
                                  f.size().width * s, f.size().height * s, colours);
            }
            Status added = animation->addFrame(drawFrame(f, s), gifFrameDelayCs(index++, fps));
            if (written && !added) written = added;
        }
    });
    if (!frames) return frames.failure();
    if (StopSignals::requested()) return Failed{kExitIo, "interrupted" + file.untouched()};
    if (frames.value() == 0) return Failed{kExitIo, quotedName(input) + " holds no frames"};
    if (gif) {
        if (written) {
            Status finished = animation->finish();
            if (written && !finished) written = finished;
        }
    } else if (!chosen) {
        return Failed{kExitUsage, "--frame " + std::to_string(wanted) + " is beyond the " +
                                      counted(frames.value(), "frame") + " of the file"};
    } else {
        const std::vector<std::uint8_t> pixels = drawFrame(*chosen, s);
        QImage image(chosen->size().width * s, chosen->size().height * s, QImage::Format_RGB32);
        if (image.isNull()) throw std::bad_alloc();  // Qt's way of saying so
        for (int y = 0; y < image.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                line[x] =
                    0xFF000000u | colours[pixels[static_cast<std::size_t>(y) * image.width() + x]];
            }
        }
        written = writeImage(image, "png", file);
    }
    if (written) written = file.commit();
    if (!written) return written.failure();
    return done();
}

struct RenderOptions {
    std::string input, output;
    Given<int> frame, fps;
    int scale = 0;
    std::string colors, format;
    bool force = false;
    bool gif = false;  // from --format or OUT's name
};

// What the options say together.
Status check(RenderOptions& o) {
    const std::string& output = o.output;
    const std::string& format = o.format;
    auto named = [&output](const char* extension) {
        return output.size() > 4 &&
               QString::fromStdString(output.substr(output.size() - 4))
                       .compare(QString::fromLatin1(extension), Qt::CaseInsensitive) == 0;
    };
    if (format.empty() && output != "-" && !named(".png") && !named(".gif")) {
        return fail("the output must end in .png or .gif, or add --format png|gif");
    }
    o.gif = format.empty() ? named(".gif") : format == "gif";
    // An option that would change nothing is refused rather than ignored.
    if (o.gif && o.frame.given) {
        return fail(joined({"--frame picks the frame of a PNG; a GIF (-o ", escapedName(output),
                            ") holds every frame"}));
    }
    if (!o.gif && o.fps.given) {
        return fail(joined(
            {"--fps sets a GIF's speed; a PNG (-o ", escapedName(output), ") is one frame"}));
    }
    if (Status distinct = distinctFiles(o.input, output); !distinct) return distinct;
    std::error_code ec;
    if (output != "-" && std::filesystem::exists(output, ec) && !o.force) {
        return fail(quotedName(output) + " exists; add --force to replace it");
    }
    return Done{};
}

Outcome render(RenderOptions& o, std::ostream&, std::ostream&) {
    StopSignals stops;  // held until the file is put in place or dropped
    OutputFile file(o.output);
    try {
        return draw(o.input, file, o.gif, o.scale, o.fps.value, o.frame.value, palette(o.colors));
    } catch (const std::bad_alloc&) {
        return Failed{kExitIo, "not enough memory to draw the frames at --scale " +
                                   std::to_string(o.scale) + file.untouched()};
    }
}

using O = RenderOptions;

}  // namespace

const Command kRender = command<O>(
    {"render", "draw frames of a frame file as PNG or GIF", kHelp, 0},
    {operand("FILE.orv", &O::input),
     field(outputOption("OUT", "-o OUT.png or OUT.gif"), &O::output),
     field(number("frame", "N", nullptr, 0, 2147483647, 0), &O::frame),
     field(number("scale", "S", nullptr, 1, 64, 4), &O::scale), field(fpsOption(nullptr), &O::fps),
     field(choice("colors", "lcd|mono", nullptr, "lcd", "lcd mono"), &O::colors),
     field(choice("format", "png|gif", nullptr, "", "png gif"), &O::format),
     field(flag("force", nullptr), &O::force)},
    check, render);

}  // namespace orv::cli

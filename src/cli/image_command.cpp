#include "cli/command.h"

#include <array>
#include <functional>
#include <map>
#include <new>
#include <ostream>

#include "cli/options.h"
#include "cli/output_file.h"
#include "cli/picture_io.h"
#include "cli/record_sink.h"
#include "common/numbers.h"
#include "common/random.h"
#include "common/text.h"
#include "dib/frame_pipeline.h"
#include "dib/image_state.h"
#include "dib/img_deal.h"
#include "lcd/frame_file.h"

namespace orv::cli {

namespace {

const char* const kHelp =
    "usage: orv image copy|engrave|equalize|brightness|zoom|sharpen INPUT OUTPUT [options]\n"
    "\n"
    "Runs one workbench operation on the picture INPUT and writes the result to\n"
    "OUTPUT, whose format follows its extension (.bmp, .png, ...); OUTPUT - writes\n"
    "PNG to standard output.\n"
    "\n"
    "  copy        the picture unchanged\n"
    "  engrave     [--orv FILE] [--seed N]\n"
    "              the one-bit reduction; --orv also packs the frame and appends\n"
    "              its record to FILE; --seed N restarts the random sequence at N\n"
    "              (the tool itself always starts at 0). A partial record left at\n"
    "              the end of FILE is cut back first, with a notice; a FILE that\n"
    "              is not a frame file is refused\n"
    "  equalize    histogram equalisation\n"
    "  brightness  [--red R] [--green G] [--blue B]\n"
    "              [--contrast-red C] [--contrast-green C] [--contrast-blue C]\n"
    "              brightness defaults 255, 0, 255; contrasts 1.0\n"
    "  zoom        [--x FX] [--y FY]   factors, defaults 1.2 and 0.8;\n"
    "              new size = round(F x size)\n"
    "  sharpen     [--strength K]      default 8\n"
    "\n"
    "Exit status: 0 done, 1 a file could not be read or written, 2 a usage or\n"
    "parameter error or a refused operation. Nothing is written on an error.\n";

// The operation, its files and its options, each as given or as the
// workbench's boxes start.
struct ImageOptions {
    std::string operation, input, output;
    Given<std::string> orv;
    Given<std::uint64_t> seed;
    std::int32_t red = 0, green = 0, blue = 0;
    float contrastRed = 1, contrastGreen = 1, contrastBlue = 1, strength = 0;
    double x = 0, y = 0;
};
using Options = ImageOptions;

// What an operation works on: the picture read from `input`, the workbench's
// grids, and the frame pipeline that engraves as the tool does.
struct Bench {
    std::string input;
    Picture picture;
    ImageState state;
    rnd::Sequence random;
    FramePipeline pipeline{state, random};
};

using Operation = std::function<Outcome(Bench&, const Options&)>;

Outcome refused(const std::string& message) { return Failed{kExitUsage, message}; }

// Sets PurposeWidth/PurposeHeight as the workbench does after a successful
// procedure; a refused one leaves them as they were.
Outcome finish(ImageState& s, const Result<std::int32_t>& run, std::int32_t width,
               std::int32_t height) {
    if (!run) return refused(run.error());
    s.PurposeWidth = width;
    s.PurposeHeight = height;
    return done();
}

Outcome runCopy(ImageState& s, const Options&) {
    return finish(s, CopyData(s.SourceGrid, s.PurposeGrid, s.SourceWidth, s.SourceHeight, 32),
                  s.SourceWidth, s.SourceHeight);
}

Outcome runEqualize(ImageState& s, const Options&) {
    return finish(s, StatChart(s.SourceGrid, s.PurposeGrid, s.SourceWidth, s.SourceHeight, 32),
                  s.SourceWidth, s.SourceHeight);
}

// The picture is the frame pipeline's source, engraved as the tool engraves
// what it captures.
Outcome runEngrave(Bench& b, const Options& options) {
    b.random = rnd::Sequence(options.seed.given ? options.seed.value : rnd::kDefaultSeed);
    b.pipeline.setSourceFrame(b.picture.width, b.picture.height, 0xFF000000);
    if (Status made = b.pipeline.takePicture(b.picture); !made) return refused(made.error());
    return done();
}

// An operation on the grids, with the picture read into SourceGrid as the
// workbench reads its source.
Operation onGrid(Outcome (*operation)(ImageState&, const Options&)) {
    return [operation](Bench& b, const Options& options) -> Outcome {
        if (Status read = readGrid(b.input, b.picture, b.state.SourceGrid); !read) {
            return read.failure();
        }
        b.state.SourceWidth = b.picture.width;
        b.state.SourceHeight = b.picture.height;
        b.picture = Picture();  // its memory is the operation's
        return operation(b.state, options);
    };
}

Outcome runBrightness(ImageState& s, const Options& o) {
    return finish(s,
                  Bright(s.SourceGrid, s.PurposeGrid, s.SourceWidth, s.SourceHeight, o.red, o.green,
                         o.blue, o.contrastRed, o.contrastGreen, o.contrastBlue, 32),
                  s.SourceWidth, s.SourceHeight);
}

Outcome runZoom(ImageState& s, const Options& options) {
    // The vertical factor is taken first, as the zoom button does.
    Result<std::int32_t> newH = zoomedSize(options.y, s.SourceHeight, "height");
    Result<std::int32_t> newW = newH ? zoomedSize(options.x, s.SourceWidth, "width") : newH;
    if (!newW) return refused(newW.error());
    return finish(s,
                  Zoom(s.SourceGrid, s.PurposeGrid, s.SourceWidth, s.SourceHeight, newW.value(),
                       newH.value(), 32),
                  newW.value(), newH.value());
}

Outcome runSharpen(ImageState& s, const Options& options) {
    return finish(
        s, Sharp(s.SourceGrid, s.PurposeGrid, s.SourceWidth, s.SourceHeight, options.strength, 32),
        s.SourceWidth, s.SourceHeight);
}

const std::map<std::string, Operation>& operations() {
    static const std::map<std::string, Operation> table{
        {"copy", onGrid(runCopy)},         {"engrave", runEngrave},
        {"equalize", onGrid(runEqualize)}, {"brightness", onGrid(runBrightness)},
        {"zoom", onGrid(runZoom)},         {"sharpen", onGrid(runSharpen)},
    };
    return table;
}

std::vector<std::string> operationNames() {
    std::vector<std::string> names;
    for (const auto& [name, run] : operations()) names.push_back(name);
    return names;
}

// Option --`name` of operation `only` into `to`: a number in plain decimal
// text, read as the workbench reads its box, whose own text `fallback` is
// when the option is not given (none: the field knows it was not given).
template <class M>
Field<Options> of(const char* only, const char* name, const char* fallback, M Options::*to) {
    using T = typename detail::Plain<M>::type;
    Option o = text(name, "", nullptr, fallback);
    o.only = only;
    return field(
        o, to, Parse<T>([o](const std::string* given) -> Result<T> {
            if (given) {
                if (Status plain = plainNumber(o.name, *given); !plain) {
                    return plain.failure();
                }
            } else if (!*o.fallback) {
                return T{};
            }
            const std::string text = given ? *given : o.fallback, what = joined({"--", o.name});
            if constexpr (std::is_same_v<T, std::int32_t>) {
                return num::parseInt32(text, what);
            } else if constexpr (std::is_same_v<T, float>) {
                return num::parseSingle(text, what);
            } else if constexpr (std::is_same_v<T, double>) {
                Result<double> v = num::parseDouble(text);
                if (!v) return fail(what + ": " + v.error());
                return v;
            } else {
                return num::parseUnsigned64(text, what);
            }
        }));
}

// OUTPUT's format is known, and each file is another: none may be written
// over another one being used.
Status check(Options& o) {
    if (Result<QByteArray> format = writableFormat(o.output); !format) return format.failure();
    const std::string *input = &o.input, *output = &o.output;
    const std::string* orv = o.orv.given ? &o.orv.value : nullptr;
    for (const auto& [one, other] : {std::pair{input, output}, {input, orv}, {output, orv}}) {
        if (Status distinct = other ? distinctFiles(*one, *other) : Done{}; !distinct) {
            return distinct;
        }
    }
    return Done{};
}

Outcome run(const Options& inv, std::ostream& err) {
    const std::string* orv = inv.orv.given ? &inv.orv.value : nullptr;
    Result<Picture> picture = readPicture(inv.input);
    if (!picture) return picture.failure();

    Bench b;
    b.input = inv.input;
    b.picture = std::move(picture.value());
    // The frame's pixels are a 129 x 65 picture's (as the tool captures them);
    // another size would give a sheared frame.
    if (orv && (b.picture.width != 129 || b.picture.height != 65)) {
        return refused(
            "--orv records the frame of a 129 x 65 picture, the size the tool "
            "captures; this one is " +
            std::to_string(b.picture.width) + " x " + std::to_string(b.picture.height) +
            ". orv convert fits any picture: orv convert " + inv.input + " -o FILE.orv");
    }
    // --orv goes with the engrave only: the pipeline's record goes to FILE.
    RecordSink frames(orv ? *orv : "", RecordSink::Mode::New);
    b.pipeline.addSink(frames);
    if (Outcome ran = operations().at(inv.operation)(b, inv); !ran) return ran;

    const ImageState& s = b.state;
    PictureWriter writer(inv.output);
    if (Status prepared = writer.prepare(s.PurposeGrid, s.PurposeWidth, s.PurposeHeight);
        !prepared) {
        return prepared.failure();
    }
    if (orv) {
        b.pipeline.pack();
        if (Status kept = b.pipeline.record(); !kept) return kept.failure();
        if (frames.appended().cutBack > 0) {
            err << "orv image: " << quotedName(*orv) << " ended with a partial record ("
                << frames.appended().cutBack
                << " bytes); it was cut back before the frame was added\n";
        }
    }
    if (Status committed = writer.commit(); !committed) {
        if (frames.written() > 0) (void)undoAppend(*orv, frames.appended());
        return committed.failure();
    }
    return done();
}

Outcome image(Options& inv, std::ostream&, std::ostream& err) {
    // Pictures and grids refuse sizes they get no memory for where they
    // take it; this catches whatever small request fails after them.
    try {
        return run(inv, err);
    } catch (const std::bad_alloc&) {
        return refused("not enough memory to " + inv.operation + " " + quotedName(inv.input));
    }
}

// --orv FILE, of the engrave: any text.
Option orvOption() {
    Option o = text("orv", "", nullptr);
    o.only = "engrave";
    return o;
}

using O = Options;

}  // namespace

// The brightness defaults are what the workbench passes.
const Command kImage = command<O>(
    {"image",
     "run a workbench operation (copy, engrave, equalize, brightness,\nzoom, sharpen) on a "
     "picture file",
     kHelp,
     0,
     {},
     operationNames()},
    {operand("operation", &O::operation), operand("INPUT", &O::input),
     operand("OUTPUT", &O::output), field(orvOption(), &O::orv),
     of("engrave", "seed", "", &O::seed), of("brightness", "red", "255", &O::red),
     of("brightness", "green", "0", &O::green), of("brightness", "blue", "255", &O::blue),
     of("brightness", "contrast-red", "1.0", &O::contrastRed),
     of("brightness", "contrast-green", "1.0", &O::contrastGreen),
     of("brightness", "contrast-blue", "1.0", &O::contrastBlue), of("zoom", "x", "1.2", &O::x),
     of("zoom", "y", "0.8", &O::y), of("sharpen", "strength", "8", &O::strength)},
    check, image);

}  // namespace orv::cli

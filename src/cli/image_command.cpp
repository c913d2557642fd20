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

using Options = std::map<std::string, std::string>;

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

std::string option(const Options& options, const std::string& name, const std::string& fallback) {
    auto it = options.find(name);
    return it == options.end() ? fallback : it->second;
}

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
    Result<std::uint64_t> seed =
        num::parseUnsigned64(option(options, "seed", std::to_string(rnd::kDefaultSeed)), "--seed");
    if (!seed) return refused(seed.error());
    b.random = rnd::Sequence(seed.value());
    b.pipeline.setSourceFrame(b.picture.width, b.picture.height, 0xFF000000);
    if (Status made = b.pipeline.takePicture(b.picture); !made) return refused(made.error());
    return done();
}

// An operation on the grids, with the picture read into SourceGrid as the
// workbench reads its source.
Operation onGrid(Outcome (*operation)(ImageState&, const Options&)) {
    return [operation](Bench& b, const Options& options) -> Outcome {
        if (Status read = readGrid(b.input, b.picture, b.state.SourceGrid); !read) {
            return Failed{kExitIo, read.failure()};
        }
        b.state.SourceWidth = b.picture.width;
        b.state.SourceHeight = b.picture.height;
        b.picture = Picture();  // its memory is the operation's
        return operation(b.state, options);
    };
}

Outcome runBrightness(ImageState& s, const Options& options) {
    const std::array<std::string, 3> channels{"red", "green", "blue"};
    const std::array<const char*, 3> defaults{"255", "0", "255"};  // as the workbench passes them
    std::array<std::int32_t, 3> level{};
    std::array<float, 3> contrast{};
    for (std::size_t i = 0; i < 3; ++i) {
        Result<std::int32_t> b =
            num::parseInt32(option(options, channels[i], defaults[i]), "--" + channels[i]);
        if (!b) return refused(b.error());
        level[i] = b.value();
        const std::string name = "contrast-" + channels[i];
        Result<float> c = num::parseSingle(option(options, name, "1.0"), "--" + name);
        if (!c) return refused(c.error());
        contrast[i] = c.value();
    }
    return finish(s,
                  Bright(s.SourceGrid, s.PurposeGrid, s.SourceWidth, s.SourceHeight, level[0],
                         level[1], level[2], contrast[0], contrast[1], contrast[2], 32),
                  s.SourceWidth, s.SourceHeight);
}

Outcome runZoom(ImageState& s, const Options& options) {
    // The vertical factor is read first, as the zoom button does.
    Result<double> fy = num::parseDouble(option(options, "y", "0.8"));
    if (!fy) return refused("--y: " + fy.error());
    Result<std::int32_t> newH = zoomedSize(fy.value(), s.SourceHeight, "height");
    if (!newH) return refused(newH.error());
    Result<double> fx = num::parseDouble(option(options, "x", "1.2"));
    if (!fx) return refused("--x: " + fx.error());
    Result<std::int32_t> newW = zoomedSize(fx.value(), s.SourceWidth, "width");
    if (!newW) return refused(newW.error());
    return finish(s,
                  Zoom(s.SourceGrid, s.PurposeGrid, s.SourceWidth, s.SourceHeight, newW.value(),
                       newH.value(), 32),
                  newW.value(), newH.value());
}

Outcome runSharpen(ImageState& s, const Options& options) {
    Result<float> k = num::parseSingle(option(options, "strength", "8"), "--strength");
    if (!k) return refused(k.error());
    return finish(s,
                  Sharp(s.SourceGrid, s.PurposeGrid, s.SourceWidth, s.SourceHeight, k.value(), 32),
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

// An option of operation `only`: it takes a value, and the help text tells of it.
Option of(const char* only, const char* name) {
    Option o = text(name, "", nullptr);
    o.only = only;
    return o;
}

struct Invocation {
    std::string operation;
    std::string input;
    std::string output;
    Options options;
};

// The operation, INPUT, OUTPUT and the options that apply to the operation.
Outcome parse(const Words& words, Invocation& inv) {
    const std::vector<std::string>& positional = words.positional;
    inv.options = words.options;
    if (positional.empty()) return refused("no operation given");
    inv.operation = positional[0];
    auto op = operations().find(inv.operation);
    if (op == operations().end()) return refused("unknown operation \"" + inv.operation + "\"");
    if (positional.size() != 3) {
        return refused(inv.operation + " takes exactly INPUT and OUTPUT");
    }
    inv.input = positional[1];
    inv.output = positional[2];
    for (const auto& [name, value] : inv.options) {
        if (findOption(*words.table, name)->only != inv.operation) {
            return refused("option --" + name + " does not apply to " + inv.operation);
        }
        if (Status plain = plainNumber(name, value); name != "orv" && !plain) {
            return refused(plain.error());
        }
    }
    return done();
}

Outcome run(const Invocation& inv, std::ostream& err) {
    if (Result<QByteArray> format = writableFormat(inv.output); !format) {
        return refused(format.error());
    }
    const auto orv = inv.options.find("orv");
    // Each file is another: none may be written over another one being used.
    for (const auto& [one, other] :
         {std::pair{&inv.input, &inv.output},
          {&inv.input, orv == inv.options.end() ? nullptr : &orv->second},
          {&inv.output, orv == inv.options.end() ? nullptr : &orv->second}}) {
        if (!other) continue;
        if (Status distinct = distinctFiles(*one, *other); !distinct)
            return refused(distinct.error());
    }
    Result<Picture> picture = readPicture(inv.input);
    if (!picture) return Failed{kExitIo, picture.failure()};

    Bench b;
    b.input = inv.input;
    b.picture = std::move(picture.value());
    // The frame's pixels are a 129 x 65 picture's (as the tool captures them);
    // another size would give a sheared frame.
    if (orv != inv.options.end() && (b.picture.width != 129 || b.picture.height != 65)) {
        return refused(
            "--orv records the frame of a 129 x 65 picture, the size the tool "
            "captures; this one is " +
            std::to_string(b.picture.width) + " x " + std::to_string(b.picture.height) +
            ". orv convert fits any picture: orv convert " + inv.input + " -o FILE.orv");
    }
    // --orv goes with the engrave only: the pipeline's record goes to FILE.
    RecordSink frames(orv == inv.options.end() ? "" : orv->second, RecordSink::Mode::New);
    b.pipeline.addSink(frames);
    if (Outcome ran = operations().at(inv.operation)(b, inv.options); !ran) return ran;

    const ImageState& s = b.state;
    PictureWriter writer(inv.output);
    if (Status prepared = writer.prepare(s.PurposeGrid, s.PurposeWidth, s.PurposeHeight);
        !prepared) {
        return Failed{kExitIo, prepared.failure()};
    }
    if (orv != inv.options.end()) {
        b.pipeline.pack();
        if (Status kept = b.pipeline.record(); !kept) return Failed{kExitIo, kept.failure()};
        if (frames.appended().cutBack > 0) {
            err << "orv image: " << quotedName(orv->second) << " ended with a partial record ("
                << frames.appended().cutBack
                << " bytes); it was cut back before the frame was added\n";
        }
    }
    if (Status committed = writer.commit(); !committed) {
        if (frames.written() > 0) (void)undoAppend(orv->second, frames.appended());
        return Failed{kExitIo, committed.failure()};
    }
    return done();
}

Outcome image(const Words& words, std::ostream&, std::ostream& err) {
    Invocation inv;
    if (Outcome parsed = parse(words, inv); !parsed) return parsed;
    // Pictures and grids refuse sizes they get no memory for where they
    // take it; this catches whatever small request fails after them.
    try {
        return run(inv, err);
    } catch (const std::bad_alloc&) {
        return refused("not enough memory to " + inv.operation + " " + quotedName(inv.input));
    }
}

const std::vector<Option> kOptions{of("engrave", "orv"),
                                   of("engrave", "seed"),
                                   of("brightness", "red"),
                                   of("brightness", "green"),
                                   of("brightness", "blue"),
                                   of("brightness", "contrast-red"),
                                   of("brightness", "contrast-green"),
                                   of("brightness", "contrast-blue"),
                                   of("zoom", "x"),
                                   of("zoom", "y"),
                                   of("sharpen", "strength")};

}  // namespace

const Command kImage{"image", kHelp, 0, image, kOptions, operationNames()};

}  // namespace orv::cli

// `orv image` from the outside: real picture files in, real files out.

#include <QColor>
#include <QImage>
#include <csignal>

#include "orv_runner.h"

namespace fs = std::filesystem;

namespace {

using orv::test::Outcome;
using orv::test::readFile;

// A picture whose pixel (col, row-from-top) is colour(col, row).
template <class F>
QImage picture(int w, int h, F colour) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) image.setPixel(x, y, colour(x, y));
    }
    return image;
}

class OrvImage : public orv::test::OrvTest {
  protected:
    OrvImage() : OrvTest("orv-cli") {}

    template <class F>
    std::string save(const std::string& name, int w, int h, F colour) const {
        EXPECT_TRUE(picture(w, h, colour).save(QString::fromStdString(path(name))));
        return path(name);
    }
    QImage load(const std::string& name) const {
        return QImage(QString::fromStdString(path(name))).convertToFormat(QImage::Format_RGB32);
    }
};

// A frame record whose every byte is `value`.
std::string records(int value) {
    return orv::test::recordOf([&](int, int row) { return value >> row % 8 & 1; });
}

QRgb gradient(int x, int y) { return qRgb((x * 7) % 256, (y * 11) % 256, (x + y) % 256); }

}  // namespace

// The operations' arithmetic is the core's (its own tests); here each must be
// the one run, with the options given and the picture the right way up.
TEST_F(OrvImage, EachOperationWithItsOptions) {
    const std::string in = save("in.png", 20, 10, gradient);
    ASSERT_EQ(orv({"image", "brightness", in, path("b.png")}).status, 0);
    EXPECT_TRUE(load("b.png") == picture(20, 10, [](int x, int y) {
                    return qRgb(255, qGreen(gradient(x, y)), 255);  // defaults fill red and blue
                }));
    // The zoom's samples are the core's; here its factors.
    ASSERT_EQ(orv({"image", "zoom", in, path("r.bmp"), "--x", "3", "--y", "0.5"}).status, 0);
    EXPECT_EQ(load("r.bmp").size(), QSize(60, 5));
    const std::string grey = save("grey.png", 12, 8, [](int, int) { return qRgb(100, 100, 100); });
    ASSERT_EQ(orv({"image", "equalize", grey, path("e.png")}).status, 0);
    EXPECT_TRUE(load("e.png") == picture(12, 8, [](int, int) { return qRgb(255, 255, 255); }));
}

TEST_F(OrvImage, EngraveAppendsTheFrameAsTheLcdShowsIt) {
    // Dark (L <= 90) or light (L > 180) pixels only, so the dither cannot decide.
    auto pattern = [](int x, int y) {
        const bool light = ((x / 3) + (y / 5)) % 2 == 0 || (x == 127 && y == 1);
        return light ? qRgb(230, 230, 230) : qRgb(40, 90, 10);
    };
    const std::string in = save("in.png", 129, 65, pattern);
    // Frame pixel (c, r) is picture column c, row r + 1 from the top.
    const std::string record =
        orv::test::recordOf([&](int c, int r) { return qRed(pattern(c, r + 1)) != 230; });
    // After whole records, a partial one is cut back first, and said so.
    const std::string orvFile = path("mov1.orv");
    orv::test::writeFile(orvFile, record + "12\r\n3");
    const Outcome o = orv({"image", "engrave", in, path("e.png"), "--orv", orvFile});
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.err.find("(5 bytes); it was cut back"), std::string::npos) << o.err;
    EXPECT_EQ(readFile(orvFile), record + record);
    EXPECT_EQ(load("e.png").size(), QSize(129, 65));  // its pixels are the engrave's (core)
}

TEST_F(OrvImage, BadInputGivesOneLineAndWritesNothing) {
    const std::string in = save("in.png", 16, 9, gradient);
    const std::string tiny = save("tiny.png", 1, 1, gradient);
    const std::string frame = save("frame.png", 129, 65, gradient);  // the size --orv takes
    const std::string text = path("text.png");
    orv::test::writeFile(text, "not a picture");
    const std::string out = path("out.png"), gif = path("out.gif"), old = path("old.png");
    const std::string one = path("one.orv"), none = path("none.orv"), orvFile = path("e.orv");
    orv::test::writeFile(one, records(0));
    orv::test::writeFile(none, "");
    orv::test::writeFile(old, "keep");
    fs::create_directory(path("blocked.png"));
    const std::string cut = save("cut.jpg", 64, 48, gradient);  // a JPEG cut short
    orv::test::writeFile(cut, readFile(cut).substr(0, fs::file_size(cut) * 2 / 3));
    const std::string notes = path("notes.txt");  // ends as a record does, but is none
    orv::test::writeFile(notes, "notes\r\nF\r\n");
    const struct {
        std::vector<std::string> args;
        int status;
        const char* says;
    } cases[] = {
        {{"image"}, 2, "no operation"},
        {{"image", "blur", in, out}, 2, "blur"},
        {{"image", "copy", in}, 2, "INPUT and OUTPUT"},
        {{"image", "sharpen", in, out, "--x", "2"}, 2, "--x"},
        {{"image", "sharpen", in, out, "--strength", "abc"}, 2, "\"abc\""},
        {{"image", "zoom", tiny, out}, 2, "2 x 2"},
        {{"image", "copy", in, path("out.xyz")}, 2, "out.xyz"},
        {{"image", "copy", path("missing.png"), out}, 1, "missing.png"},
        {{"image", "copy", text, out}, 1, "text.png"},
        {{"image", "engrave", frame, out, "--orv", path("no/dir/x.orv")}, 1, "x.orv"},
        {{"image", "copy", cut, out}, 1, "cut short"},
        {{"image", "copy", in, in}, 2, "same file"},
        {{"image", "engrave", frame, out, "--orv", notes}, 1, "notes.txt\" is not a frame file"},
        {{"bogus"}, 2, "bogus"},
        // Numbers are plain decimal text; options are written --name.
        {{"render", one, "-o", gif, "--fps", "1e1"}, 2, "--fps \"1e1\" is not plain decimal"},
        {{"render", one, "-x", "-o", gif}, 2, "option -x is not known here"},
        {{"render", one, "-o=" + gif}, 2, "-o takes its value as the next word"},
        {{"info", one, "-o", gif}, 2, "option -o is not known here"},
        {{"info", one, "--verbose=1"}, 2, "option --verbose takes no value"},
        {{"render", one, "-o", out, "--format="}, 2, "unknown --format \"\" (png or gif)"},
        // What would do nothing or go wrong.
        {{"render", one, "-o", gif, "--frame", "0"}, 2, "--frame"},
        {{"render", one, "-o", out, "--fps", "10"}, 2, "--fps"},
        {{"render", one, "-o", old}, 2, "--force"},
        {{"render", none, "-o", gif}, 1, "no frames"},
        {{"image", "engrave", in, out, "--orv", orvFile}, 2, "orv convert"},
        {{"image", "zoom", in, old, "--x", "-2"}, 2, "zoom factor -2"},  // an existing output stays
        // The frame file is appended before the picture is put in place; a
        // picture that cannot be put there takes the record back.
        {{"image", "engrave", frame, path("blocked.png"), "--orv", one}, 1, "blocked.png"},
    };
    for (const auto& c : cases) {
        orv::test::expectRefusal(orv(c.args), c.status, c.says);
        EXPECT_FALSE(fs::exists(out) || fs::exists(gif) || fs::exists(orvFile)) << c.says;
    }
    EXPECT_EQ(readFile(old), "keep");
    EXPECT_EQ(readFile(one), records(0));
    EXPECT_EQ(readFile(notes), "notes\r\nF\r\n");
    // A picture past the image reader's own default limit (128 MB) is read.
    QImage mono(8000, 8000, QImage::Format_Mono);
    mono.fill(0);
    ASSERT_TRUE(mono.save(QString::fromStdString(path("8000.png"))));
    EXPECT_EQ(orv({"image", "zoom", path("8000.png"), out, "--x", "0.001", "--y", "0.001"}).status,
              0);
    EXPECT_EQ(orv({"image", "engrave", in, out}).status, 0);  // the picture alone
}

// Under a lowered address-space limit: the tool itself takes about 210 MB.
// Whichever step finds no memory, the last line is the tool's refusal.
TEST_F(OrvImage, NoMemoryForAPictureIsARefusalNotAnAbort) {
    const std::string in = save("in.png", 129, 65, gradient);
    // 5000 x 6000 one-bit pixels: a small file, 120000000 bytes at 32 bits.
    QImage mono(5000, 6000, QImage::Format_Mono);
    mono.fill(0);
    const std::string large = path("large.png");
    ASSERT_TRUE(mono.save(QString::fromStdString(large)));
    const std::string out = path("out.png");
    const struct {
        std::vector<std::string> args;
        long limitKib;
        int status;
        const char* says;
    } cases[] = {
        // 25800 x 16250 pixels need 1677000000 bytes.
        {{"image", "zoom", in, out, "--x", "200", "--y", "250"},
         800000,
         2,
         "not enough memory for a picture of 25800 x 16250 pixels (1677000000 bytes)"},
        // Room for the file, but not for the picture turned to 32 bits.
        {{"image", "copy", large, out},
         300000,
         1,
         "not enough memory for a picture of 5000 x 6000 pixels (120000000 bytes)"},
    };
    for (const auto& c : cases) {
        const Outcome o = orv(c.args, c.limitKib);
        const std::string at = c.args[1] + " under " + std::to_string(c.limitKib) + " KiB said: ";
        EXPECT_EQ(o.status, c.status) << at << o.err;
        std::string line = o.err;
        if (!line.empty() && line.back() == '\n') line.pop_back();
        line = line.substr(line.rfind('\n') + 1);  // npos + 1 is 0
        EXPECT_EQ(line.rfind("orv image: ", 0), 0u) << at << o.err;
        EXPECT_NE(line.find(c.says), std::string::npos) << at << o.err;
        EXPECT_FALSE(fs::exists(out)) << at << o.err;
    }
}

using OrvFrames = OrvImage;  // the same scratch folder and runner

// The reader's own messages are the core's; here orv says them in one line,
// with nothing of the file that could drive a terminal, and reads no further.
TEST_F(OrvFrames, InfoSaysWhatIsWrongInOneLineAndReadsNoFurther) {
    const std::string sparse = path("sparse.orv");
    orv::test::writeFile(sparse, "");
    fs::resize_file(sparse, 2ull << 30);  // 2 GiB of NUL bytes and no line break
    const struct {
        std::string content;  // empty: `file` is used as it is
        std::string file;
        const char* says;
    } cases[] = {
        {records(7) + std::string("1\x1b[2J\0x\r\n", 10), "",
         "line 1026: \"1\\x1B[2J\\x00x\" is not a decimal"},
        {"", path(""), "it is a folder"},
        {"", sparse, "is not a frame file (it begins \"\\x00\\x00"},
        {"", path("bad\x1b[2J\xff\xc3\xa4.orv"), "bad\\x1B[2J\\xFF\xc3\xa4.orv\": No such"},
    };
    int n = 0;
    for (const auto& c : cases) {
        std::string file = c.file;
        if (file.empty()) {
            file = path(std::string("case").append(std::to_string(n++)).append(".orv"));
            orv::test::writeFile(file, c.content);
        }
        // Memory stays bounded: well under the 2 GiB of the sparse file.
        const Outcome o = orv({"info", file}, 600000);
        orv::test::expectRefusal(o, 1, c.says);
        EXPECT_EQ(o.err.find('\x1b'), std::string::npos);
    }
    fs::remove(sparse);
}

// Every writer: "-" is standard output; a write that fails (here at a file-size
// limit of 2 KiB) is a failure that leaves no file at all.
TEST_F(OrvFrames, WritersTakeDashForStandardOutputAndLeaveNoHalfFile) {
    const std::string three = path("three.orv"), in = path("in.png");
    orv::test::writeFile(three, records(1) + records(2) + records(3));
    ASSERT_TRUE(picture(300, 200, gradient).save(QString::fromStdString(in)));
    const struct {
        std::vector<std::string> args;  // the output last but for options after it
        std::string starts;             // what standard output starts with
    } cases[] = {
        {{"render", three, "--scale", "20", "-o", "OUT.png"}, "\x89PNG"},
        {{"render", three, "--scale", "20", "--format", "gif", "-o", "OUT.gif"}, "GIF89a"},
        {{"image", "zoom", in, "OUT.bmp", "--x", "2"}, "\x89PNG"},  // "-": PNG
        {{"export", three, "--format", "bin", "-o", "OUT.bin"}, std::string(1, '\x01')},
    };
    for (const auto& c : cases) {
        std::string big;  // OUT.ext in the scratch folder
        auto with = [&](bool piped) {
            std::vector<std::string> args = c.args;
            for (auto& a : args) {
                if (a.rfind("OUT", 0) == 0) a = piped ? "-" : (big = path("big" + a.substr(3)));
            }
            return args;
        };
        const Outcome piped = orv(with(true));
        EXPECT_EQ(piped.status, 0) << c.args[0] << piped.err;
        EXPECT_EQ(piped.out.rfind(c.starts, 0), 0u) << c.args[0];
        std::string cmd = "ulimit -f 2 && exec " + orv::test::shellQuote(ORV_CLI);
        for (const auto& a : with(false)) cmd.append(" ").append(orv::test::shellQuote(a));
        EXPECT_EQ(WEXITSTATUS(std::system((cmd + " 2>/dev/null").c_str())), 1) << cmd;
        EXPECT_FALSE(fs::exists(big)) << cmd;
        EXPECT_TRUE(orv::test::temporaries(dir_.path()).empty()) << cmd;
    }
}

// A stop signal ends render and export as it ends convert (which tries all
// three): exit status 1, and nothing of the run left, no temporary file either.
TEST_F(OrvFrames, StopSignalsLeaveNothingBehind) {
    std::string noise;  // frames that take the encoder a while
    for (int n = 0; n < 200; ++n) {
        noise += orv::test::recordOf([n](int c, int r) { return (c * 7919 + r * 104729 + n) % 3; });
    }
    orv::test::writeFile(path("noise.orv"), noise);
    const struct {
        std::vector<std::string> run;
        int signal;
    } cases[] = {
        {{"render", path("noise.orv"), "-o", path("out.gif"), "--scale", "64"}, SIGINT},
        {{"export", path("noise.orv"), "-o", path("out.pmh")}, SIGTERM},
    };
    for (const auto& c : cases) {
        const pid_t child = orv::test::startOrv(c.run, "", path("err.txt"));
        // Stopped once its handlers of the three signals are in.
        const std::string status = "/proc/" + std::to_string(child) + "/status";
        auto handled = [&] {
            const std::string text = readFile(status);
            const auto at = text.find("SigCgt:");
            return at != std::string::npos &&
                   (std::stoull(text.substr(at + 7), nullptr, 16) & 0x4003) == 0x4003;
        };
        for (int i = 0; i < 10000 && !handled(); ++i) ::usleep(1000);
        ::kill(child, c.signal);
        EXPECT_EQ(orv::test::exitStatus(child, 30), 1) << c.run[0];
        EXPECT_NE(readFile(path("err.txt")).find("interrupted; nothing was written to"),
                  std::string::npos)
            << readFile(path("err.txt"));
        EXPECT_FALSE(fs::exists(path("out.gif")) || fs::exists(path("out.pmh")));
        EXPECT_TRUE(orv::test::temporaries(dir_.path()).empty());
    }
}

TEST_F(OrvFrames, RepairCutsAPartialRecord) {
    const std::string record = records(255);
    const std::string file = path("cut.orv");
    orv::test::writeFile(file, record + "25");
    Outcome repaired = orv({"repair", file});
    EXPECT_EQ(repaired.status, 0) << repaired.err;
    EXPECT_NE(repaired.out.find("cut 2 bytes"), std::string::npos) << repaired.out;
    EXPECT_EQ(readFile(file), record);
    orv::test::writeFile(file, "x\r\n" + record + "25");  // what is refused is the core's
    EXPECT_EQ(orv({"repair", file}).status, 1);
}

TEST_F(OrvFrames, VersionAndStandardOutput) {
    EXPECT_EQ(orv({"--version"}).out, "orv " ORV_VERSION "\n");
    // Standard output full or closed is a failure for each way of writing to
    // it (the usage, a command's text, a file's bytes, a summary), and the
    // descriptor that stands in for a closed one is taken by no file.
    orv::test::writeFile(path("one.orv"), records(1));
    for (const char* words : {"--help", "info one.orv", "export one.orv -o - --format bin",
                              "export one.orv -o out.bin --force"}) {
        for (const char* redirect : {" >&-", " >/dev/full"}) {
            const std::string cmd = "cd " + orv::test::shellQuote(dir_.path().string()) + " && " +
                                    orv::test::shellQuote(ORV_CLI) + " " + words + redirect +
                                    " 2>err.txt";
            EXPECT_EQ(WEXITSTATUS(std::system(cmd.c_str())), 1) << cmd;
            EXPECT_NE(readFile(path("err.txt")).find(": cannot write to standard output"),
                      std::string::npos)
                << cmd;
        }
    }
    EXPECT_EQ(fs::file_size(path("out.bin")), 1024u);
    // Standard output is never the input, as an output file is not.
    const std::string onto = "cd " + orv::test::shellQuote(dir_.path().string()) + " && " +
                             orv::test::shellQuote(ORV_CLI) +
                             " export one.orv -o - --format bin >>one.orv 2>/dev/null";
    EXPECT_EQ(WEXITSTATUS(std::system(onto.c_str())), 2);
    EXPECT_TRUE(readFile(path("one.orv")) == records(1));
}

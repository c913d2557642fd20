// `orv convert`, `orv info` and `orv render` on clips the test makes with the
// ffmpeg program, read back with the core's strict reader.
#include <fcntl.h>
#include <sys/stat.h>

#include <QImage>
#include <QImageReader>

#include "orv_runner.h"

namespace fs = std::filesystem;
using orv::FramePages;
using orv::test::Outcome;
using orv::test::readFile;

namespace {

class Convert : public orv::test::ClipTest {
  protected:
    static void SetUpTestSuite() {
        const std::string mjpeg = " -c:v mjpeg -q:v 2 -pix_fmt yuvj420p", lavfi = "-f lavfi -i ";
        const std::string half = ",drawbox=x=128:y=0:w=128:h=128:t=fill:color=";
        const std::pair<std::string, std::string> made[] = {
            {lavfi + "color=white:s=160x120:r=25:d=2" + mjpeg, "white.avi"},
            {lavfi + "color=gray:s=256x128:r=25:d=2" + mjpeg, "grey.avi"},
            {lavfi + "color=black:s=256x128:r=25:d=2" + half + "white" + mjpeg, "split.avi"},
            {lavfi + "color=black:s=256x128:r=25:d=4 " + lavfi +
                 "color=white:s=32x32:r=25:d=4 -filter_complex [0][1]overlay=x=t*50:y=40" + mjpeg,
             "box.avi"},
            {lavfi + "testsrc2=s=640x480:r=25:d=60 -c:v libx264 -preset ultrafast -pix_fmt yuv420p",
             "long.mp4"},
            {lavfi + "sine=d=2 " + lavfi +
                 "color=red:s=64x64:d=1 -map 0 -map 1 -c:a libmp3lame -id3v2_version 3 -c:v mjpeg "
                 "-disposition:v attached_pic -frames:v 1",
             "cover.mp3"},
            // A clip shown turned a quarter (as phones store portrait clips):
            // left white, right black as stored.
            {lavfi + "color=white:s=256x128:r=25:d=1" + half +
                 "black -c:v libx264 -pix_fmt yuv420p",
             "flat.mp4"},
            {"-i " + orv::test::shellQuote(clip("flat.mp4")) + " -c copy -metadata:s:v:0 rotate=90",
             "turned.mp4"},
            {lavfi + "color=white:s=64x32 -frames:v 1", "still.png"},
            // A variable frame rate whose stream states 3.12 s of its 5.04 s.
            {lavfi + "testsrc=size=320x240:rate=25 -t 6 -vf \"select='lt(n,25)+not(mod(n,25))'\" "
                     "-vsync vfr -c:v libx264",
             "vfr.mp4"},
            {lavfi + "testsrc2=s=320x240:r=25:d=4 -c:v libx264 -f mpegts", "whole.ts"},
            {lavfi + "testsrc2=s=640x480 -frames:v 1 -q:v 2", "whole.jpg"},
        };
        for (const auto& [args, name] : made) makeClip(args, name);
        // The moving box cut off in the middle, plain garbage and nothing at all.
        for (const auto& [whole, cut, ninths] : {std::tuple("box.avi", "cut.avi", 4.5),
                                                 {"whole.ts", "cut.ts", 8.0},
                                                 {"whole.jpg", "cut.jpg", 8.0}}) {
            const std::string all = readFile(clip(whole));
            orv::test::writeFile(clip(cut), all.substr(0, std::size_t(all.size() * ninths / 9)));
        }
        orv::test::writeFile(clip("junk.avi"), std::string(5000, 'x'));
        orv::test::writeFile(clip("empty.avi"), "");
    }

    // Dark columns of a frame, as a string of '#' and '.' for readable failures.
    static std::string columns(const orv::Frame& f, int row) {
        std::string s;
        for (int c = 0; c < f.size().width; ++c) s += f.dark(c, row) ? '#' : '.';
        return s;
    }
};

}  // namespace

TEST_F(Convert, FrameCountFollowsTheClock) {
    const struct {
        const char* clip;
        std::vector<std::string> extra;
        std::size_t frames;
    } cases[] = {
        {"white.avi", {}, 62},  // 2 s at the default 31
        {"white.avi", {"--fps", "10", "--start", "0.5", "--duration", "1"}, 10},
        {"vfr.mp4", {"--fps", "10"}, 50},   // to the last picture's end, 5.04 s: tick 50
        {"still.png", {"--fps", "46"}, 1},  // a picture is one frame
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string out = path("count" + std::to_string(n++) + ".orv");
        const Outcome o = convert(c.clip, out, c.extra);
        ASSERT_EQ(o.status, 0) << o.err;
        EXPECT_EQ(frames(out).size(), c.frames) << out;
        const std::string said =
            c.frames == 1 ? "1 frame to" : std::to_string(c.frames) + " frames to";
        EXPECT_NE(o.out.find(said), std::string::npos) << o.out;
    }
}

// How the frame is reduced is the frame pipeline's (its core test); here the
// fit of the picture in the frame, and the options that reach the pipeline.
TEST_F(Convert, PixelsFollowThePictureTheFitAndTheReduction) {
    const std::string lit(128, '.');
    const std::string half = std::string(64, '#') + std::string(64, '.');
    const std::string bars = std::string(21, '#') + std::string(85, '.') + std::string(22, '#');
    const struct {
        const char* clip;
        std::vector<std::string> extra;
        std::string row;  // every row of every frame
    } cases[] = {
        {"white.avi", {"--fit", "stretch"}, lit},
        {"white.avi", {"--fit", "crop"}, lit},
        {"white.avi", {}, bars},  // 4:3 letterboxed into 2:1: 85 columns wide
        {"split.avi", {"--fit", "crop", "--invert"}, std::string(64, '.') + std::string(64, '#')},
        {"split.avi", {}, half},  // engrave: L = 0 or 255 leaves nothing to chance
        // Luma 128, give or take the codec's one or two, toned above the threshold.
        {"grey.avi", {"--brightness", "100"}, lit},  // engrave: L 228 > 180
        {"grey.avi", {"--dither", "threshold", "--contrast", "0"}, lit},
        {"grey.avi", {"--dither", "threshold", "--threshold", "150", "--gamma", "2"}, lit},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string out = path("pix" + std::to_string(n++) + ".orv");
        std::vector<std::string> extra{"--fps", "5"};
        extra.insert(extra.end(), c.extra.begin(), c.extra.end());
        ASSERT_EQ(convert(c.clip, out, extra).status, 0);
        const auto all = frames(out);
        ASSERT_EQ(all.size(), 10u);
        for (const auto& f : all) {
            for (int row : {0, 17, 63})
                ASSERT_EQ(columns(f, row), c.row) << c.clip << " case " << n;
        }
    }
}

// orv info --stats: the dark share of bayer at luma 181 (45 of 64 below), and
// a fixed pattern does not flicker.
TEST_F(Convert, StatsGiveTheDarkShareAndTheFlicker) {
    ASSERT_EQ(
        convert("grey.avi", path("b.orv"), {"--fps", "5", "--dither", "bayer", "--gamma", "2"})
            .status,
        0);
    const Outcome info = orv({"info", path("b.orv"), "--stats"});
    EXPECT_NE(info.out.find("dark: 0.2969\nflicker: 0.0000\n"), std::string::npos) << info.out;
}

TEST_F(Convert, DamagedInputsLeaveWholeRecords) {
    for (const std::string name : {"cut.avi", "cut.ts", "cut.jpg"}) {
        orv::test::expectRefusal(convert(name, path(name + ".orv"), {"--fps", "10"}), 1, name);
    }
    frames(path("cut.avi.orv"));  // the strict reader accepts what is there
    // An existing file is replaced only with --force, and a failed run leaves
    // it as it was.
    const std::string keep = path("keep.orv");
    ASSERT_EQ(convert("white.avi", keep, {"--fps", "5"}).status, 0);
    const std::string before = readFile(keep);
    const Outcome again = convert("split.avi", keep, {"--fps", "5"});
    EXPECT_EQ(again.status, 2);
    EXPECT_NE(again.err.find("--force"), std::string::npos);
    EXPECT_EQ(convert("cut.avi", keep, {"--fps", "10", "--force"}).status, 1);
    EXPECT_TRUE(readFile(keep) == before);
    EXPECT_TRUE(orv::test::temporaries(dir_).empty());
}

// Ctrl-C, SIGTERM or SIGHUP in the middle of a run: once frames are going out,
// each stops it the same way.
TEST_F(Convert, StopSignalsLeaveWholeRecords) {
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        const std::string out = path("new-" + std::to_string(signal) + ".orv");
        const pid_t child =
            orv::test::startOrv({"convert", clip("long.mp4"), "-o", out, "--fps", "46", "--quiet"});
        ASSERT_GT(child, 0);
        // Wait until at least one record is out, however fast the machine.
        auto growing = [&] { return fs::exists(out) && fs::file_size(out) >= 3075; };
        for (int i = 0; i < 20000 && !growing() && orv::test::ended(child) == -2; ++i)
            ::usleep(500);
        ASSERT_TRUE(growing()) << "convert ended early";
        ::kill(child, signal);
        EXPECT_EQ(orv::test::exitStatus(child, 30), 1) << "signal " << signal;
        const auto some = frames(out);  // whole records only
        EXPECT_GT(some.size(), 0u);
        EXPECT_LT(some.size(), 2760u);
    }
}

// A read that blocks (a pipe whose writer went quiet) ends on a stop signal too.
TEST_F(Convert, StopSignalEndsABlockedRead) {
    const std::string fifo = path("input.avi");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // The writer's end stays open, and nothing is written: every read blocks.
    const int writer = ::open(fifo.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    const pid_t child = orv::test::startOrv({"convert", fifo, "-o", path("out.orv"), "--quiet"});
    ASSERT_GT(child, 0);
    // Once orv itself (not the child before its exec) holds the pipe open,
    // its stop handlers are in.
    auto holdsPipe = [&] {
        std::error_code ec;
        const std::string proc = "/proc/" + std::to_string(child);
        if (fs::read_symlink(proc + "/exe", ec) != fs::canonical(ORV_CLI)) return false;
        for (const auto& fd : fs::directory_iterator(proc + "/fd", ec)) {
            if (fs::read_symlink(fd.path(), ec) == fs::path(fifo)) return true;
        }
        return false;
    };
    for (int i = 0; i < 10000 && !holdsPipe(); ++i) ::usleep(1000);
    ASSERT_TRUE(holdsPipe());
    ::kill(child, SIGTERM);
    const int status = orv::test::exitStatus(child, 20);
    ::close(writer);
    EXPECT_EQ(status, 1);
    EXPECT_FALSE(fs::exists(path("out.orv")));
}

// What cannot be converted says why in one line and writes nothing: a usage
// error (2), or input that yields no frame (1), never an empty success.
TEST_F(Convert, RefusalsSayWhyInOneLineAndWriteNothing) {
    const std::string x = path("x.orv");
    const struct {
        std::vector<std::string> args;  // CLIP (white.avi unless given) -o x.orv, or a command
        int status;
        const char* says;
    } cases[] = {
        {{"--fps", "47"}, 2, "--fps"},
        {{"--dither", "noise"}, 2, "noise"},
        {{"--fit", "zoom"}, 2, "zoom"},
        {{"--colour", "red"}, 2, "--colour"},
        {{"--gamma", "0.05"}, 2, "--gamma"},
        {{"--start", "1:75"}, 2, "--start: \"1:75\" is not a time"},
        {{"--duration", "0"}, 2, "--duration 0"},
        {{"convert", clip("white.avi"), "-o", path("x.gif")}, 2, "orv render"},
        {{"--size", "72x41"}, 2, "the height is 41, not a multiple of 8 from 8 to 128"},
        {{"--size", "300x64"}, 2, "the width is 300, not 8 to 256"},
        {{"--size", "72x40", "--display", "ssd1306-128x32"}, 2, "128 x 32, --size says 72 x 40"},
        {{"--fps", "5", "--fps=6"}, 2, "--fps is given twice"},
        {{"-o", path("y.orv")}, 2, "--output is given twice"},
        // Options that would do nothing with the method chosen.
        {{"--threshold", "100"}, 2, "--threshold goes only with --dither threshold"},
        {{"--seed", "1", "--dither", "bayer"}, 2, "--seed goes only with --dither engrave"},
        {{"convert", clip("white.avi")}, 2, "-o"},
        {{"--append", "--force"}, 2, "--append and --force do not go together"},
        {{"convert", clip("white.avi"), "-o", "-", "--append"},
         2,
         "not with -o - (standard output)"},
        {{clip("empty.avi")}, 1, "empty.avi"},
        {{clip("junk.avi")}, 1, "junk.avi"},
        {{clip("white.avi"), "--start", "100"}, 1, "(it ends at 2 s); nothing was written to"},
        {{clip("white.avi"), "--start", "100", "--force"}, 1, "; nothing was written to"},
        {{clip("cover.mp3")}, 1, "only a cover picture"},
        {{dir_.string()}, 1, ""},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        if (args[0] != "convert") {
            if (args[0][0] == '-') args.insert(args.begin(), clip("white.avi"));
            args.insert(args.begin() + 1, {"-o", x});
            args.insert(args.begin(), "convert");
        }
        orv::test::expectRefusal(orv(args), c.status, c.says);
    }
    EXPECT_FALSE(fs::exists(x));
    // With its own method it is taken.
    EXPECT_EQ(
        convert("white.avi", x, {"--duration", "0.1", "--dither", "threshold", "--threshold", "9"})
            .status,
        0);
}

// At 128 x 64 and at other sizes: info names a size of its own, render
// draws the frames at their size and export writes their bytes.
TEST_F(Convert, RenderRoundTripGivesBackTheBits) {
    for (const auto& [w, h] : {std::pair(128, 64), {72, 40}, {96, 16}}) {
        const std::string size = std::to_string(w) + "x" + std::to_string(h),
                          b = path(size + ".orv");
        ASSERT_EQ(
            convert("box.avi", b, {"--fps", "3", "--dither", "floyd-steinberg", "--size", size})
                .status,
            0);
        const auto all = frames(b);
        ASSERT_EQ(all.size(), 12u);
        const std::string sizeLine = "size: " + std::to_string(w) + " x " + std::to_string(h);
        EXPECT_EQ(orv({"info", b}).out.find(sizeLine) != std::string::npos, w != 128 || h != 64);
        ASSERT_EQ(orv({"render", b, "-o", path(size + ".png"), "--frame", "5", "--scale", "1",
                       "--colors", "mono"})
                      .status,
                  0);
        QImage png(QString::fromStdString(path(size + ".png")));
        ASSERT_EQ(png.size(), QSize(w, h));
        for (int r = 0; r < h; ++r) {
            for (int c = 0; c < w; ++c) {
                ASSERT_EQ(png.pixel(c, r) == qRgb(0, 0, 0), all[5].dark(c, r)) << c << "," << r;
            }
        }
        ASSERT_EQ(
            orv({"render", b, "-o", path(size + ".gif"), "--scale", "2", "--fps", "3"}).status, 0);
        QImageReader gif(QString::fromStdString(path(size + ".gif")));
        EXPECT_EQ(gif.imageCount(), 12);
        EXPECT_EQ(gif.size(), QSize(2 * w, 2 * h));
        EXPECT_EQ(orv({"render", b, "-o", path("z.png"), "--frame", "12"}).status, 2);
        ASSERT_EQ(orv({"export", b, "-o", path("b.bin"), "--force"}).status, 0);
        std::string bytes;
        for (const auto& f : all) bytes.append(f.bytes().begin(), f.bytes().end());
        EXPECT_EQ(readFile(path("b.bin")), bytes) << size;
    }
    // A picture larger than the memory there is: said, and nothing written.
    ASSERT_EQ(convert("box.avi", path("big.orv"), {"--fps", "1", "--size", "256x128"}).status, 0);
    const Outcome big = orv::test::runOrv(
        {"render", path("big.orv"), "-o", path("big.png"), "--scale", "64"}, dir_, 400000);
    orv::test::expectRefusal(big, 1, "not enough memory to draw the frames at --scale 64");
    EXPECT_FALSE(fs::exists(path("big.png")));
    // A panel of another size than the frames' is refused, naming both.
    const Outcome o =
        orv({"export", path("72x40.orv"), "-o", path("c.bin"), "--display", "ssd1306"});
    orv::test::expectRefusal(o, 2, "72 x 40");
    EXPECT_NE(o.err.find("128 x 64"), std::string::npos) << o.err;
}

TEST_F(Convert, OutputMustBeAnotherRegularFileAndAppendAWholeFrameFile) {
    // The video itself, under another name too, is never the output.
    const std::string video = path("v.avi");
    fs::copy_file(clip("white.avi"), video);
    fs::create_hard_link(video, path("same.orv"));
    const std::string before = readFile(video);
    for (const std::string& out : {video, path("same.orv"), dir_.string() + "/./v.avi"}) {
        orv::test::expectRefusal(orv({"convert", video, "-o", out, "--force"}), 2, "same file");
    }
    EXPECT_TRUE(readFile(video) == before);
    // A pipe is refused at once; --append says why it adds nothing.
    ASSERT_EQ(::mkfifo(path("pipe.orv").c_str(), 0600), 0);
    EXPECT_EQ(convert("white.avi", path("pipe.orv"), {"--force"}).status, 1);
    EXPECT_NE(convert("white.avi", path("missing.orv"), {"--append"})
                  .err.find("does not exist (leave out --append"),
              std::string::npos);
    // --append only adds to a frame file that orv info accepts.
    ASSERT_EQ(convert("white.avi", path("a.orv"), {"--fps", "5"}).status, 0);
    const std::string whole = readFile(path("a.orv"));
    for (const std::string& broken : {whole + "12\r\n3", std::string("hello\r\n") + whole}) {
        orv::test::writeFile(path("b.orv"), broken);
        const Outcome o = convert("white.avi", path("b.orv"), {"--append"});
        EXPECT_EQ(o.status, 1) << o.err;
        EXPECT_TRUE(readFile(path("b.orv")) == broken);
    }
    // Two runs adding to one file at once take turns record by record.
    std::vector<pid_t> runs;
    for (int i = 0; i < 2; ++i) {
        runs.push_back(orv::test::startOrv({"convert", clip("box.avi"), "-o", path("a.orv"),
                                            "--append", "--fps", "46", "--quiet"}));
    }
    for (pid_t run : runs) EXPECT_EQ(orv::test::exitStatus(run, 60), 0);
    EXPECT_EQ(frames(path("a.orv")).size(), 10u + 2 * 184);
}

TEST_F(Convert, ReplacingUsesAFreshTemporaryFileAndClearsStaleOnes) {
    const std::string out = path("out.orv");
    ASSERT_EQ(convert("white.avi", out, {"--fps", "5"}).status, 0);
    // A run killed outright leaves its temporary file; the next run clears it.
    const pid_t killed = orv::test::startOrv(
        {"convert", clip("long.mp4"), "-o", out, "--fps", "46", "--force", "--quiet"});
    auto temporaries = [&] { return orv::test::temporaries(dir_, "out.orv"); };
    for (int i = 0; i < 20000 && temporaries().empty(); ++i) ::usleep(500);
    ::kill(killed, SIGKILL);
    ::waitpid(killed, nullptr, 0);
    ASSERT_EQ(temporaries().size(), 1u);
    // Something planted where a temporary name could be is never written through.
    const std::string planted = out + ".part-" + std::to_string(::getpid()) + "-AAAAAA";
    fs::create_symlink(path("victim"), planted);
    orv::test::writeFile(path("victim"), "keep");
    ASSERT_EQ(convert("split.avi", out, {"--fps", "5", "--force"}).status, 0);
    EXPECT_EQ(frames(out).size(), 10u);
    EXPECT_EQ(temporaries().size(), 1u);  // only the planted link is left
    EXPECT_TRUE(fs::is_symlink(planted));
    EXPECT_EQ(readFile(path("victim")), "keep");
}

// Shown a quarter turn round, the white half is at the bottom.
TEST_F(Convert, TurnedClipsAreUpright) {
    ASSERT_EQ(
        convert("turned.mp4", path("t.orv"), {"--fit", "stretch", "--dither", "threshold"}).status,
        0);
    const orv::Frame f = frames(path("t.orv")).at(0);
    EXPECT_EQ(columns(f, 10) + columns(f, 53), std::string(128, '#') + std::string(128, '.'));
}

TEST_F(Convert, RecordsToStandardOutputForPipelines) {
    const Outcome o = convert("white.avi", "-", {"--fps", "5"});
    ASSERT_EQ(o.status, 0) << o.err;
    std::uint64_t n = 0;
    ASSERT_TRUE(orv::readFrameRecords(o.out, [&](const orv::Frame&) { ++n; }).ok());
    EXPECT_EQ(n, 10u);
    // And from standard input: FFmpeg reads a pipe.
    const std::string fromStdin = orv::test::shellQuote(ORV_CLI) + " convert - -o " +
                                  orv::test::shellQuote(path("in.orv")) + " --fps 5 --quiet <" +
                                  orv::test::shellQuote(clip("white.avi"));
    ASSERT_EQ(std::system(fromStdin.c_str()), 0);
    EXPECT_EQ(frames(path("in.orv")).size(), 10u);
}

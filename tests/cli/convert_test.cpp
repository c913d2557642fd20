// `orv convert`, `orv info` and `orv render` on clips the test makes with the
// ffmpeg program, read back with the core's strict reader.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QImage>
#include <QImageReader>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <vector>

#include "lcd/orv_reader.h"
#include "orv_runner.h"

namespace fs = std::filesystem;
using orv::FramePages;

namespace {

using orv::test::Outcome;
using orv::test::readFile;

class Convert : public ::testing::Test {
  protected:
    static std::unique_ptr<orv::test::TempDir> clipDir;
    static fs::path clips;

    static void SetUpTestSuite() {
        clipDir = std::make_unique<orv::test::TempDir>("orv-clips");
        clips = clipDir->path();
        const std::string lavfi = "ffmpeg -hide_banner -loglevel error -y ";
        auto make = [&](const std::string& args, const std::string& name) {
            const std::string cmd =
                lavfi + args + " " + orv::test::shellQuote((clips / name).string());
            ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
        };
        const std::string mjpeg = " -c:v mjpeg -q:v 2 -pix_fmt yuvj420p";
        make("-f lavfi -i color=white:s=160x120:r=25:d=2" + mjpeg, "white.avi");
        make("-f lavfi -i color=black:s=256x128:r=25:d=2" + mjpeg, "black.avi");
        make("-f lavfi -i color=gray:s=256x128:r=25:d=2" + mjpeg, "grey.avi");
        make(
            "-f lavfi -i "
            "color=black:s=256x128:r=25:d=2,drawbox=x=128:y=0:w=128:h=128:color=white:t=fill" +
                mjpeg,
            "split.avi");
        make(
            "-f lavfi -i color=black:s=256x128:r=25:d=4 -f lavfi -i color=white:s=32x32:r=25:d=4 "
            "-filter_complex [0][1]overlay=x=t*50:y=40" +
                mjpeg,
            "box.avi");
        make("-f lavfi -i testsrc2=s=320x240:r=25:d=2 -f lavfi -i sine=d=2" + mjpeg +
                 " -c:a pcm_s16le",
             "sound.avi");
        make(
            "-f lavfi -i testsrc2=s=640x480:r=25:d=60 -c:v libx264 -preset ultrafast -pix_fmt "
            "yuv420p",
            "long.mp4");
        make(
            "-f lavfi -i sine=d=2 -f lavfi -i color=red:s=64x64:d=1 -map 0 -map 1 -c:a libmp3lame "
            "-id3v2_version 3 -c:v mjpeg -disposition:v attached_pic -frames:v 1",
            "cover.mp3");
        // A clip shown turned a quarter (as phones store portrait clips): left
        // white, right black as stored.
        make(
            "-f lavfi -i color=white:s=256x128:r=25:d=1,drawbox=x=128:y=0:w=128:h=128:"
            "color=black:t=fill -c:v libx264 -pix_fmt yuv420p",
            "flat.mp4");
        make("-i " + orv::test::shellQuote((clips / "flat.mp4").string()) +
                 " -c copy -metadata:s:v:0 rotate=90",
             "turned.mp4");
        for (const char* still : {"still.png", "still.jpg", "still.bmp"}) {
            make("-f lavfi -i color=white:s=64x32 -frames:v 1", still);
        }
        // The moving box cut off in the middle, plain garbage and nothing at all.
        const std::string whole = readFile(clips / "box.avi");
        orv::test::writeFile(clips / "cut.avi", whole.substr(0, whole.size() / 2));
        orv::test::writeFile(clips / "junk.avi", std::string(5000, 'x'));
        orv::test::writeFile(clips / "empty.avi", "");
    }
    static void TearDownTestSuite() { clipDir.reset(); }

    void SetUp() override {
        dir_ = clips / ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::create_directories(dir_);
    }

    std::string clip(const char* name) const { return (clips / name).string(); }
    std::string path(const char* name) const { return (dir_ / name).string(); }

    Outcome orv(const std::vector<std::string>& args) const {
        return orv::test::runOrv(args, dir_);
    }

    static std::vector<FramePages> frames(const std::string& file) {
        std::vector<FramePages> all;
        auto r = orv::readFrameFile(file, [&](const FramePages& f) { all.push_back(f); });
        EXPECT_TRUE(r.ok()) << r.error();
        return all;
    }

    // Dark columns of a frame, as a string of '#' and '.' for readable failures.
    static std::string columns(const FramePages& f, int row) {
        std::string s;
        for (int c = 0; c < 128; ++c) s += orv::frameDark(f, c, row) ? '#' : '.';
        return s;
    }

    fs::path dir_;
};
std::unique_ptr<orv::test::TempDir> Convert::clipDir;
fs::path Convert::clips;

}  // namespace

TEST_F(Convert, FrameCountFollowsTheClock) {
    const struct {
        std::vector<std::string> extra;
        std::size_t frames;
    } cases[] = {
        {{"--fps", "10"}, 20},
        {{}, 62},  // 2 s at the default 31
        {{"--fps", "46"}, 92},
        {{"--fps", "10", "--start", "0.5", "--duration", "1"}, 10},
        {{"--fps", "10", "--start", "1.5"}, 5},
        {{"--fps", "10", "--start", "0:00.5", "--duration", "0:01"}, 10},
        {{"--fps", "10", "--start", "0:00:01.5"}, 5},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string out = path(("count" + std::to_string(n++) + ".orv").c_str());
        std::vector<std::string> args{"convert", clip("white.avi"), "-o", out};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const Outcome o = orv(args);
        ASSERT_EQ(o.status, 0) << o.err;
        EXPECT_EQ(frames(out).size(), c.frames) << out;
        EXPECT_NE(o.out.find(std::to_string(c.frames) + " frames"), std::string::npos) << o.out;
    }
    const Outcome sound =
        orv({"convert", clip("sound.avi"), "-o", path("sound.orv"), "--fps", "10"});
    ASSERT_EQ(sound.status, 0) << sound.err;
    EXPECT_EQ(frames(path("sound.orv")).size(), 20u);
}

TEST_F(Convert, PixelsFollowThePictureAndTheFit) {
    const std::string lit(128, '.'), dark(128, '#');
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
        {"white.avi", {"--fit", "stretch", "--invert"}, dark},
        {"black.avi", {"--dither", "bayer"}, dark},
        {"split.avi", {"--dither", "threshold"}, half},
        {"split.avi", {}, half},  // engrave: L = 0 or 255 leaves nothing to chance
        // The tone curve is on the video only: letterbox bars stay black.
        {"black.avi", {"--brightness", "255", "--dither", "threshold"}, lit},
        {"white.avi", {"--brightness", "255", "--dither", "blue-noise"}, bars},
        {"white.avi", {"--brightness", "255"}, bars},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string out = path(("pix" + std::to_string(n++) + ".orv").c_str());
        std::vector<std::string> args{"convert", clip(c.clip), "-o", out, "--fps", "5"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        ASSERT_EQ(orv(args).status, 0);
        const auto all = frames(out);
        ASSERT_EQ(all.size(), 10u);
        for (const auto& f : all) {
            for (int row : {0, 17, 63})
                ASSERT_EQ(columns(f, row), c.row) << c.clip << " case " << n;
        }
    }
}

TEST_F(Convert, ToneControlsMoveTheDarkShare) {
    // grey.avi is mid grey, luma 128 give or take the codec's one or two.
    const struct {
        std::vector<std::string> args;
        double dark, within;
    } cases[] = {
        {{}, 1 - (1 - 90 / 128.0), 0.02},                 // engrave: light with chance 1 - 90 / L
        {{"--brightness", "100"}, 0, 0},                  // L 228: above 180, all light
        {{"--brightness", "-50"}, 1, 0},                  // L 78: 90 or below, all dark
        {{"--gamma", "0.2"}, 1, 0},                       // 255 x (128 / 255)^5 = 8
        {{"--dither", "blue-noise"}, 127 / 255.0, 0.01},  // dark where the mask is >= L
        {{"--dither", "blue-noise", "--brightness", "64"}, 63 / 255.0, 0.01},
        {{"--dither", "blue-noise", "--brightness", "-64"}, 191 / 255.0, 0.01},
        {{"--dither", "bayer", "--gamma", "2"}, 19 / 64.0, 0.0001},  // 181: 45 of 64 below
        {{"--dither", "threshold", "--contrast", "0"}, 0, 0},        // 127.5 rounds to 128
        {{"--dither", "threshold", "--contrast", "0", "--brightness", "-1"}, 1, 0},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string out = path(("tone" + std::to_string(n++) + ".orv").c_str());
        std::vector<std::string> args{"convert", clip("grey.avi"), "-o", out, "--fps", "5"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        ASSERT_EQ(orv(args).status, 0) << out;
        const Outcome info = orv({"info", out, "--stats"});
        const auto at = info.out.find("dark: ");
        ASSERT_NE(at, std::string::npos) << info.out;
        EXPECT_NEAR(std::atof(info.out.c_str() + at + 6), c.dark, c.within + 0.00005) << out;
    }
}

TEST_F(Convert, HelpSaysEachMethodsLumaTheToneAndWhichToTake) {
    const Outcome help = orv({"convert", "--help"});
    ASSERT_EQ(help.status, 0);
    for (const char* says :
         {"engrave          L = (3 B + 6 G + R) \\ 10",
          "threshold        L = BT.601 luma (299 R + 587 G + 114 B + 500) \\ 1000, as\n"
          "                   for the three below",
          "--brightness B", "--contrast C", "--gamma G", "order gamma, contrast, brightness",
          "For video take blue-noise; for a still picture, floyd-steinberg.", "H:MM:SS",
          "with threshold only", "with engrave only"}) {
        EXPECT_NE(help.out.find(says), std::string::npos) << says;
    }
    std::istringstream lines(help.out);
    for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 80u) << line;
}

TEST_F(Convert, TheMovingBoxMoves) {
    ASSERT_EQ(orv({"convert", clip("box.avi"), "-o", path("box.orv"), "--fps", "4"}).status, 0);
    const auto all = frames(path("box.orv"));
    ASSERT_EQ(all.size(), 16u);
    // The box is 16 frame columns wide and moves 25 columns a second.
    auto firstLitColumn = [](const FramePages& f) {
        for (int c = 0; c < 128; ++c) {
            if (!orv::frameDark(f, c, 30)) return c;
        }
        return -1;
    };
    EXPECT_EQ(firstLitColumn(all[0]), 0);
    EXPECT_NEAR(firstLitColumn(all[4]), 25, 1);
    EXPECT_NEAR(firstLitColumn(all[8]), 50, 1);
    EXPECT_EQ(firstLitColumn(all[15]) > firstLitColumn(all[8]), true);
}

TEST_F(Convert, ExistingOutputsAppendAndForce) {
    const std::string out = path("mov.orv");
    ASSERT_EQ(orv({"convert", clip("white.avi"), "-o", out, "--fps", "5"}).status, 0);
    const std::string before = readFile(out);
    const Outcome again = orv({"convert", clip("black.avi"), "-o", out, "--fps", "5"});
    EXPECT_EQ(again.status, 2);
    EXPECT_NE(again.err.find("--force"), std::string::npos);
    EXPECT_TRUE(readFile(out) == before);
    ASSERT_EQ(orv({"convert", clip("black.avi"), "-o", out, "--fps", "5", "--append"}).status, 0);
    EXPECT_EQ(frames(out).size(), 20u);
    EXPECT_TRUE(readFile(out).substr(0, before.size()) == before);
    ASSERT_EQ(
        orv({"convert", clip("black.avi"), "-o", out, "--fps", "5", "--force", "--quiet"}).status,
        0);
    EXPECT_EQ(frames(out).size(), 10u);
    EXPECT_TRUE(orv({"convert", clip("black.avi"), "-o", out, "--append", "--force"}).status == 2);
}

TEST_F(Convert, DamagedInputsLeaveWholeRecords) {
    const Outcome cut = orv({"convert", clip("cut.avi"), "-o", path("cut.orv"), "--fps", "10"});
    EXPECT_EQ(cut.status, 1);
    EXPECT_NE(cut.err.find("cut.avi"), std::string::npos) << cut.err;
    const auto some = frames(path("cut.orv"));  // the strict reader accepts what is there
    EXPECT_LT(some.size(), 40u);

    const Outcome junk = orv({"convert", clip("junk.avi"), "-o", path("junk.orv")});
    EXPECT_EQ(junk.status, 1);
    EXPECT_NE(junk.err.find("junk.avi"), std::string::npos);
    EXPECT_FALSE(fs::exists(path("junk.orv")));

    // Replacing: a failed run leaves the old file as it was.
    const std::string keep = path("keep.orv");
    ASSERT_EQ(orv({"convert", clip("white.avi"), "-o", keep, "--fps", "5"}).status, 0);
    const std::string before = readFile(keep);
    EXPECT_EQ(orv({"convert", clip("cut.avi"), "-o", keep, "--fps", "10", "--force"}).status, 1);
    EXPECT_TRUE(readFile(keep) == before);
    for (const auto& e : fs::directory_iterator(dir_)) {
        EXPECT_EQ(e.path().string().find(".part-"), std::string::npos) << e.path();
    }
}

// Ctrl-C, SIGTERM or SIGHUP in the middle of a run: once frames are going out,
// each stops it the same way.
TEST_F(Convert, StopSignalsLeaveWholeRecords) {
    const std::string keep = path("keep.orv");
    ASSERT_EQ(orv({"convert", clip("white.avi"), "-o", keep, "--fps", "5"}).status, 0);
    const std::string before = readFile(keep);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        const std::string fresh = path(("new-" + std::to_string(signal) + ".orv").c_str());
        const struct {
            std::string output;
            std::vector<std::string> extra;
            std::string watch;  // the file that grows
        } cases[] = {
            {fresh, {}, fresh},
            {keep, {"--force"}, ""},
        };
        for (const auto& c : cases) {
            std::vector<std::string> words{"convert", clip("long.mp4"), "-o", c.output, "--fps",
                                           "46",      "--quiet"};
            words.insert(words.end(), c.extra.begin(), c.extra.end());
            const pid_t child = orv::test::startOrv(words);
            ASSERT_GT(child, 0);
            // Wait until at least one record is out, however fast the machine.
            auto growing = [&] {
                if (!c.watch.empty()) return fs::exists(c.watch) && fs::file_size(c.watch) >= 3075;
                for (const auto& e : fs::directory_iterator(dir_)) {
                    if (e.path().string().find(".part-") != std::string::npos &&
                        fs::file_size(e.path()) >= 3075) {
                        return true;
                    }
                }
                return false;
            };
            int early = 0;
            for (int i = 0; i < 20000 && !growing(); ++i) {
                if (::waitpid(child, &early, WNOHANG) == child)
                    FAIL() << "convert ended early: " << early;
                ::usleep(500);
            }
            ASSERT_TRUE(growing());
            ::kill(child, signal);
            EXPECT_EQ(orv::test::exitStatus(child, 30), 1) << "signal " << signal;
        }
        const auto some = frames(fresh);  // whole records only
        EXPECT_GT(some.size(), 0u);
        EXPECT_LT(some.size(), 2760u);
    }
    EXPECT_TRUE(readFile(keep) == before);
    for (const auto& e : fs::directory_iterator(dir_)) {
        EXPECT_EQ(e.path().string().find(".part-"), std::string::npos) << e.path();
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

TEST_F(Convert, UsageErrors) {
    const struct {
        std::vector<std::string> args;
        const char* says;
    } cases[] = {
        {{"convert", clip("white.avi")}, "-o"},
        {{"convert", clip("white.avi"), "-o", path("x.orv"), "--fps", "0"}, "--fps"},
        {{"convert", clip("white.avi"), "-o", path("x.orv"), "--fps", "47"}, "--fps"},
        {{"convert", clip("white.avi"), "-o", path("x.orv"), "--fps", "2.5"}, "--fps"},
        {{"convert", clip("white.avi"), "-o", path("x.orv"), "--dither", "noise"}, "noise"},
        {{"convert", clip("white.avi"), "-o", path("x.orv"), "--fit", "zoom"}, "zoom"},
        {{"convert", clip("white.avi"), "-o", path("x.orv"), "--colour", "red"}, "--colour"},
        {{"convert", clip("white.avi"), "-o", path("x.orv"), "--brightness", "256"},
         "--brightness"},
        {{"convert", clip("white.avi"), "-o", path("x.orv"), "--contrast", "-1"}, "--contrast"},
        {{"convert", clip("white.avi"), "-o", path("x.orv"), "--gamma", "0.05"}, "--gamma"},
        {{"convert", clip("white.avi"), "-o", path("x.orv"), "--gamma", "x"}, "\"x\""},
        {{"convert", clip("white.avi"), "-o", path("x.orv"), "--start", "1:75"},
         "--start: \"1:75\" is not a time"},
        {{"convert", clip("white.avi"), "-o", path("x.orv"), "--duration", "-1"}, "--duration"},
        {{"convert", clip("white.avi"), "-o", path("x.orv"), "--start", "1e10"}, "--start"},
        // Options that would do nothing with the method chosen.
        {{"convert", clip("white.avi"), "-o", path("x.orv"), "--threshold", "100"},
         "--threshold goes only with --dither threshold"},
        {{"convert", clip("white.avi"), "-o", path("x.orv"), "--threshold", "9", "--dither",
          "bayer"},
         "--threshold goes only with --dither threshold"},
        {{"convert", clip("white.avi"), "-o", path("x.orv"), "--seed", "1", "--dither", "bayer"},
         "--seed goes only with --dither engrave"},
        {{"convert", clip("white.avi"), "-o", path("x.orv"), "--dither", "threshold", "--seed",
          "1"},
         "--seed goes only with --dither engrave"},
        {{"info"}, "FILE"},
        {{"render", path("x.orv")}, "-o"},
    };
    for (const auto& c : cases) {
        const Outcome o = orv(c.args);
        EXPECT_EQ(o.status, 2) << c.says << o.err;
        EXPECT_NE(o.err.find(c.says), std::string::npos) << o.err;
    }
    EXPECT_FALSE(fs::exists(path("x.orv")));
    // With their own method they are taken.
    for (const std::vector<std::string>& extra : {std::vector<std::string>{"--seed", "3"},
                                                  {"--dither", "engrave", "--seed", "3"},
                                                  {"--dither", "threshold", "--threshold", "9"}}) {
        std::vector<std::string> args{"convert", clip("white.avi"), "-o", path("y.orv"),
                                      "--force", "--duration",      "0.1"};
        args.insert(args.end(), extra.begin(), extra.end());
        EXPECT_EQ(orv(args).status, 0) << extra[1];
    }
}

TEST_F(Convert, InfoIsStrictAndMeasuresFlicker) {
    ASSERT_EQ(orv({"convert", clip("split.avi"), "-o", path("s.orv"), "--fps", "5"}).status, 0);
    Outcome info = orv({"info", path("s.orv"), "--stats", "--fps", "5"});
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("frames: 10\n"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("duration: 2.000 s at 5 fps"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("dark: 0.5000"), std::string::npos) << info.out;

    auto flicker = [&](const char* dither) {
        const std::string out = path((std::string("g-") + dither + ".orv").c_str());
        EXPECT_EQ(
            orv({"convert", clip("grey.avi"), "-o", out, "--fps", "10", "--dither", dither}).status,
            0);
        const Outcome o = orv({"info", out, "--stats"});
        const auto at = o.out.find("flicker: ");
        return at == std::string::npos ? -1.0 : std::atof(o.out.c_str() + at + 9);
    };
    EXPECT_EQ(flicker("bayer"), 0.0);
    EXPECT_EQ(flicker("blue-noise"), 0.0);
    EXPECT_GT(flicker("engrave"), 0.05);

    const std::string good = readFile(path("s.orv"));
    const struct {
        std::string text;
        const char* says;
    } broken[] = {
        {good.substr(0, good.size() - 3), "line 10250"},
        {"007\r\n", "leading zero"},
        {"256\r\n", "above 255"},
        {"12\n", "CR LF"},
        {"F\r\n", "only 0 values"},
        {std::string("1\r\n") + "x\r\n", "line 2"},
    };
    for (const auto& b : broken) {
        orv::test::writeFile(path("bad.orv"), b.text);
        const Outcome o = orv({"info", path("bad.orv")});
        EXPECT_EQ(o.status, 1);
        EXPECT_NE(o.err.find(b.says), std::string::npos) << b.says << ": " << o.err;
    }
}

TEST_F(Convert, RenderRoundTripGivesBackTheBits) {
    ASSERT_EQ(orv({"convert", clip("box.avi"), "-o", path("b.orv"), "--fps", "3", "--dither",
                   "floyd-steinberg"})
                  .status,
              0);
    const auto all = frames(path("b.orv"));
    ASSERT_EQ(all.size(), 12u);
    ASSERT_EQ(orv({"render", path("b.orv"), "-o", path("f.png"), "--frame", "5", "--scale", "1",
                   "--colors", "mono"})
                  .status,
              0);
    QImage png(QString::fromStdString(path("f.png")));
    ASSERT_EQ(png.size(), QSize(128, 64));
    for (int r = 0; r < 64; ++r) {
        for (int c = 0; c < 128; ++c) {
            ASSERT_EQ(png.pixel(c, r) == qRgb(0, 0, 0), orv::frameDark(all[5], c, r))
                << c << "," << r;
        }
    }
    ASSERT_EQ(
        orv({"render", path("b.orv"), "-o", path("a.gif"), "--scale", "2", "--fps", "3"}).status,
        0);
    QImageReader gif(QString::fromStdString(path("a.gif")));
    int n = 0;
    for (QImage frame; gif.read(&frame); ++n) {
        ASSERT_LT(n, 12);
        ASSERT_EQ(frame.size(), QSize(256, 128));
        for (int r = 0; r < 64; ++r) {
            for (int c = 0; c < 128; ++c) {
                const bool dark = qGreen(frame.pixel(2 * c + 1, 2 * r + 1)) < 100;
                ASSERT_EQ(dark, orv::frameDark(all[static_cast<std::size_t>(n)], c, r)) << n;
            }
        }
    }
    EXPECT_EQ(n, 12);
    EXPECT_EQ(orv({"render", path("b.orv"), "-o", path("z.png"), "--frame", "12"}).status, 2);
}

// Input that yields no frame is a failure, never an empty success, and leaves
// no output behind; each says why in one line.
TEST_F(Convert, NoFramesIsAFailureWithItsReason) {
    const struct {
        std::vector<std::string> args;
        const char* says;
    } cases[] = {
        {{clip("empty.avi")}, "empty.avi"},
        {{clip("junk.avi")}, "junk.avi"},
        {{clip("white.avi"), "--start", "100"}, "from 100 s on"},
        {{clip("cover.mp3")}, "only a cover picture"},
        {{dir_.string()}, ""},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string out = path(("none" + std::to_string(n++) + ".orv").c_str());
        std::vector<std::string> args{"convert"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        args.insert(args.end(), {"-o", out});
        const Outcome o = orv(args);
        EXPECT_EQ(o.status, 1) << c.says << ": " << o.err;
        EXPECT_NE(o.err.find(c.says), std::string::npos) << o.err;
        EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << o.err;
        EXPECT_FALSE(fs::exists(out)) << c.says;
    }
    // The libraries' own logging only on request.
    const Outcome loud = orv({"convert", clip("junk.avi"), "-o", path("loud.orv"), "--verbose"});
    EXPECT_GT(std::count(loud.err.begin(), loud.err.end(), '\n'), 1);
}

TEST_F(Convert, OutputMustBeAnotherRegularFileAndAppendAWholeFrameFile) {
    // The video itself, under another name too, is never the output.
    const std::string video = path("v.avi");
    fs::copy_file(clip("white.avi"), video);
    fs::create_hard_link(video, path("same.orv"));
    const std::string before = readFile(video);
    for (const std::string& out : {video, path("same.orv"), dir_.string() + "/./v.avi"}) {
        const Outcome o = orv({"convert", video, "-o", out, "--force"});
        EXPECT_EQ(o.status, 2) << out;
        EXPECT_NE(o.err.find("same file"), std::string::npos) << o.err;
    }
    EXPECT_TRUE(readFile(video) == before);
    // A pipe is refused at once, whatever the mode.
    ASSERT_EQ(::mkfifo(path("pipe.orv").c_str(), 0600), 0);
    for (const char* mode : {"--append", "--force"}) {
        EXPECT_EQ(orv({"convert", clip("white.avi"), "-o", path("pipe.orv"), mode}).status, 1);
    }
    // --append only adds to a frame file that orv info accepts.
    ASSERT_EQ(orv({"convert", clip("white.avi"), "-o", path("a.orv"), "--fps", "5"}).status, 0);
    const std::string whole = readFile(path("a.orv"));
    for (const std::string& broken : {whole + "12\r\n3", std::string("hello\r\n") + whole}) {
        orv::test::writeFile(path("b.orv"), broken);
        const Outcome o = orv({"convert", clip("white.avi"), "-o", path("b.orv"), "--append"});
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
    ASSERT_EQ(orv({"convert", clip("white.avi"), "-o", out, "--fps", "5"}).status, 0);
    // A run killed outright leaves its temporary file; the next run clears it.
    const pid_t killed = orv::test::startOrv(
        {"convert", clip("long.mp4"), "-o", out, "--fps", "46", "--force", "--quiet"});
    auto temporaries = [&] {
        std::vector<fs::path> found;
        for (const auto& e : fs::directory_iterator(dir_)) {
            if (e.path().filename().string().rfind("out.orv.part-", 0) == 0)
                found.push_back(e.path());
        }
        return found;
    };
    for (int i = 0; i < 20000 && temporaries().empty(); ++i) ::usleep(500);
    ::kill(killed, SIGKILL);
    ::waitpid(killed, nullptr, 0);
    ASSERT_EQ(temporaries().size(), 1u);
    // Something planted where a temporary name could be is never written through.
    const std::string planted = out + ".part-" + std::to_string(::getpid()) + "-AAAAAA";
    fs::create_symlink(path("victim"), planted);
    orv::test::writeFile(path("victim"), "keep");
    ASSERT_EQ(orv({"convert", clip("black.avi"), "-o", out, "--fps", "5", "--force"}).status, 0);
    EXPECT_EQ(frames(out).size(), 10u);
    EXPECT_EQ(temporaries().size(), 1u);  // only the planted link is left
    EXPECT_TRUE(fs::is_symlink(planted));
    EXPECT_EQ(readFile(path("victim")), "keep");
}

TEST_F(Convert, PicturesAreOneFrameAndTurnedClipsUpright) {
    for (const char* still : {"still.png", "still.jpg", "still.bmp"}) {
        const std::string out = path((std::string(still) + ".orv").c_str());
        const Outcome o = orv({"convert", clip(still), "-o", out, "--fps", "46"});
        ASSERT_EQ(o.status, 0) << still << ": " << o.err;
        EXPECT_EQ(frames(out).size(), 1u) << still;
    }
    // Shown a quarter turn round, the white half is at the bottom.
    ASSERT_EQ(orv({"convert", clip("turned.mp4"), "-o", path("t.orv"), "--fps", "5", "--fit",
                   "stretch", "--dither", "threshold"})
                  .status,
              0);
    const auto all = frames(path("t.orv"));
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(columns(all[0], 10), std::string(128, '#'));
    EXPECT_EQ(columns(all[0], 53), std::string(128, '.'));
}

TEST_F(Convert, RecordsToStandardOutputForPipelines) {
    const Outcome o = orv({"convert", clip("white.avi"), "-o", "-", "--fps", "5"});
    ASSERT_EQ(o.status, 0) << o.err;
    std::uint64_t n = 0;
    ASSERT_TRUE(orv::readFrameRecords(o.out, [&](const FramePages&) { ++n; }).ok());
    EXPECT_EQ(n, 10u);
    EXPECT_NE(o.err.find("10 frames"), std::string::npos) << o.err;  // the summary too
    EXPECT_EQ(orv({"convert", clip("white.avi"), "-o", "-", "--append"}).status, 2);
}

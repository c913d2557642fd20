// Which source frame each frame of `orv convert` shows, on clips made with the
// ffmpeg program in the containers people download, each frame drawing its
// own number in cells; compared with ffmpeg's own fps filter on the same file.
#include <cstdio>

#include "orv_runner.h"

using orv::test::Outcome;
using orv::test::shellQuote;

namespace {

// Bit j of the frame number is cell j of an 8 x 2 grid: white where it is set.
const std::string kNumbered =
    "format=yuv420p,geq=lum='if(mod(floor(N/pow(2,floor(X/32)+8*floor(Y/32))),2),235,16)'"
    ":cb=128:cr=128";

// ffmpeg's input of numbered frames, `then` filtered further.
std::string source(const std::string& rate, double seconds, const std::string& then = "") {
    return "-f lavfi -i " + shellQuote("color=black:s=256x64:r=" + rate +
                                       ":d=" + std::to_string(seconds) + "," + kNumbered + then);
}

// The number a grid of 16 cells shows, each cell lit or not.
template <class Lit>
int number(Lit lit) {
    int n = 0;
    for (int j = 0; j < 16; ++j) n |= lit(j) ? 1 << j : 0;
    return n;
}

class FrameChoice : public orv::test::ClipTest {
  protected:
    static void SetUpTestSuite() {
        const std::string x264 = " -c:v libx264 -pix_fmt yuv420p";
        const std::pair<std::string, std::string> made[] = {
            {source("30", 2) + " -c:v ffv1", "ffv1.mkv"},
            {source("30", 2) + " -f lavfi -i sine=d=3 -c:v libvpx-vp9 -deadline realtime "
                               "-cpu-used 8 -c:a libopus",
             "sound.webm"},  // the sound runs a second longer
            {source("30000/1001", 2) + x264, "ntsc.mp4"},
            {source("30", 2) + x264, "bframes.avi"},  // x264's B-frames: the last without times
            {source("25", 2) + " -c:v mpeg4 -bf 2 -q:v 2", "mpeg4.avi"},
            {source("25", 2) + " -f lavfi -i sine=d=3 -c:v mpeg2video -q:v 2 -c:a mp2", "mpeg2.ts"},
            {source("24000/1001", 2) + x264, "film.mov"},
            {source("60", 1) + " -c:v ffv1 -output_ts_offset 10", "offset.mkv"},
            {source("25", 6, ",select='lt(n\\,25)+not(mod(n\\,25))'") + " -fps_mode vfr -c:v ffv1",
             "vfr.mkv"},
        };
        for (const auto& [args, name] : made) makeClip(args, name);
        // A recording cut out of a transport stream, its times kept (from 1.4 s).
        makeClip("-copyts -i " + shellQuote(clip("mpeg2.ts")) + " -c copy", "copyts.mkv");
        std::filesystem::create_directories(clip("seq"));
        makeClip(source("25", 1.6), "seq/%03d.png");
    }

    // The number each frame of a frame file shows.
    static std::vector<int> shown(const std::string& file) {
        std::vector<int> numbers;
        for (const auto& f : orv::test::readFrames(file)) {
            numbers.push_back(
                number([&](int j) { return !f.dark(16 * (j % 8) + 8, 32 * (j / 8) + 16); }));
        }
        return numbers;
    }
    // The number each frame of ffmpeg's fps filter at `fps` shows.
    static std::vector<int> ffmpegChoice(const std::string& name, int fps) {
        const std::string cmd = "ffmpeg -v error -i " + shellQuote(clip(name)) +
                                " -fps_mode passthrough -vf fps=" + std::to_string(fps) +
                                ",scale=8:2:flags=area -f rawvideo -pix_fmt gray -";
        std::vector<int> numbers;
        std::FILE* pipe = ::popen(cmd.c_str(), "r");
        unsigned char cells[16];
        while (pipe && std::fread(cells, 1, 16, pipe) == 16) {
            numbers.push_back(number([&](int j) { return cells[j] >= 128; }));
        }
        EXPECT_TRUE(pipe && ::pclose(pipe) == 0) << cmd;
        return numbers;
    }
};

// How many places two sequences differ in, a missing frame counted as one.
std::size_t differences(const std::vector<int>& a, const std::vector<int>& b) {
    std::size_t n = a.size() > b.size() ? a.size() - b.size() : b.size() - a.size();
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) n += a[i] != b[i];
    return n;
}

}  // namespace

TEST_F(FrameChoice, EveryFrameOnceAtItsOwnRateAndFfmpegsChoiceAtOthers) {
    const struct {
        const char* clip;
        int fps;
        int ownFrames;  // at its own rate: every frame once; else 0
    } cases[] = {
        {"ffv1.mkv", 30, 60},   {"ffv1.mkv", 24, 0},    {"sound.webm", 30, 60},
        {"sound.webm", 24, 0},  {"ntsc.mp4", 30, 0},    {"bframes.avi", 30, 60},
        {"bframes.avi", 24, 0}, {"mpeg4.avi", 25, 50},  {"mpeg2.ts", 25, 50},
        {"mpeg2.ts", 24, 0},    {"copyts.mkv", 25, 50}, {"copyts.mkv", 10, 0},
        {"film.mov", 24, 0},    {"offset.mkv", 30, 0},  {"offset.mkv", 46, 0},
        {"vfr.mkv", 10, 0},     {"vfr.mkv", 31, 0},     {"seq/%03d.png", 25, 40},
    };
    for (const auto& c : cases) {
        const std::string what = std::string(c.clip) + " at " + std::to_string(c.fps);
        const std::string out = path("choice.orv");
        const Outcome o = convert(c.clip, out,
                                  {"--fps", std::to_string(c.fps), "--fit", "stretch", "--dither",
                                   "threshold", "--force", "--quiet"});
        ASSERT_EQ(o.status, 0) << what << ": " << o.err;
        const std::vector<int> ours = shown(out);
        if (c.ownFrames > 0) {
            std::vector<int> every(c.ownFrames);
            for (int i = 0; i < c.ownFrames; ++i) every[i] = i;
            EXPECT_EQ(ours, every) << what;
        }
        const std::vector<int> theirs = ffmpegChoice(c.clip, c.fps);
        EXPECT_LE(differences(ours, theirs), 1u)
            << what << ": " << ours.size() << " frames against ffmpeg's " << theirs.size();
    }
}

// A transport stream cut on one of its packets' boundaries reads to its end
// without a read error: it is damaged exactly where the decoder finds its
// last picture incomplete, as ffmpeg's own decoding says.
TEST_F(FrameChoice, ACutStreamIsDamagedExactlyWhereFfmpegFindsItSo) {
    makeClip("-f lavfi -i testsrc2=s=320x240:r=25:d=2 -c:v mpeg2video -f mpegts", "cut-me.ts");
    const std::string whole = orv::test::readFile(clip("cut-me.ts"));
    int damaged = 0, sound = 0;
    for (int percent = 50; percent < 100; percent += 3) {
        const std::string cut = path("cut.ts");
        orv::test::writeFile(cut, whole.substr(0, whole.size() * percent / 100 / 188 * 188));
        std::FILE* pipe =
            ::popen(("ffmpeg -v error -i " + shellQuote(cut) + " -f null - 2>&1").c_str(), "r");
        char said[256];
        const bool ffmpegComplains = pipe && std::fgets(said, sizeof said, pipe) != nullptr;
        if (pipe) ::pclose(pipe);
        const Outcome o =
            orv({"convert", cut, "-o", path("cut.orv"), "--force", "--quiet", "--fps", "25"});
        EXPECT_EQ(o.status, ffmpegComplains ? 1 : 0) << percent << "%: " << o.err;
        (ffmpegComplains ? damaged : sound)++;
    }
    EXPECT_GT(damaged, 0);
    EXPECT_GT(sound, 0);
}

// `orv convert` decodes small where the codec can and leaves out frames that
// no tick takes. Each shortcut is compared here with the same run without it
// (ORV_FULL_DECODE=1, ORV_DECODE_ALL=1), frame by frame, on clips the test
// makes with the ffmpeg program.

#include "orv_runner.h"

using orv::test::Outcome;

namespace {

class Decode : public orv::test::ClipTest {
  protected:
    static void SetUpTestSuite() {
        const std::string mjpeg = " -c:v mjpeg -q:v 3 -pix_fmt yuvj420p";
        // Decoded at an eighth (2:1, letterboxed: 128 x 64).
        makeClip("-f lavfi -i testsrc2=s=1024x512:r=25:d=2" + mjpeg, "wide.avi");
        // Stored 1024 x 512 and shown a quarter turn round: cropped upright to
        // 128 x 256, which is 256 x 128 as stored, a quarter of the size.
        makeClip("-f lavfi -i testsrc2=s=1024x512:r=25:d=2" + mjpeg, "flat.mov");
        makeClip(
            "-i " + orv::test::shellQuote(clip("flat.mov")) + " -c copy -metadata:s:v:0 rotate=90",
            "turned.mov");
        // Lossless JPEG, which the decoder refuses to decode small.
        makeClip("-f lavfi -i testsrc2=s=640x480:r=25:d=2 -c:v ljpeg -pix_fmt yuvj420p",
                 "lossless.avi");
        // For leaving frames out: every frame stands alone; B-frames that
        // other frames refer to (a pyramid), in MP4 and in MPEG-TS; B-frames
        // without one, at 29.97 fps in a container that keeps milliseconds.
        makeClip("-f lavfi -i testsrc2=s=320x240:r=25:d=4" + mjpeg, "small.avi");
        makeClip(
            "-f lavfi -i testsrc2=s=320x240:r=30:d=4 -c:v libx264 -preset medium -bf 3 "
            "-pix_fmt yuv420p",
            "pyramid.mp4");
        makeClip("-i " + orv::test::shellQuote(clip("pyramid.mp4")) + " -c copy -f mpegts",
                 "pyramid.ts");  // start codes instead of NAL lengths
        makeClip(
            "-f lavfi -i testsrc2=s=320x240:r=30000/1001:d=4 -c:v libx264 -preset fast -bf 2 "
            "-x264-params b-pyramid=none -pix_fmt yuv420p",
            "plain-b.mkv");
    }

    // The number before `what` in --verbose's line about the video, or -1.
    static long count(const std::string& err, const std::string& what) {
        const auto line = err.find("video: ");
        const auto at = err.find(what, line);
        if (line == std::string::npos || at == std::string::npos) return -1;
        auto from = err.rfind(' ', at - 2);
        return std::atol(err.c_str() + from + 1);
    }
};

}  // namespace

TEST_F(Decode, SmallDecodingChangesFewerThanOnePixelInAHundred) {
    const struct {
        std::string clip;
        std::string fit;
        std::string size;   // as --verbose says it
        bool same = false;  // the decode cannot be small: the same frames
    } cases[] = {
        {"wide.avi", "letterbox", "at 1/8 size"},
        {"turned.mov", "crop", "at 1/4 size"},
        {"pyramid.mp4", "crop", "at 1/1 size without the loop filter"},  // H.264: no lowres
        {"lossless.avi", "crop", "at 1/1 size on", true},
    };
    for (const auto& c : cases) {
        const std::vector<std::string> common{
            "--fps", "25", "--fit", c.fit, "--dither", "threshold", "--duration", "2", "--verbose"};
        const std::string small = path(c.clip + ".small.orv"), full = path(c.clip + ".full.orv");
        const Outcome reduced = convert(c.clip, small, common);
        ASSERT_EQ(reduced.status, 0) << reduced.err;
        EXPECT_NE(reduced.err.find(c.size), std::string::npos) << c.clip << ": " << reduced.err;
        const Outcome whole = convert(c.clip, full, common, "ORV_FULL_DECODE");
        ASSERT_EQ(whole.status, 0) << whole.err;
        EXPECT_NE(whole.err.find("at 1/1 size on"), std::string::npos) << whole.err;

        const auto a = frames(small), b = frames(full);
        ASSERT_EQ(a.size(), 50u) << c.clip;
        ASSERT_EQ(b.size(), a.size()) << c.clip;
        long differ = 0;
        for (std::size_t i = 0; i < a.size(); ++i) {
            for (int r = 0; r < 64; ++r) {
                for (int col = 0; col < 128; ++col)
                    differ += orv::frameDark(a[i], col, r) != orv::frameDark(b[i], col, r);
            }
        }
        const double share = static_cast<double>(differ) / (a.size() * 128 * 64);
        EXPECT_LT(share, 0.01) << c.clip << ": " << differ << " pixels differ";
        // Not the same decode under another name: some pixels do differ.
        EXPECT_EQ(differ == 0, c.same) << c.clip;
    }
}

TEST_F(Decode, FramesLeftOutChangeNoTick) {
    const std::vector<std::vector<std::string>> runs = {
        {"--fps", "1"},
        {"--fps", "7", "--start", "0.37"},
        {"--fps", "10", "--start", "1.5"},
        {"--fps", "10", "--start", "0.37", "--duration", "1.3"},
    };
    for (const std::string name : {"small.avi", "pyramid.mp4", "pyramid.ts", "plain-b.mkv"}) {
        long leftOut = 0, neverSent = 0, passedOver = 0;
        int n = 0;
        for (const auto& extra : runs) {
            const std::string tag = name + "." + std::to_string(n++);
            const std::string skipping = path(tag + ".skip.orv"), every = path(tag + ".all.orv");
            std::vector<std::string> args{"--verbose"};
            args.insert(args.end(), extra.begin(), extra.end());
            const Outcome fast = convert(name, skipping, args);
            ASSERT_EQ(fast.status, 0) << tag << ": " << fast.err;
            const Outcome slow = convert(name, every, args, "ORV_DECODE_ALL");
            ASSERT_EQ(slow.status, 0) << tag << ": " << slow.err;
            EXPECT_EQ(count(slow.err, "left out"), 0) << slow.err;
            leftOut += count(fast.err, "left out");
            neverSent += count(fast.err, "of them never sent");
            passedOver += count(fast.err, "of them taken by no tick");

            const std::string a = orv::test::readFile(skipping);
            const std::string b = orv::test::readFile(every);
            ASSERT_FALSE(b.empty()) << tag;
            EXPECT_TRUE(a == b) << tag << ": " << frames(skipping).size() << " against "
                                << frames(every).size() << " frames\n"
                                << fast.err;
        }
        // The shortcut was taken: frames were left out, most of them never
        // sent to the decoder, and in the clips with B-frames some that other
        // frames need were decoded but not scaled.
        EXPECT_GT(leftOut, 50) << name;
        EXPECT_GT(neverSent, leftOut / 2) << name;
        if (name != "small.avi") {
            EXPECT_GT(passedOver, 20) << name;
        }
    }
}

// A transport stream seeks by timestamps alone, landing between key frames;
// the same pictures in MP4 seek by their index. Both give the same frames.
TEST_F(Decode, AStartInsideATransportStreamGivesWhatTheSameStreamInMp4Gives) {
    for (const std::string start : {"0.37", "1.5", "2.9"}) {
        std::vector<std::string> files;
        for (const std::string name : {"pyramid.mp4", "pyramid.ts"}) {
            files.push_back(path(name + "." + start + ".orv"));
            const Outcome o = convert(name, files.back(), {"--fps", "10", "--start", start});
            ASSERT_EQ(o.status, 0) << name << " from " << start << ": " << o.err;
        }
        ASSERT_FALSE(frames(files[0]).empty()) << start;
        EXPECT_TRUE(orv::test::readFile(files[0]) == orv::test::readFile(files[1]))
            << start << ": " << frames(files[0]).size() << " against " << frames(files[1]).size();
    }
}

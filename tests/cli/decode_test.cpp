// `orv convert` leaves out frames that no tick takes: compared here with the
// same run without the shortcut (ORV_DECODE_ALL=1), frame by frame, on clips
// the test makes with the ffmpeg program.

#include "orv_runner.h"

using orv::test::Outcome;

namespace {

class Decode : public orv::test::ClipTest {
  protected:
    static void SetUpTestSuite() {
        const std::string mjpeg = " -c:v mjpeg -q:v 3 -pix_fmt yuvj420p";
        // Every frame stands alone; B-frames that
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
            EXPECT_TRUE(a == b) << tag << ": " << fast.err;
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

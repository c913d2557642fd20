// `orv export` and `orv send` from outside: headers that compile, bytes that
// match the pixels, and frames rebuilt by the device's own decoder at the far
// end of a real pseudo-terminal pair.

#include <sys/ioctl.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <tuple>

#include "frame_receiver.h"
#include "lcd/frame_record.h"
#include "orv_runner.h"
#include "pty_pair.h"

namespace fs = std::filesystem;
using orv::FramePages;
using orv::test::Outcome;
using orv::test::PtyPair;

namespace {

class Link : public orv::test::OrvTest {
  protected:
    Link() : OrvTest("orv-link") {
        std::string records;
        for (int n = 0; n < 20; ++n) {
            frames_.push_back(orv::test::onePageMoves(n == 6 ? 5 : n));  // 5 and 6 alike
            records += orv::buildFrameRecord(frames_.back());
        }
        orv::test::writeFile(orvFile_, records);
    }
    std::vector<FramePages> frames_;
    const std::string orvFile_ = path("clip.orv");

    // Runs `orv send` to `near` while reading `far` until it ends; the bytes.
    std::string sendAndRead(const PtyPair& pty, std::vector<std::string> args, int& status) const {
        const int far = PtyPair::openEnd(pty.far());
        EXPECT_GE(far, 0);
        args.insert(args.begin(),
                    {"send", orvFile_, "--port", pty.near(), "--quiet", "--wait", "0"});
        const pid_t child = orv::test::startOrv(args);
        std::string got;
        status = -2;
        for (int i = 0; i < 3000 && status == -2; ++i) {
            got += PtyPair::readAvailable(far);
            status = orv::test::ended(child);
            ::usleep(10000);
        }
        ::usleep(50000);
        got += PtyPair::readAvailable(far);
        ::close(far);
        return got;
    }
};

}  // namespace

// What cannot be done is refused, a port or settings text that cannot be used
// as a usage error in words of the command line.
TEST_F(Link, ExportAndSendRefuseWhatTheyCannotDo) {
    orv::test::writeFile(path("cut.orv"), orv::test::readFile(orvFile_) + "12\r\n");
    orv::test::writeFile(path("exists.h"), "keep");
    orv::test::writeFile(path("none.orv"), "");
    const struct {
        std::vector<std::string> args;
        int status;
        const char* says;
    } cases[] = {
        {{path("cut.orv"), "-o", path("a.h")}, 1, "partial record"},
        {{orvFile_, "-o", path("a.txt")}, 2, "--format"},
        {{orvFile_, "-o", path("a.h"), "--layout", "columns"}, 2, "columns"},
        {{orvFile_, "-o", path("a.h"), "--frames", "20:1"}, 2, "outside"},
        {{orvFile_, "-o", path("a.h"), "--frames", "1:18446744073709551615"},
         2,
         "which holds 20 frames"},
        {{orvFile_, "-o", path("a.pmh"), "--format", "c"}, 2, "names a stream file"},
        {{path("none.orv"), "-o", path("a.h")}, 1, "holds no frames"},  // as orv render says
        {{orvFile_, "-o", path("a.h"), "--name", "NULL"}, 2, "NULL"},
        {{orvFile_, "-o", path("a.h"), "--frames", "3"}, 2, "FIRST:COUNT"},
        {{orvFile_, "-o", path("exists.h")}, 2, "--force"},
        {{"send", orvFile_, "--port", "5000", "--settings", "115200,n,8,1"},
         2,
         "--port 5000 names no device"},
        {{"send", orvFile_, "--port", "/dev/null", "--settings", "x"}, 2, "four fields"},
        {{"send", orvFile_, "--port", "/dev/ptmx"}, 1, "not a serial port: it is the master side"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        if (args[0] != "send") args.insert(args.begin(), "export");
        const Outcome o = orv(args);
        orv::test::expectRefusal(o, c.status, c.says);
        EXPECT_EQ(o.err.find("端口号"), std::string::npos) << o.err;
    }
    EXPECT_FALSE(fs::exists(path("a.h")) || fs::exists(path("a.pmh")));
    EXPECT_EQ(orv::test::readFile(path("exists.h")), "keep");
    EXPECT_EQ(orv({"export", orvFile_, "-o", path("exists.h"), "--force"}).status, 0);
    // A name as long as a name can be leaves room for no temporary suffix.
    const std::string longest = path(std::string(251, 'n') + ".bin");
    EXPECT_EQ(orv({"export", orvFile_, "-o", longest}).status, 0);
    EXPECT_EQ(orv({"export", orvFile_, "-o", longest, "--force"}).status, 0);
    EXPECT_TRUE(orv::test::temporaries(dir_.path()).empty());
}

// How the device gets over lost and damaged packets is the decoder's and the
// encoder's own (core tests); here orv must send the right packets on time.
TEST_F(Link, SendRebuildsEveryFrameSendingOnlyChangedPages) {
    PtyPair pty(dir_.path());
    ASSERT_TRUE(pty.ready());
    int status = 0;
    const auto began = std::chrono::steady_clock::now();
    const std::string wire = sendAndRead(pty, {"--fps", "10", "--key", "8"}, status);
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    ASSERT_EQ(status, 0);
    EXPECT_GE(took, 1.9);  // frame k goes out no earlier than k / 10 s on
    // Packet by packet, as the device takes them: once a frame's last page is
    // in, the device shows that frame.
    ASSERT_EQ(wire.size() % 135, 0u);
    orv::test::FrameReceiver device;
    std::vector<int> pages(20, 0);
    for (std::size_t at = 0; at < wire.size(); at += 135) {
        device.take(std::string_view(wire).substr(at, 135));
        ASSERT_EQ(device.packets.size(), at / 135 + 1);  // every packet good
        const std::uint16_t number = device.packets.back().frame;
        ASSERT_LT(number, 20);
        ++pages[number];
        const bool lastOfFrame =
            at + 135 == wire.size() || std::uint8_t(wire[at + 135 + 2]) != number;
        if (lastOfFrame) {
            EXPECT_TRUE(device.picture == frames_[number]) << "frame " << number;
        }
    }
    // All 8 pages for a key frame (--key 8), none for frame 6, the same as
    // frame 5; which pages the others send is the encoder's (core tests).
    for (int n : {0, 8, 16}) EXPECT_EQ(pages[n], 8) << "frame " << n;
    EXPECT_EQ(pages[6], 0);
}

// Raw mode sends every frame whole; --set-bit, or else a display's name by the
// same rules as orv export's, gives the polarity: an OLED gets every byte
// inverted, a page-organised LCD the frame file's own.
TEST_F(Link, SendRawGivesTheFramesThePolarityAsked) {
    for (const auto& [option, value, inverted] : {std::tuple("--set-bit", "light", true),
                                                  {"--display", "ssd1306", true},
                                                  {"--display", "12864", false}}) {
        PtyPair pty(dir_.path());
        ASSERT_TRUE(pty.ready());
        int status = 0;
        const std::string wire =
            sendAndRead(pty, {"--fps", "46", "--mode", "raw", option, value}, status);
        ASSERT_EQ(status, 0) << value;
        std::string want;
        for (const FramePages& f : frames_) {
            for (std::uint8_t b : f) want.push_back(static_cast<char>(inverted ? ~b : b));
        }
        EXPECT_TRUE(wire == want) << value;
    }
}

TEST_F(Link, APortThatGoesAwayEndsTheRunWithASay) {
    PtyPair pty(dir_.path());
    ASSERT_TRUE(pty.ready());
    const int far = PtyPair::openEnd(pty.far());
    const std::string err = path("err.txt");
    const pid_t child = orv::test::startOrv(
        {"send", orvFile_, "--port", pty.near(), "--loop", "--fps", "46", "--quiet", "--wait", "0"},
        "", err);
    std::size_t got = 0;
    for (int i = 0; i < 2000 && got < 5000; ++i) {
        got += PtyPair::readAvailable(far).size();
        ::usleep(2000);
    }
    ASSERT_GE(got, 5000u);
    pty.stop();
    EXPECT_EQ(orv::test::exitStatus(child, 20), 1);
    const std::string said = orv::test::readFile(err);
    EXPECT_NE(said.find(pty.near()), std::string::npos) << said;
    ::close(far);
}

// A port that takes no more data (a pseudo-terminal whose master reads
// nothing) does not hold a stop: each stop signal ends the run at once (with
// --loop, as 0), and the frame it cut short is not on time. Without one the
// run fails once the line has taken nothing for a few seconds.
TEST_F(Link, AStalledPortIsLeftOnAStopAndFailsWithout) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, 0}) {
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_TRUE(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
        // Every page of every frame, so that the port fills inside a packet.
        const pid_t child = orv::test::startOrv(
            {"send", orvFile_, "--port", ::ptsname(master), "--key", "1", "--wait", "0", "--loop"},
            path("out.txt"), path("err.txt"));
        // Stalled once it keeps waiting for room on the port: poll (system
        // call 7) on one descriptor for 200 ms (0xc8), as the writer does.
        const std::string syscall = "/proc/" + std::to_string(child) + "/syscall";
        int same = 0;
        for (int i = 0; i < 1000 && same < 5; ++i) {
            ::usleep(10000);
            std::istringstream call(orv::test::readFile(syscall));
            std::string number, fds, count, timeout;
            call >> number >> fds >> count >> timeout;
            same = number == "7" && timeout == "0xc8" ? same + 1 : 0;
        }
        ASSERT_EQ(same, 5) << "it never waited on the port";
        if (signal) ::kill(child, signal);
        EXPECT_EQ(orv::test::exitStatus(child, signal ? 1 : 20), signal ? 0 : 1) << signal;
        const std::string said = orv::test::readFile(path(signal ? "out.txt" : "err.txt"));
        EXPECT_NE(said.find(signal ? " % on time" : "has taken no data for 3."), std::string::npos)
            << said;
        EXPECT_EQ(said.find("100.0 % on time"), std::string::npos) << said;
        ::close(master);
    }
}

// The far end stays quiet, says something before the port opens, or
// announces a receiver of link version 2 and then acknowledges nothing or
// only packets never sent; how acknowledgements pace the packets is the
// pacer's own (core tests).
TEST_F(Link, SendHearsOnlyAReceiverThatAnswersSinceThePortOpened) {
    enum Far { Quiet, Before, Announces, WrongAcks };
    const struct {
        Far far;
        const char* option;
        int status;
        const char* says;  // in the summary or the message
    } cases[] = {
        {Quiet, "--key=31", 0, "did not announce itself within 0.3 s"},
        {Before, "--key=31", 0, "did not announce itself within 0.3 s"},
        {Announces, "--mode=raw", 1, "framed mode only"},
        {Announces, "--loop", 1, "the receiver has acknowledged nothing for 3.0 s"},
        {WrongAcks, "--loop", 1, "the receiver has acknowledged nothing for 3.0 s"},
    };
    for (const auto& c : cases) {
        PtyPair pty(dir_.path());
        ASSERT_TRUE(pty.ready());
        const int far = PtyPair::openEnd(pty.far());
        // Before: an announcement waits in the port's input when it opens.
        const int near = PtyPair::openEnd(pty.near());
        int queued = 0;
        if (c.far == Before) {
            ASSERT_EQ(::write(far, "ORV 2 1\n", 8), 8);
        }
        for (int i = 0; i < 5000 && c.far == Before && queued < 8; ++i) {
            ::usleep(1000);
            ::ioctl(near, FIONREAD, &queued);
        }
        const std::string out = path("out.txt"), err = path("err.txt");
        const pid_t child = orv::test::startOrv(
            {"send", orvFile_, "--port", pty.near(), "--fps", "46", c.option, "--wait", "0.3"}, out,
            err);
        orv::test::FrameReceiver device;
        int status = -2;
        for (int i = 0; i < 4000 && status == -2; ++i) {
            // Again and again, as the sender may not have the port open yet.
            if (c.far >= Announces && i % 20 == 0) {
                ASSERT_EQ(::write(far, "ORV 2 1\n", 8), 8);
            }
            const std::size_t before = device.packets.size();
            device.take(PtyPair::readAvailable(far));
            for (std::size_t k = before; c.far == WrongAcks && k < device.packets.size(); ++k) {
                const auto& p = device.packets[k];
                const char ack = static_cast<char>(orv::framing::ackByte(p.frame + 8, p.page));
                ASSERT_EQ(::write(far, &ack, 1), 1);
            }
            status = orv::test::ended(child);
            ::usleep(5000);
        }
        if (status == -2) status = orv::test::exitStatus(child, 0);  // not ended: killed
        ::close(near);
        ::close(far);
        const std::string said = orv::test::readFile(out) + orv::test::readFile(err);
        EXPECT_EQ(status, c.status) << said;
        EXPECT_NE(said.find(c.says), std::string::npos) << said;
    }
}

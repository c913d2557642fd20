// The reference receiver on a simulated ATmega328P with an SSD1306 (orv_sim),
// fed by `orv send --set-bit light`: its display RAM must hold each frame as
// `orv export --layout pages --set-bit light` has it.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "frame_receiver.h"
#include "lcd/frame_record.h"
#include "orv_link.h"
#include "orv_runner.h"
#include "serial/frame_sender.h"
#include "serial/serial_device.h"

using orv::FramePages;

namespace {

// What the board's display showed, from orv_sim's report.
struct BoardReport {
    // For each frame expected, when the display RAM first equalled it, in wall
    // clock microseconds from the board's start; -1 when it never did.
    std::vector<long long> shownAt;
    // The report's "key=value" counts (on, inverted, boot, overruns, acks,
    // first: the first byte's wall clock time...).
    std::map<std::string, double> counts;
    double count(const std::string& key) const { return counts.count(key) ? counts.at(key) : -1; }
    // Frames a second the display reached: the frames shown, from the first
    // byte that came to the last frame shown.
    double framesPerSecond() const {
        long shown = 0;
        long long last = -1;
        for (long long t : shownAt) shown += t >= 0, last = std::max(last, t);
        const double seconds = (last - count("first")) / 1e6;
        return seconds > 0 ? shown / seconds : 0;
    }
};

// The receiver's firmware on orv_sim, with its port at FOLDER/board and its
// display checked against the frames of `expect` (the display's bytes),
// started before the sender opens the port.
class SimBoard {
  public:
    SimBoard(const std::filesystem::path& folder, const std::string& expect, bool realtime,
             const std::string& fault = "")
        : port_((folder / "board").string()),
          report_((folder / "board.txt").string()),
          frames_(std::filesystem::file_size(expect) / 1024) {
        std::vector<std::string> words{ORV_SKETCH_ELF, "--pty",    port_, "--report",
                                       report_,        "--expect", expect};
        if (realtime) words.push_back("--realtime");
        if (!fault.empty()) words.insert(words.end(), {"--fault", fault});
        std::filesystem::remove(port_);
        pid_ = orv::test::start(ORV_SIM, words, (folder / "board.log").string());
        for (int i = 0; i < 500 && !ready(); ++i) ::usleep(10000);
    }
    ~SimBoard() {
        if (pid_ > 0) ::kill(pid_, SIGKILL), ::waitpid(pid_, nullptr, 0);
    }
    SimBoard(const SimBoard&) = delete;
    SimBoard& operator=(const SimBoard&) = delete;

    bool ready() const { return std::filesystem::exists(port_); }
    const std::string& port() const { return port_; }

    // The sender is done: the board takes what is still on its way, then reports.
    BoardReport finish() {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
        BoardReport r;
        r.shownAt.assign(frames_, -1);
        std::ifstream in(report_);
        for (std::string line; std::getline(in, line);) {
            std::istringstream words(line);
            std::string word;
            words >> word;
            if (word == "shown") {  // shown FRAME WALL_US
                std::size_t frame = 0;
                words >> frame;
                if (frame < frames_) words >> r.shownAt[frame];
            }
            while (words >> word) {
                if (const auto eq = word.find('='); eq != std::string::npos)
                    r.counts[word.substr(0, eq)] = std::stod(word.substr(eq + 1));
            }
        }
        return r;
    }

  private:
    std::string port_, report_;
    std::size_t frames_;
    pid_t pid_ = -1;
};

// Frame n: every page packed with sync pairs and fake headers on the wire,
// `A5 5A n 00 03` again and again (a page number 0..7 in each), so that
// every page changes from frame to frame. The file holds them inverted, as
// --set-bit light inverts them back.
FramePages syncPattern(int n) {
    FramePages f;
    const std::uint8_t header[] = {0xA5, 0x5A, 0, 0x00, 0x03};
    for (std::size_t i = 0; i < f.size(); ++i) {
        const std::uint8_t b = i % 5 == 2 ? static_cast<std::uint8_t>(n + i / 128) : header[i % 5];
        f[i] = static_cast<std::uint8_t>(~b);
    }
    return f;
}

class Board : public orv::test::ClipTest {
  protected:
    static void SetUpTestSuite() {
        // A real clip: ffmpeg's moving test picture, 46 frames at 46 a second.
        makeClip("-f lavfi -i testsrc2=s=256x128:r=46:d=1 -c:v mjpeg -q:v 3", "clip.avi");
    }

    // NAME.orv from `frames`, or from the clip when there are none, and the
    // display's view of it, NAME.bin; the number of frames.
    std::size_t prepare(const std::string& name, const std::vector<FramePages>& frames = {}) {
        if (frames.empty()) {
            EXPECT_EQ(convert("clip.avi", path(name + ".orv"), {"--fps", "46", "--quiet"}).status,
                      0);
        } else {
            std::string records;
            for (const FramePages& f : frames) records += orv::buildFrameRecord(f);
            orv::test::writeFile(path(name + ".orv"), records);
        }
        const orv::test::Outcome o = orv({"export", path(name + ".orv"), "-o", path(name + ".bin"),
                                          "--layout", "pages", "--set-bit", "light"});
        EXPECT_EQ(o.status, 0) << o.err;
        return frames.empty() ? orv::test::readFrames(path(name + ".orv")).size() : frames.size();
    }

    // `orv send NAME.orv ARGS` to the board; the board's report, and the
    // sender's in `sent`.
    BoardReport run(const std::string& name, const std::vector<std::string>& args, bool realtime,
                    const std::string& fault, orv::test::Outcome& sent) {
        SimBoard board(dir_, path(name + ".bin"), realtime, fault);
        EXPECT_TRUE(board.ready());
        std::vector<std::string> words{"send",       path(name + ".orv"), "--port",
                                       board.port(), "--set-bit",         "light"};
        words.insert(words.end(), args.begin(), args.end());
        sent = orv(words);
        EXPECT_EQ(sent.status, 0) << sent.err;
        EXPECT_EQ(sent.err, "");  // the board announced itself
        return board.finish();
    }

    // Every frame shown but those of [from, to), the panel on and not
    // inverted, nothing lost on the line or sent before the board was ready.
    static void expectShown(const BoardReport& r, const std::string& what, std::size_t from = 0,
                            std::size_t to = 0) {
        for (std::size_t k = 0; k < r.shownAt.size(); ++k) {
            if (k < from || k >= to) {
                EXPECT_GE(r.shownAt[k], 0) << what << ": frame " << k;
            }
        }
        EXPECT_EQ(r.count("on"), 1) << what;
        EXPECT_EQ(r.count("inverted"), 0) << what;
        EXPECT_EQ(r.count("overruns"), 0) << what;
        EXPECT_EQ(r.count("boot"), 0) << what << ": bytes sent into the boot loader";
    }

    // The device's rate in `orv send`'s summary.
    static double statedRate(const std::string& summary) {
        std::smatch m;
        if (!std::regex_search(summary, m,
                               std::regex("the device showed \\d+, ([0-9.]+) frames/s")))
            return 0;
        return std::stod(m[1]);
    }
};

}  // namespace

// The board held to the wall clock: a clip that changes every page of every
// frame (so that any key interval sends the same), and 46 frames a second that
// change one page each, which the board keeps up with.
TEST_F(Board, ShowsARealClipAtItsOwnPaceAndSendStatesThatPace) {
    const std::size_t frames = prepare("clip");
    std::vector<FramePages> moving;
    for (int n = 0; n < 92; ++n) moving.push_back(orv::test::onePageMoves(n));
    prepare("moving", moving);
    // The name, its frames, and the least rate the display must reach.
    for (const auto& [name, count, lowest] :
         {std::tuple("clip", frames, 9.0), {"moving", 92, 44}}) {
        orv::test::Outcome sent;
        const BoardReport r = run(name, {"--fps", "46"}, true, "", sent);
        expectShown(r, name);
        const double shown = r.framesPerSecond(), stated = statedRate(sent.out);
        EXPECT_GE(shown, lowest) << name;
        EXPECT_NEAR(stated, shown, 0.05 * shown) << name << ": " << sent.out;
        EXPECT_NE(sent.out.find(std::to_string(count) + " frames ("), std::string::npos)
            << sent.out;
    }
}

// The wire's frame number runs from 65530 over 65535 back to 0: the sending
// loop of `orv send` on its own, started at frame 65530. The last four frames
// repeat the one before: they send nothing, and count as shown at once.
TEST_F(Board, ShowsFramesAcrossTheWrapOfTheFrameNumber) {
    std::vector<FramePages> frames;
    for (int n = 0; n < 16; ++n) frames.push_back(syncPattern(std::min(n, 11)));
    prepare("wrap", frames);
    SimBoard board(dir_, path("wrap.bin"), false);
    ASSERT_TRUE(board.ready());
    orv::serial::SerialDevice device;
    ASSERT_TRUE(device.open(board.port(), "115200,n,8,1").ok());
    orv::serial::FrameSender sender(device, true, 31);
    orv::Result<bool> heard = sender.awaitReceiver(std::chrono::seconds(3));
    ASSERT_TRUE(heard.ok() && heard.value());
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t k = 0; k < frames.size(); ++k) {
        const auto due = start + std::chrono::milliseconds(22 * k);
        orv::Result<bool> sent =
            sender.send(65530 + k, orv::serial::applySetBit(frames[k], true), due);
        ASSERT_TRUE(sent.ok() && sent.value()) << k;
    }
    ASSERT_TRUE(sender.finish().ok());
    EXPECT_EQ(sender.pacer().framesShown(), frames.size());
    expectShown(board.finish(), "wrap");
}

// Frames of sync pairs with a key frame every 8th; frame 10 (all 8 pages,
// as each frame changes them all) is damaged in its page 3: frames 10 to 15
// may be wrong, frame 16 on must be exact.
TEST_F(Board, IsExactAgainByTheNextKeyFrameAfterAFault) {
    std::vector<FramePages> frames;
    for (int n = 0; n < 30; ++n) frames.push_back(syncPattern(n));
    prepare("faults", frames);
    const std::size_t packet = 8 * 10 + 3, at = orv::framing::kPacketBytes * packet;
    const struct {
        const char* fault;
        std::size_t offset;
    } cases[] = {
        {"flip", 60}, {"drop", 70}, {"insert", 40}, {"page", 0}, {"drop", 0},  // the sync byte
    };
    for (const auto& c : cases) {
        const std::string fault = std::string(c.fault) + "@" + std::to_string(at + c.offset);
        orv::test::Outcome sent;
        const BoardReport r = run("faults", {"--fps", "46", "--key", "8"}, false, fault, sent);
        expectShown(r, fault, 10, 16);
        EXPECT_EQ(r.count("acks"), 8 * 30 - 1) << fault;
        EXPECT_NE(sent.out.find("1 with a page lost; packets lost: 1"), std::string::npos)
            << fault << ": " << sent.out;
    }
}

// `orv export` and `orv send` from outside: headers that compile, bytes that
// match the pixels, and frames rebuilt by the device's own decoder at the far
// end of a real pseudo-terminal pair.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

#include "frame_receiver.h"
#include "lcd/frame_record.h"
#include "lcd/orv_reader.h"
#include "orv_runner.h"
#include "pty_pair.h"

namespace fs = std::filesystem;
using orv::FramePages;
using orv::test::Outcome;

namespace {

// Frame n: a fixed picture but for page n % 8, and frames 5 and 6 alike.
FramePages frameOf(int n) {
    FramePages f{};
    for (int i = 0; i < 1024; ++i) f[i] = std::uint8_t(i * 7 + 3);
    const int shown = n == 6 ? 5 : n;
    for (int c = 0; c < 128; ++c) f[128 * (shown % 8) + c] = std::uint8_t(shown * 13 + c);
    return f;
}

class Link : public ::testing::Test {
  protected:
    orv::test::TempDir dir_{"orv-link"};
    std::vector<FramePages> frames_;
    std::string orvFile_;

    void SetUp() override {
        std::string records;
        for (int n = 0; n < 20; ++n) {
            frames_.push_back(frameOf(n));
            orv::LcdPageBufferArray pages{};
            std::copy(frames_.back().begin(), frames_.back().end(), pages.begin() + 1);
            records += orv::buildFrameRecord(pages);
        }
        orvFile_ = dir_.file("clip.orv");
        orv::test::writeFile(orvFile_, records);
    }
    std::string path(const std::string& name) const { return dir_.file(name); }
    Outcome orv(const std::vector<std::string>& args) const {
        return orv::test::runOrv(args, dir_.path());
    }

    // Runs `orv send` to `near` while reading `far` until it ends; the bytes.
    std::string sendAndRead(const orv::test::PtyPair& pty, std::vector<std::string> args,
                            int& status) const {
        const int far = orv::test::PtyPair::openEnd(pty.far());
        EXPECT_GE(far, 0);
        args.insert(args.begin(), {"send", orvFile_, "--port", pty.near(), "--quiet"});
        const pid_t child = orv::test::startOrv(args);
        std::string got;
        status = -2;
        for (int i = 0; i < 3000 && status == -2; ++i) {
            char buf[4096];
            for (ssize_t n; (n = ::read(far, buf, sizeof buf)) > 0;) got.append(buf, n);
            int raw = 0;
            if (::waitpid(child, &raw, WNOHANG) == child)
                status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
            ::usleep(10000);
        }
        ::usleep(50000);
        char buf[4096];
        for (ssize_t n; (n = ::read(far, buf, sizeof buf)) > 0;) got.append(buf, n);
        ::close(far);
        return got;
    }
};

// Pages the framed mode sends for frame n: all 8 for a key frame, else the
// ones that differ from frame n - 1.
int pagesSent(int n, int key) {
    if (n % key == 0) return 8;
    int changed = 0;
    const FramePages now = frameOf(n), before = frameOf(n - 1);
    for (int p = 0; p < 8; ++p) {
        changed += !std::equal(now.begin() + 128 * p, now.begin() + 128 * (p + 1),
                               before.begin() + 128 * p);
    }
    return changed;
}

// The bytes of a frame in a row layout, worked out pixel by pixel.
std::string rowsOf(const FramePages& f, bool msb, bool light) {
    std::string out(1024, '\0');
    for (int r = 0; r < 64; ++r) {
        for (int c = 0; c < 128; ++c) {
            if (orv::frameDark(f, c, r) == light) continue;  // a set bit is what --set-bit says
            const int bit = msb ? 7 - c % 8 : c % 8;
            out[static_cast<std::size_t>(r * 16 + c / 8)] |= static_cast<char>(1 << bit);
        }
    }
    return out;
}

}  // namespace

TEST_F(Link, ExportWritesThePixelsInEachLayoutAndTheHeaderCompiles) {
    const struct {
        const char* layout;
        const char* setBit;
    } cases[] = {
        {"pages", "dark"}, {"pages", "light"}, {"rows-msb", "dark"}, {"rows-lsb", "light"}};
    for (const auto& c : cases) {
        const std::string bin = path(std::string("out-") + c.layout + "-" + c.setBit + ".bin");
        const Outcome o = orv({"export", orvFile_, "-o", bin, "--layout", c.layout, "--set-bit",
                               c.setBit, "--frames", "3:4"});
        ASSERT_EQ(o.status, 0) << o.err;
        std::string want;
        for (int n = 3; n < 7; ++n) {
            if (std::string(c.layout) == "pages") {
                std::string bytes(frames_[n].begin(), frames_[n].end());
                if (std::string(c.setBit) == "light") {
                    for (char& b : bytes) b = static_cast<char>(~b);
                }
                want += bytes;
            } else {
                want += rowsOf(frames_[n], std::string(c.layout) == "rows-msb",
                               std::string(c.setBit) == "light");
            }
        }
        EXPECT_TRUE(orv::test::readFile(bin) == want) << c.layout << " " << c.setBit;
    }
    // The header holds the same bytes, and compiles without a warning as C99.
    ASSERT_EQ(
        orv({"export", orvFile_, "-o", path("clip.h"), "--frames", "3:4", "--layout", "rows-msb"})
            .status,
        0);
    orv::test::writeFile(
        path("dump.c"),
        "#include <stdio.h>\n#include \"clip.h\"\n"
        "int main(void) {\n"
        "  fwrite(clip, 1, sizeof clip, stdout);\n"
        "  return CLIP_FRAME_COUNT == 4 && CLIP_WIDTH == 128 && CLIP_HEIGHT == 64 &&\n"
        "         CLIP_FRAME_BYTES == 1024 ? 0 : 1;\n}\n");
    const std::string q = orv::test::shellQuote(dir_.path().string());
    ASSERT_EQ(std::system(("cd " + q +
                           " && gcc -std=c99 -Wall -Wextra -Werror dump.c -o dump && "
                           "./dump > dumped.bin")
                              .c_str()),
              0);
    EXPECT_TRUE(orv::test::readFile(path("dumped.bin")) ==
                orv::test::readFile(path("out-rows-msb-dark.bin")));
    if (std::system("command -v avr-gcc >/dev/null") == 0) {
        EXPECT_EQ(std::system(("cd " + q +
                               " && avr-gcc -mmcu=atmega328p -std=c99 -Wall -Wextra -Werror "
                               "-Os -c -x c clip.h -o clip.o")
                                  .c_str()),
                  0);
    }
}

TEST_F(Link, ExportRefusesWhatItCannotDo) {
    orv::test::writeFile(path("cut.orv"), orv::test::readFile(orvFile_) + "12\r\n");
    orv::test::writeFile(path("exists.h"), "keep");
    const struct {
        std::vector<std::string> args;
        int status;
        const char* says;
    } cases[] = {
        {{path("cut.orv"), "-o", path("a.h")}, 1, "partial record"},
        {{orvFile_, "-o", path("a.txt")}, 2, "--format"},
        {{orvFile_, "-o", path("a.h"), "--layout", "columns"}, 2, "columns"},
        {{orvFile_, "-o", path("a.h"), "--frames", "20:1"}, 2, "beyond the 20 frames"},
        {{orvFile_, "-o", path("a.h"), "--frames", "3"}, 2, "FIRST:COUNT"},
        {{orvFile_, "-o", path("a.h"), "--name", "2bad"}, 2, "2bad"},
        {{orvFile_, "-o", path("exists.h")}, 2, "--force"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"export"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Outcome o = orv(args);
        EXPECT_EQ(o.status, c.status) << c.says << ": " << o.err;
        EXPECT_NE(o.err.find(c.says), std::string::npos) << o.err;
    }
    EXPECT_FALSE(fs::exists(path("a.h")));
    EXPECT_EQ(orv::test::readFile(path("exists.h")), "keep");
    EXPECT_EQ(orv({"export", orvFile_, "-o", path("exists.h"), "--force"}).status, 0);
    for (const auto& e : fs::directory_iterator(dir_.path())) {
        EXPECT_EQ(e.path().string().find(".part-"), std::string::npos) << e.path();
    }
}

TEST_F(Link, SendRebuildsEveryFrameSendingOnlyChangedPages) {
    orv::test::PtyPair pty(dir_.path());
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
        device.take(wire.data() + at, 135);
        ASSERT_EQ(device.packets.size(), at / 135 + 1);  // every packet good
        const std::uint16_t number = device.packets.back().first;
        ASSERT_LT(number, 20);
        ++pages[number];
        const bool lastOfFrame =
            at + 135 == wire.size() || std::uint8_t(wire[at + 135 + 2]) != number;
        if (lastOfFrame) {
            EXPECT_TRUE(device.picture == frames_[number]) << "frame " << number;
        }
    }
    for (int n = 0; n < 20; ++n) EXPECT_EQ(pages[n], pagesSent(n, 8)) << "frame " << n;
    EXPECT_EQ(pages[6], 0);  // the same as frame 5: nothing goes out
}

TEST_F(Link, SendRawSendsEveryFrameWhole) {
    orv::test::PtyPair pty(dir_.path());
    ASSERT_TRUE(pty.ready());
    int status = 0;
    const std::string wire =
        sendAndRead(pty, {"--fps", "46", "--mode", "raw", "--set-bit", "light"}, status);
    ASSERT_EQ(status, 0);
    std::string want;
    for (const FramePages& f : frames_) {
        for (std::uint8_t b : f) want.push_back(static_cast<char>(~b));
    }
    EXPECT_TRUE(wire == want);
}

// Bytes dropped and flipped on the way: the device is right again by the next
// key frame.
TEST_F(Link, TheDeviceRecoversByTheNextKeyFrame) {
    orv::test::PtyPair from(dir_.path(), "a"), to(dir_.path(), "b");
    ASSERT_TRUE(from.ready() && to.ready());
    const int in = orv::test::PtyPair::openEnd(from.far());
    const int out = orv::test::PtyPair::openEnd(to.near());
    const int device = orv::test::PtyPair::openEnd(to.far());
    ASSERT_TRUE(in >= 0 && out >= 0 && device >= 0);
    const pid_t send = orv::test::startOrv(
        {"send", orvFile_, "--port", from.near(), "--fps", "46", "--key", "8", "--quiet"});
    orv::test::FrameReceiver receiver;
    std::size_t relayed = 0;
    int status = -2;
    std::string seen;
    for (int i = 0; i < 3000 && status == -2; ++i) {
        char buf[4096];
        for (ssize_t n; (n = ::read(in, buf, sizeof buf)) > 0;) {
            std::string bytes;
            for (ssize_t k = 0; k < n; ++k, ++relayed) {
                if (relayed == 300 || (relayed >= 2000 && relayed < 2040)) continue;  // dropped
                char b = buf[k];
                if (relayed == 1500 || relayed == 3100) b = static_cast<char>(b ^ 0x10);  // flipped
                bytes.push_back(b);
            }
            ASSERT_EQ(::write(out, bytes.data(), bytes.size()), ssize_t(bytes.size()));
        }
        for (ssize_t n; (n = ::read(device, buf, sizeof buf)) > 0;) receiver.take(buf, n);
        int raw = 0;
        if (::waitpid(send, &raw, WNOHANG) == send) status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        ::usleep(5000);
    }
    for (int i = 0; i < 20; ++i) {
        char buf[4096];
        for (ssize_t n; (n = ::read(device, buf, sizeof buf)) > 0;) receiver.take(buf, n);
        ::usleep(5000);
    }
    ASSERT_EQ(status, 0);
    // Some packets were lost, yet from key frame 8 on (after the last fault)
    // the device holds what was sent: at the end, the last frame.
    int sent = 0;
    for (int n = 0; n < 20; ++n) sent += pagesSent(n, 8);
    EXPECT_LT(receiver.packets.size(), std::size_t(sent));
    EXPECT_TRUE(receiver.picture == frames_.back());
    ::close(in);
    ::close(out);
    ::close(device);
}

TEST_F(Link, APortThatGoesAwayEndsTheRunWithASay) {
    orv::test::PtyPair pty(dir_.path());
    ASSERT_TRUE(pty.ready());
    const int far = orv::test::PtyPair::openEnd(pty.far());
    const std::string err = path("err.txt");
    const pid_t child = ::fork();
    if (child == 0) {
        ::freopen(err.c_str(), "w", stderr);
        ::execl(ORV_CLI, ORV_CLI, "send", orvFile_.c_str(), "--port", pty.near().c_str(), "--loop",
                "--fps", "46", "--quiet", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    std::size_t got = 0;
    for (int i = 0; i < 2000 && got < 5000; ++i) {
        char buf[4096];
        for (ssize_t n; (n = ::read(far, buf, sizeof buf)) > 0;) got += static_cast<std::size_t>(n);
        ::usleep(2000);
    }
    ASSERT_GE(got, 5000u);
    pty.stop();
    EXPECT_EQ(orv::test::exitStatus(child, 20), 1);
    const std::string said = orv::test::readFile(err);
    EXPECT_NE(said.find(pty.near()), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    ::close(far);
}

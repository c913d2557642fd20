// The frame file: its records, and appends that leave only whole records
// whatever stops them (a full disk, a size limit, a kill). Two writers taking
// turns are tested from outside, with two `orv convert --append` at once.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <random>
#include <vector>

#include "common/platform/posix_file.h"
#include "files.h"
#include "lcd/frame_file.h"
#include "lcd/frame_record.h"
#include "lcd/orv_reader.h"

namespace fs = std::filesystem;
using namespace orv;

namespace {

LcdPageBufferArray filled(std::uint8_t v) {
    LcdPageBufferArray b{};
    b.fill(v);
    return b;
}

// Frame number n of a recording: every byte tells n, so a record that is out
// of place or mixed with another shows.
std::string numbered(std::uint64_t n) {
    LcdPageBufferArray b{};
    for (std::size_t i = 0; i < b.size(); ++i) b[i] = std::uint8_t((n * 7 + i + 1) % 256);
    return buildFrameRecord(b);
}

// The numbers of the whole records at the start of the file, and whether the
// whole file read cleanly.
struct Contents {
    std::vector<std::uint64_t> numbers;
    bool clean = false;
};
Contents contents(const std::string& path) {
    Contents c;
    if (!fs::exists(path)) return {{}, true};  // nothing yet: no record at all
    auto r = readFrameFile(path, [&](const Frame& f) {
        c.numbers.push_back((static_cast<std::uint64_t>(f[0]) + 256 - 1) % 256 * 183 % 256);
    });
    c.clean = r.ok();
    return c;
}

class FrameFile : public ::testing::Test {
  protected:
    test::TempDir temp_;
    std::string path(const std::string& name) const { return temp_.file(name); }
};

// Runs `body` in a child process; its exit status (-1 when it did not exit).
template <class Body>
int inChild(Body body) {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(body());
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST_F(FrameFile, AppendsWholeRecordsAndTakesThemBack) {
    const std::string file = path("mov1.orv");
    auto first = appendFrameRecord(file, buildFrameRecord(filled(0)));
    ASSERT_TRUE(first.ok()) << first.error();
    EXPECT_TRUE(first.value().created);
    EXPECT_EQ(test::readFile(file), buildFrameRecord(filled(0)));
    ASSERT_TRUE(undoAppend(file, first.value()).ok());  // it made the file: it goes again
    EXPECT_FALSE(fs::exists(file));
}

TEST_F(FrameFile, RefusesWhatIsNotARegularFile) {
    fs::create_symlink(path("nowhere/x.orv"), path("dangling.orv"));
    fs::create_directory(path("folder.orv"));
    const struct {
        std::string path;
        const char* says;
    } cases[] = {
        {path("dangling.orv"), "symbolic link to nothing"},
        {path("folder.orv"), "folder"},
        {"/dev/null", "device"},
    };
    for (const auto& c : cases) {
        auto appended = appendFrameRecord(c.path, buildFrameRecord(filled(1)));
        ASSERT_FALSE(appended.ok()) << c.path;
        EXPECT_NE(appended.error().find("\"" + c.path + "\""), std::string::npos);
        EXPECT_NE(appended.error().find(c.says), std::string::npos) << appended.error();
    }
    EXPECT_FALSE(fs::exists(path("nowhere")));
}

TEST_F(FrameFile, APartialRecordAtTheEndIsCutBackAndNothingElseTouched) {
    constexpr std::uint64_t kRefused = std::uint64_t(-1);
    const std::string whole = numbered(0);
    const struct {
        std::string before;
        std::uint64_t append, repair;  // the bytes each cuts back, or kRefused
    } cases[] = {
        {whole + "12\r\n3", 5, 5},
        {whole + whole.substr(0, whole.size() - 3), whole.size() - 3, whole.size() - 3},  // no "F"
        {whole + whole.substr(0, whole.size() - 1), whole.size() - 1, whole.size() - 1},  // "F\r"
        {"7\r\n", kRefused, kRefused},  // nothing whole yet: no frame file to put right
        {whole, 0, 0},
        {"", 0, 0},
        {whole + "hello", kRefused, kRefused},
        {whole + "1\n2\n", kRefused, kRefused},
        {whole + "x\r\n" + whole + "1\r\n", kRefused, kRefused},
        {"notes\r\nF\r\n", kRefused, kRefused},  // ends as a record does, but is none
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string appended = path(std::to_string(n) + ".a"),
                          repaired = path(std::to_string(n++) + ".r");
        test::writeFile(appended, c.before);
        test::writeFile(repaired, c.before);
        auto a = appendFrameRecord(appended, numbered(1));
        auto r = repairFrameFile(repaired);
        EXPECT_EQ(a ? a.value().cutBack : kRefused, c.append) << n;
        EXPECT_EQ(r ? r.value() : kRefused, c.repair) << n;
        auto cut = [&](std::uint64_t k) {
            return k == kRefused ? c.before : c.before.substr(0, c.before.size() - k);
        };
        EXPECT_EQ(test::readFile(appended), cut(c.append) + (a ? numbered(1) : "")) << n;
        EXPECT_EQ(test::readFile(repaired), cut(c.repair)) << n;
        EXPECT_TRUE(fs::exists(repaired));
    }
}

// A file of another size than 128 x 64 begins with its header line, written
// with its first record and kept by every later append and by a repair; a
// record of another size is never added to it, nor one of its size to a
// 128 x 64 file.
TEST_F(FrameFile, FramesOfAnotherSizeKeepTheirHeader) {
    const FrameSize small{72, 40};
    Frame frame(small);
    for (std::size_t i = 0; i < frame.byteCount(); ++i) frame[i] = std::uint8_t(i * 5);
    const std::string record = buildFrameRecord(frame.bytes()), file = path("small.orv");
    EXPECT_EQ(frameFileHeader(small), "ORV 72x40\r\n");
    ASSERT_TRUE(appendFrameRecord(file, record, small).ok());
    ASSERT_TRUE(appendFrameRecord(file, record, small).ok());
    const std::string whole = "ORV 72x40\r\n" + record + record;
    EXPECT_EQ(test::readFile(file), whole);
    std::vector<Frame> read;
    ASSERT_TRUE(readFrameFile(file, [&](const Frame& f) { read.push_back(f); }));
    EXPECT_EQ(read, std::vector<Frame>(2, frame));

    const std::string lcd = path("lcd.orv");
    test::writeFile(lcd, numbered(0));
    EXPECT_FALSE(appendFrameRecord(file, numbered(1)).ok());
    EXPECT_FALSE(appendFrameRecord(lcd, record, small).ok());
    EXPECT_EQ(test::readFile(file), whole);
    EXPECT_EQ(test::readFile(lcd), numbered(0));

    test::writeFile(file, whole + "12\r\n3");
    auto repaired = repairFrameFile(file);
    ASSERT_TRUE(repaired.ok()) << repaired.error();
    EXPECT_EQ(repaired.value(), 5u);
    EXPECT_EQ(test::readFile(file), whole);
}

// A file that cannot be written (here by a user other than its owner) is
// repaired when there is something to cut, which it cannot: only then.
TEST_F(FrameFile, RepairWritesOnlyToCut) {
    const std::string whole = path("whole.orv"), cut = path("cut.orv");
    test::writeFile(whole, numbered(0));
    test::writeFile(cut, numbered(0) + "1\r\n");
    fs::permissions(whole, fs::perms::owner_read | fs::perms::others_read);
    fs::permissions(cut, fs::perms::owner_read | fs::perms::others_read);
    const int repaired = inChild([&] {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return 9;
        return (repairFrameFile(whole).ok() ? 1 : 0) + (repairFrameFile(cut).ok() ? 2 : 0);
    });
    EXPECT_EQ(repaired, 1);
    EXPECT_EQ(test::readFile(cut), numbered(0) + "1\r\n");
}

TEST_F(FrameFile, FailedWritesAreCutBackAndNeverRemoveAFileThatWasThere) {
    // A file-size limit stops the write part way, as a full disk would.
    const std::string old = path("old.orv"), empty = path("empty.orv"), fresh = path("new.orv");
    ASSERT_TRUE(appendFrameRecord(old, buildFrameRecord(filled(0))).ok());
    test::writeFile(empty, "");
    const int refused = inChild([&] {
        ignoreFileSizeSignal();
        rlimit limit{4000, 4000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const std::string record = buildFrameRecord(filled(200));
        int n = 0;
        for (const std::string& file : {old, empty, fresh})
            n += !appendFrameRecord(file, record).ok();
        return n;
    });
    EXPECT_EQ(refused, 3) << "a short write was reported as success";
    EXPECT_EQ(test::readFile(old), buildFrameRecord(filled(0)));
    EXPECT_TRUE(fs::exists(empty));
    EXPECT_EQ(fs::file_size(empty), 0u);
    EXPECT_FALSE(fs::exists(fresh));
}

// A recorder killed at random moments, again and again.
TEST_F(FrameFile, KilledRecordersLoseNoWholeRecord) {
    const std::string file = path("killed.orv");
    std::mt19937 random(20261207);
    std::uint64_t whole = 0;  // whole records so far, numbered 0 .. whole - 1
    for (int round = 0; round < 200; ++round) {
        int acks[2];
        ASSERT_EQ(::pipe(acks), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            // A few records as fast as it can, then it waits to be killed.
            ::close(acks[0]);
            FrameAppender appender;
            for (std::uint64_t n = whole; n < whole + 4; ++n) {
                if (!appender.append(file, numbered(n)).ok()) ::_exit(1);
                const char ack = 1;
                if (::write(acks[1], &ack, 1) != 1) ::_exit(1);
            }
            ::pause();
            ::_exit(0);
        }
        ::close(acks[1]);
        ::usleep(std::uniform_int_distribution<int>(0, 600)(random));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        std::uint64_t acked = 0;
        char buf[256];
        for (ssize_t got; (got = ::read(acks[0], buf, sizeof buf)) > 0;) acked += got;
        ::close(acks[0]);
        // Every other round a repair, otherwise the next append, puts the end right.
        Contents before = contents(file);
        if (round % 2 == 0) {
            // (A recorder killed before its first append leaves no file to repair.)
            if (fs::exists(file)) {
                ASSERT_TRUE(repairFrameFile(file).ok()) << round;
            }
        } else {
            ASSERT_TRUE(appendFrameRecord(file, numbered(before.numbers.size())).ok()) << round;
        }
        const Contents after = contents(file);
        ASSERT_TRUE(after.clean) << "round " << round;
        ASSERT_GE(after.numbers.size(), whole + acked) << "round " << round;
        for (std::size_t j = 0; j < after.numbers.size(); ++j) {
            ASSERT_EQ(after.numbers[j], j % 256) << "round " << round << ", record " << j;
        }
        whole = after.numbers.size();
    }
}

#include "lcd/frame_record.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <sstream>

#include "files.h"

namespace fs = std::filesystem;
using namespace orv;

namespace {

LcdPageBufferArray filled(std::uint8_t v) {
    LcdPageBufferArray b{};
    for (int i = 1; i <= 1024; ++i) b[i] = v;
    return b;
}

class FrameFile : public ::testing::Test {
  protected:
    test::TempDir temp_;
    const fs::path& dir_ = temp_.path();
};

}  // namespace

TEST(FrameRecord, LinesAreDecimalBytesThenF) {
    const struct {
        std::uint8_t value;
        std::size_t bytes;
        const char* line;
    } cases[] = {{0, 3075, "0"}, {255, 5123, "255"}, {7, 3075, "7"}, {42, 4099, "42"}};
    for (const auto& c : cases) {
        const std::string record = buildFrameRecord(filled(c.value));
        EXPECT_EQ(record.size(), c.bytes);
        std::string expected;
        for (int i = 0; i < 1024; ++i) expected += std::string(c.line) + "\r\n";
        expected += "F\r\n";
        EXPECT_EQ(record, expected);
    }
    LcdPageBufferArray mixed{};
    for (int i = 0; i < 1026; ++i) mixed[i] = std::uint8_t(i * 37);
    std::ostringstream want;
    for (int i = 1; i <= 1024; ++i) want << unsigned(mixed[i]) << "\r\n";
    want << "F\r\n";
    EXPECT_EQ(buildFrameRecord(mixed), want.str());
}

TEST_F(FrameFile, AppendsWholeRecords) {
    const std::string path = (dir_ / "mov1.orv").string();
    ASSERT_TRUE(appendFrameRecord(path, buildFrameRecord(filled(0))).ok());
    auto second = appendFrameRecord(path, buildFrameRecord(filled(255)));
    ASSERT_TRUE(second.ok());
    EXPECT_EQ(second.value(), 3075u);  // the length before the append
    const std::string text = test::readFile(path);
    EXPECT_EQ(text.size(), 3075u + 5123u);
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2) {
        lines.push_back(text.substr(start, at - start));
    }
    EXPECT_EQ(start, text.size());
    ASSERT_EQ(lines.size(), 2050u);
    EXPECT_EQ(lines[1024], "F");
    EXPECT_EQ(lines[2049], "F");
    EXPECT_EQ(lines[1025], "255");

    ASSERT_TRUE(undoAppend(path, second.value()).ok());
    EXPECT_EQ(fs::file_size(path), 3075u);
}

TEST_F(FrameFile, FailuresNameThePathAndLeaveNoPartialRecord) {
    const std::string record = buildFrameRecord(filled(1));
    const struct {
        std::string path;
        const char* reason;
    } cases[] = {
        {(dir_ / "missing" / "mov1.orv").string(), "No such file or directory"},
        {dir_.string(), "Is a directory"},
        {"/dev/full", "No space left on device"},
    };
    for (const auto& c : cases) {
        auto r = appendFrameRecord(c.path, record);
        ASSERT_FALSE(r.ok()) << c.path;
        EXPECT_NE(r.error().find("\"" + c.path + "\""), std::string::npos) << r.error();
        EXPECT_NE(r.error().find(c.reason), std::string::npos) << r.error();
    }
    EXPECT_FALSE(fs::exists(dir_ / "missing"));
}

TEST_F(FrameFile, ShortWriteIsCutBack) {
    // A file-size limit makes the write stop part way, as a full disk would.
    const std::string existing = (dir_ / "old.orv").string();
    const std::string fresh = (dir_ / "new.orv").string();
    ASSERT_TRUE(appendFrameRecord(existing, buildFrameRecord(filled(0))).ok());
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{4000, 4000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const std::string record = buildFrameRecord(filled(200));
        const bool refusedOld = !appendFrameRecord(existing, record).ok();
        const bool refusedNew = !appendFrameRecord(fresh, record).ok();
        ::_exit(refusedOld && refusedNew ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "a short write was reported as success";
    EXPECT_EQ(test::readFile(existing), buildFrameRecord(filled(0)));
    EXPECT_FALSE(fs::exists(fresh));
}

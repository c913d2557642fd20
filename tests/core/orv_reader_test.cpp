#include "lcd/orv_reader.h"

#include <gtest/gtest.h>

#include <vector>

#include "files.h"
#include "lcd/frame_record.h"

using namespace orv;

TEST(OrvReader, RefusesEveryDeparture) {
    std::string record;
    for (int i = 0; i < 1024; ++i) record += "1\r\n";
    const struct {
        std::string text;
        const char* says;
    } cases[] = {
        {"01\r\n", "line 1: \"01\" has a leading zero"},
        {"300\r\n", "line 1: \"300\" is above 255"},
        {"1\n2\r\n", "line 1: a line break that is not CR LF"},
        {"F\r\n", "line 1: \"F\" after only 0 values"},
        {record + "2\r\n", "line 1025: expected \"F\""},
        {record, "line 1025: the file ends inside a record"},
        // A header names a size of its own, on the first line alone.
        {"ORV 72x41\r\n", "line 1: \"ORV 72x41\" is no header line"},
        {"ORV 128x64\r\n", "line 1: \"ORV 128x64\": a file of 128 x 64 frames has no header"},
        {"ORV 8x8\r\n" + record.substr(0, 24) + "F\r\nORV 8x8\r\n", "line 11: \"ORV 8x8\""},
        {"ORV 8x8\r\n" + record.substr(0, 27), "line 10: expected \"F\""},
    };
    for (const auto& c : cases) {
        auto r = readFrameRecords(c.text, nullptr);
        ASSERT_FALSE(r.ok()) << c.says;
        EXPECT_NE(r.error().find(c.says), std::string::npos) << r.error();
    }
}

// Found by the orv_reader fuzz target (a whole record, as corpus/orv_reader/
// one-record): isPartialRecord's parser kept a reference to a temporary empty
// callback and looked at it, gone, at the end of every whole record; the
// debug build's AddressSanitizer reports it as a use after scope.
TEST(OrvReader, PartialRecordCheckLooksAtWholeRecordsSafely) {
    LcdPageBufferArray pages{};
    for (std::size_t i = 0; i < pages.size(); ++i) pages[i] = std::uint8_t(i + 1);
    const std::string record = buildFrameRecord(pages);
    EXPECT_FALSE(isPartialRecord(record));
    EXPECT_FALSE(isPartialRecord(record + "1\r\n2"));
    EXPECT_TRUE(isPartialRecord(record.substr(0, record.size() - 1)));
    EXPECT_TRUE(isPartialRecord(record.substr(0, 100)));
}

// About 1.2 MiB, so that lines and records straddle the reader's chunks.
TEST(OrvReader, ReadsWhatTheWriterWritesWhateverItsSize) {
    std::string file;
    std::vector<Frame> written;
    for (int n = 0; n < 300; ++n) {
        FramePages pages{};
        for (std::size_t i = 0; i < pages.size(); ++i)
            pages[i] = std::uint8_t(((i + 1) * 31 + std::size_t(n) * 7) % 256);
        written.push_back(pages);
        file += buildFrameRecord(pages);
    }
    const test::TempDir dir;
    const std::string path = dir.file("large.orv");
    test::writeFile(path, file);
    std::vector<Frame> read;
    auto r = readFrameFile(path, [&](const Frame& f) { read.push_back(f); });
    ASSERT_TRUE(r.ok()) << r.error();
    EXPECT_EQ(r.value(), 300u);
    EXPECT_TRUE(read == written);
    // A fault far into the file is still found on its line.
    test::writeFile(path, file + "1\r\n2");
    auto bad = readFrameFile(path, nullptr);
    ASSERT_FALSE(bad.ok());
    EXPECT_NE(bad.error().find("line 307502: the file ends inside a line"), std::string::npos)
        << bad.error();
    // A frame stream is named as one.
    test::writeFile(path, std::string("ORVC\x01\x00\x1f\x00", 8));
    EXPECT_NE(readFrameFile(path, nullptr).error().find("is a pmh frame stream, not a frame file"),
              std::string::npos);
    // Pixel (c, r): page r / 8, bit r % 8.
    FramePages f{};
    f[128 * 2 + 5] = 1 << 3;
    EXPECT_TRUE(frameDark(f, 5, 19));
    EXPECT_FALSE(frameDark(f, 5, 18));
}

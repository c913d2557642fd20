// `orv export --codec` and frame streams as input, from the outside.

#include <algorithm>

#include "lcd/frame_record.h"
#include "orv_runner.h"

namespace {

using orv::test::Outcome;
using orv::test::readFile;

class OrvCodec : public orv::test::OrvTest {
  protected:
    OrvCodec() : OrvTest("orv-codec") {}

    // A frame file of `count` frames: a bar moving a column a frame over a
    // background that changes now and then.
    std::string clip(const std::string& name, int count) const {
        std::string text;
        for (int i = 0; i < count; ++i) {
            orv::LcdPageBufferArray b{};
            for (int at = 0; at < 1024; ++at) {
                const int column = at % 128;
                b[std::size_t(at)] = static_cast<std::uint8_t>(
                    column / 8 == i % 16 ? 0xFF : ((at + 1) * (i / 10)) % 7);
            }
            text += orv::buildFrameRecord(b);
        }
        orv::test::writeFile(path(name), text);
        return path(name);
    }
};

// The stream (OUT.pmh makes one) decodes, through orv export, to exactly the
// raw export of its frame file with the same polarity; orv info reads it. A
// stream from an orv before the wrap frame reads too, and comes back the same
// through a stream of this one.
TEST_F(OrvCodec, AStreamGivesBackTheFramesItWasMadeFrom) {
    const std::string old = ORV_SOURCE_DIR "/tests/fuzz/corpus/codec_stream/shapes";
    ASSERT_EQ(orv({"export", old, "-o", path("old.bin")}).status, 0);
    ASSERT_EQ(orv({"export", old, "--codec", "pmh", "-o", path("new.pmh")}).status, 0);
    ASSERT_EQ(orv({"export", path("new.pmh"), "-o", path("new.bin")}).status, 0);
    EXPECT_EQ(readFile(path("new.bin")), readFile(path("old.bin")));
    EXPECT_EQ(readFile(path("old.bin")).size(), 6 * 1024u);
    const std::string in = clip("in.orv", 40);
    for (const char* setBit : {"dark", "light"}) {
        const Outcome made =
            orv({"export", in, "--fps", "25", "--set-bit", setBit, "-o", path("s.pmh"), "--force"});
        ASSERT_EQ(made.status, 0) << made.err;
        ASSERT_EQ(orv({"export", in, "--set-bit", setBit, "-o", path("raw.bin"), "--force"}).status,
                  0);
        const Outcome back = orv({"export", path("s.pmh"), "-o", path("back.bin"), "--force"});
        ASSERT_EQ(back.status, 0) << back.err;
        EXPECT_EQ(readFile(path("back.bin")), readFile(path("raw.bin"))) << setBit;
        EXPECT_NE(orv({"info", path("s.pmh")}).out.find("frames: 40\nduration: 1.600 s at 25 fps"),
                  std::string::npos);
        // Any rate a stream can be made for.
        EXPECT_NE(orv({"info", path("s.pmh"), "--fps", "200"}).out.find("0.200 s at 200 fps"),
                  std::string::npos);
    }
}

// A stream of noise is larger than its raw frames, and says so.
TEST_F(OrvCodec, ALargerStreamSaysSo) {
    orv::LcdPageBufferArray noise{};
    for (std::size_t at = 0; at < noise.size(); ++at)
        noise[at] = static_cast<std::uint8_t>((at + 1) * 89 % 251);
    orv::test::writeFile(path("noise.orv"), orv::buildFrameRecord(noise));
    const Outcome made = orv({"export", path("noise.orv"), "-o", path("noise.pmh")});
    EXPECT_NE(made.out.find("x larger than raw"), std::string::npos) << made.out << made.err;
}

// A stream of 8,000,000 frames in 1 MB (each frame one bit: nothing
// changed) would take the encoder 8 GB: refused in one line, not an abort.
TEST_F(OrvCodec, MoreFramesThanMemoryHoldsAreRefused) {
    std::string stream("ORVC\x01\x00\x1f\x00", 8);
    for (std::uint32_t v : {8000000u, 16u + 91u + 1000000u}) {
        for (int i = 0; i < 4; ++i) stream += static_cast<char>(v >> (8 * i));
    }
    stream += std::string("\x01\x00", 2) + std::string(28, '\0') + '\0';  // mask: 0 in one bit
    stream += std::string(60 + 1000000, '\0');  // empty main and length tables, the frames
    orv::test::writeFile(path("many.pmh"), stream);
    const Outcome o = orv({"export", path("many.pmh"), "-o", path("out.pmh")}, 600000);
    orv::test::expectRefusal(o, 1, "orv export: not enough memory to encode 8000000 frames");
}

// --flash: what fits is written and says so; what does not is refused in one
// line with the bytes over and the frames that fit, and nothing is written.
// Without it a C array over the 32 KB of an Uno is written with a warning.
TEST_F(OrvCodec, FlashRefusesWhatDoesNotFitAndSaysWhatWould) {
    const std::string in = clip("in.orv", 40);
    const struct {
        std::vector<std::string> options;
        int status;
        std::string says;
    } cases[] = {
        {{"--codec", "pmh", "--flash", "uno"}, 0, "fits --flash uno with "},
        {{"--codec", "pmh", "--flash", "300"}, 1, " over --flash 300; the first "},
        {{"--codec", "pmh", "--flash", "20"}, 1, "; not even the first frame fits"},
        {{"--flash", "5000"},
         1,
         "40,960 bytes, 35,960 over --flash 5000; the first 4 fit (--frames 0:4)"},
        {{"--flash", "uno", "--frames", "10:30"},
         1,
         "over --flash uno (26,500 bytes); the first 25 fit (--frames 10:25)"},
        {{}, 0, "warning: the array takes 40,960 bytes, more than the 32 KB of flash of an Uno"},
        {{"--frames", "0:31"}, 0, ""},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"export", in, "-o", path("out.h"), "--force"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const Outcome o = orv(args);
        EXPECT_EQ(o.status, c.status) << c.says << "\n" << o.err;
        EXPECT_NE((o.out + o.err).find(c.says), std::string::npos) << o.out << o.err;
        EXPECT_TRUE(!c.says.empty() || o.err.empty()) << o.err;
        if (c.status != 0) {
            EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << o.err;
            EXPECT_TRUE(readFile(path("out.h")).empty()) << c.says;
        }
        std::filesystem::remove(path("out.h"));
    }
}

// Every frame turns the whole picture over, so the flash player sends all 8
// pages a frame: 8 x (4 + 9 x 8 + 9 x 130) clocks of 2.5 us, 24.92 ms on the
// bus alone. The summary states the slowest frame's time; --flash uno
// refuses a rate the player cannot keep and names the highest it can, which
// it then takes; --flash BYTES has no board, and takes any rate.
TEST_F(OrvCodec, TheTimeOnAnUnoIsStatedAndFlashUnoRefusesARateItCannotKeep) {
    std::string text;
    for (int i = 0; i < 12; ++i) {
        orv::LcdPageBufferArray b{};
        b.fill(i % 2 ? 0xFF : 0);
        text += orv::buildFrameRecord(b);
    }
    orv::test::writeFile(path("flip.orv"), text);
    auto run = [&](const std::string& fps, const std::string& flash) {
        return orv({"export", path("flip.orv"), "--codec", "pmh", "--fps", fps, "--flash", flash,
                    "-o", path("flip.h"), "--force"});
    };
    const Outcome at31 = run("31", "uno");
    ASSERT_EQ(at31.status, 0) << at31.err;
    const auto stated = at31.out.find("; on an Uno the slowest frame, ");
    ASSERT_NE(stated, std::string::npos) << at31.out;
    const double ms = std::stod(at31.out.substr(at31.out.find(" takes ", stated) + 7));
    EXPECT_GE(ms, 24.9) << at31.out;
    EXPECT_NE(at31.out.find(" ms of its 32.3 ms\n", stated), std::string::npos) << at31.out;
    const Outcome at45 = run("45", "uno");
    EXPECT_EQ(at45.status, 1);
    const auto keeps = at45.err.find("every frame keeps its time at --fps ");
    ASSERT_NE(keeps, std::string::npos) << at45.err;
    EXPECT_NE(at45.err.find(" of its 22.2 ms at 45 fps, so orv_flash_player would fall behind"),
              std::string::npos)
        << at45.err;
    EXPECT_EQ(std::count(at45.err.begin(), at45.err.end(), '\n'), 1) << at45.err;
    const int rate = std::stoi(at45.err.substr(keeps + 36));
    EXPECT_LE(rate, 40);
    EXPECT_EQ(run(std::to_string(rate), "uno").status, 0);
    EXPECT_EQ(run(std::to_string(rate + 1), "uno").status, 1);
    EXPECT_EQ(run("45", "30000").status, 0);
}

}  // namespace

// orv-tool's command line, and a display it cannot reach: one line and an
// exit status, never Qt's abort.

#include <algorithm>

#include "orv_runner.h"

TEST(ToolArguments, SaysWhatAndExits) {
    const struct {
        std::string environment;  // env(1) arguments before the program
        std::string arguments;
        int status;
        std::string said;  // in the output (status 0) or the one error line
    } cases[] = {
        {"", "--help", 0, "usage: orv-tool [--lang zh|en] [VIDEO]"},
        {"", "--lang fr", 2, "--lang takes zh or en, not fr"},
        {"", "--bogus", 2, "unknown option --bogus"},
        {"", "a.avi b.avi", 2, "one video at a time"},
        {"DISPLAY=:479", "", 1, "cannot reach the display DISPLAY=:479"},
        {"", "--help >/dev/full", 1, "cannot write to standard output: No space left"},
    };
    orv::test::TempDir scratch;
    const std::string out = scratch.file("out"), err = scratch.file("err");
    for (const auto& c : cases) {
        const std::string command = "env -u QT_QPA_PLATFORM -u DISPLAY -u WAYLAND_DISPLAY " +
                                    c.environment + " XDG_RUNTIME_DIR=" + scratch.path().string() +
                                    " " + orv::test::shellQuote(ORV_TOOL) + " >" + out + " 2>" +
                                    err + " " + c.arguments;
        const int raw = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(raw));
        EXPECT_EQ(WEXITSTATUS(raw), c.status) << c.said;
        const std::string said = orv::test::readFile(c.status == 0 ? out : err);
        EXPECT_NE(said.find(c.said), std::string::npos) << said;
        EXPECT_TRUE(c.status != 1 || std::count(said.begin(), said.end(), '\n') == 1) << said;
    }
}

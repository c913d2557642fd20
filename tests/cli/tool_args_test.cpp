// orv-tool's command line, and a display it cannot reach: one line and an
// exit status, never Qt's abort.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "files.h"
#include "orv_runner.h"

namespace {

struct ToolCase {
    const char* name;
    std::string environment;  // env(1) arguments before the program
    std::string arguments;
    int status;
    std::string said;  // in the output (status 0) or the one error line
};

class ToolArguments : public testing::TestWithParam<ToolCase> {};

TEST_P(ToolArguments, SaysWhatAndExits) {
    const ToolCase& c = GetParam();
    orv::test::TempDir scratch;
    const std::string out = scratch.file("out"), err = scratch.file("err");
    const std::string command = "env -u QT_QPA_PLATFORM -u DISPLAY -u WAYLAND_DISPLAY " +
                                c.environment + " XDG_RUNTIME_DIR=" + scratch.path().string() +
                                " " + orv::test::shellQuote(ORV_TOOL) + " " + c.arguments + " >" +
                                out + " 2>" + err;
    const int raw = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), c.status);
    const std::string said = orv::test::readFile(c.status == 0 ? out : err);
    EXPECT_NE(said.find(c.said), std::string::npos) << said;
    if (c.status == 1) {
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ToolArguments,
    testing::Values(ToolCase{"Help", "", "--help", 0, "usage: orv-tool [VIDEO]"},
                    ToolCase{"UnknownOption", "", "--bogus", 2, "unknown option --bogus"},
                    ToolCase{"TwoVideos", "", "a.avi b.avi", 2, "one video at a time"},
                    ToolCase{"NoSuchX", "DISPLAY=:479", "", 1,
                             "cannot reach the display DISPLAY=:479"},
                    ToolCase{"NoSuchWayland", "WAYLAND_DISPLAY=wayland-479", "", 1,
                             "cannot reach the display WAYLAND_DISPLAY=wayland-479"}),
    [](const testing::TestParamInfo<ToolCase>& info) { return info.param.name; });

}  // namespace

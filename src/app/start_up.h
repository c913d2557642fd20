// Which windowing platform the tool starts on, from the session's variables.
#pragma once

#include <string>
#include <vector>

namespace orv::app {

// What to start on, given QT_QPA_PLATFORM, DISPLAY and WAYLAND_DISPLAY (null
// or empty when unset).
struct PlatformChoice {
    bool display = true;   // false: no desktop session at all, so no window
    std::string platform;  // set QT_QPA_PLATFORM to this first; empty: leave it
};

// A platform the user named is kept. On a Wayland session with an X server
// beside it (XWayland), the tool takes X11: on Wayland it could neither read
// the screen nor place its windows.
PlatformChoice choosePlatform(const char* qpaPlatform, const char* x11Display,
                              const char* waylandDisplay);

// What the command line asks of orv-tool:
// orv-tool [--lang zh|en] [VIDEO] | --help | --version.
struct ToolArguments {
    enum class Action { Run, Help, Version, Refuse } action = Action::Run;
    std::string video;     // a video to play at start (as if opened); empty: none
    std::string language;  // "zh" or "en" as --lang asks; empty: not asked
    std::string problem;   // why the line is refused, one line
};
ToolArguments readToolArguments(int argc, const char* const* argv);

// The usage text of orv-tool --help.
const char* toolUsage();

// The windows' language, "zh" or "en": the one --lang asks for, else the one
// the settings keep (ui/language), else the desktop's: Chinese where its
// first language is Chinese, English for every other language.
std::string chooseLanguage(const std::string& asked, const std::string& kept,
                           const std::vector<std::string>& desktopLanguages);

}  // namespace orv::app

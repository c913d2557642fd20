#include "app/start_up.h"

namespace orv::app {
namespace {

bool set(const char* value) { return value && *value; }

}  // namespace

PlatformChoice choosePlatform(const char* qpaPlatform, const char* x11Display,
                              const char* waylandDisplay) {
    PlatformChoice choice;
    if (set(qpaPlatform)) return choice;
    choice.display = set(x11Display) || set(waylandDisplay);
    if (set(x11Display) && set(waylandDisplay)) choice.platform = "xcb";
    return choice;
}

ToolArguments readToolArguments(int argc, const char* const* argv) {
    ToolArguments a;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (options && arg == "--") {
            options = false;
        } else if (options && (arg == "--help" || arg == "-h")) {
            a.action = ToolArguments::Action::Help;
            return a;
        } else if (options && arg == "--version") {
            a.action = ToolArguments::Action::Version;
            return a;
        } else if (options && (arg == "--lang" || arg.rfind("--lang=", 0) == 0)) {
            const bool joined = arg.size() > 6;
            const std::string value = joined ? arg.substr(7) : i + 1 < argc ? argv[++i] : "";
            if (value != "zh" && value != "en") {
                a.action = ToolArguments::Action::Refuse;
                a.problem =
                    "--lang takes zh or en" + (value.empty() ? std::string() : ", not " + value);
                return a;
            }
            a.language = value;
        } else if (options && arg.size() > 1 && arg[0] == '-') {
            a.action = ToolArguments::Action::Refuse;
            a.problem = "unknown option " + arg;
            return a;
        } else if (!a.video.empty()) {
            a.action = ToolArguments::Action::Refuse;
            a.problem = "one video at a time (" + a.video + " and " + arg + ")";
            return a;
        } else {
            a.video = arg;
        }
    }
    return a;
}

const char* toolUsage() {
    return "usage: orv-tool [--lang zh|en] [VIDEO]\n"
           "       orv-tool --help | --version\n"
           "\n"
           "Starts the desktop tool; VIDEO, when given, plays at once as if opened.\n"
           "The windows speak Chinese where the desktop's language is Chinese and\n"
           "English elsewhere; --lang, or the setting ui/language in\n"
           "~/.config/orv-tool/orv-tool.conf, chooses instead.\n"
           "The windowing platform follows QT_QPA_PLATFORM, DISPLAY and WAYLAND_DISPLAY.\n"
           "The command-line tool without a display is orv (see orv --help).\n";
}

std::string chooseLanguage(const std::string& asked, const std::string& kept,
                           const std::vector<std::string>& desktopLanguages) {
    if (asked == "zh" || asked == "en") return asked;
    if (kept == "zh" || kept == "en") return kept;
    const bool chinese =
        !desktopLanguages.empty() &&
        (desktopLanguages.front() == "zh" || desktopLanguages.front().rfind("zh-", 0) == 0 ||
         desktopLanguages.front().rfind("zh_", 0) == 0);
    return chinese ? "zh" : "en";
}

}  // namespace orv::app

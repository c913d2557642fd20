// orv-tool: the desktop tool.
#include <QApplication>
#include <QIcon>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "app/platform/foreground_window.h"
#include "app/platform/screen_grabber.h"
#include "app/start_up.h"
#include "app/ui/form1.h"
#include "app/ui/language.h"
#include "common/platform/posix_file.h"
#include "serial/platform/qt_serial_port.h"

namespace {

// Where the windowing system cannot be reached, Qt ends the program with a
// fatal message (and many lines about plugins before it): say it in one line.
std::string g_display;  // the display the tool tries to reach, for that line
QtMessageHandler g_before = nullptr;
QList<std::pair<QtMsgType, QString>> g_held;  // what Qt said while starting

void whileStarting(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtFatalMsg) {
        std::fprintf(stderr,
                     "orv-tool: cannot reach the display %s; is a desktop session running "
                     "there?\n",
                     g_display.c_str());
        std::_Exit(1);
    }
    (void)context;
    g_held.append({type, message});
}

// Qt's start-up messages that were not about a failure, passed on as usual.
void doneStarting() {
    qInstallMessageHandler(g_before);
    for (const auto& [type, message] : g_held) {
        if (type != QtDebugMsg) std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    }
    g_held.clear();
}

// Text for standard output; one that does not arrive is a failure, said on
// standard error. The exit status.
int said(const char* text) {
    if (std::fputs(text, stdout) >= 0 && std::fflush(stdout) == 0) return 0;
    std::fprintf(stderr, "orv-tool: cannot write to standard output: %s\n", std::strerror(errno));
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    orv::occupyStandardDescriptors();  // before anything is opened
    const orv::app::ToolArguments arguments = orv::app::readToolArguments(argc, argv);
    switch (arguments.action) {
        case orv::app::ToolArguments::Action::Help:
            return said(orv::app::toolUsage());
        case orv::app::ToolArguments::Action::Version:
            return said("orv-tool " ORV_VERSION "\n");
        case orv::app::ToolArguments::Action::Refuse:
            std::fprintf(stderr, "orv-tool: %s\n%s", arguments.problem.c_str(),
                         orv::app::toolUsage());
            return 2;
        case orv::app::ToolArguments::Action::Run:
            break;
    }
#if defined(Q_OS_LINUX) || defined(Q_OS_FREEBSD)
    const orv::app::PlatformChoice choice = orv::app::choosePlatform(
        std::getenv("QT_QPA_PLATFORM"), std::getenv("DISPLAY"), std::getenv("WAYLAND_DISPLAY"));
    if (!choice.platform.empty()) qputenv("QT_QPA_PLATFORM", choice.platform.c_str());
#else
    const orv::app::PlatformChoice choice;
#endif
    if (!choice.display) {
        std::fprintf(stderr,
                     "orv-tool: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set); "
                     "start it in a desktop session\n");
        return 1;
    }
    orv::ignoreFileSizeSignal();  // a size limit fails a write, cut back, not the tool
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    const bool wayland = platform ? std::strncmp(platform, "wayland", 7) == 0
                                  : !std::getenv("DISPLAY") || !*std::getenv("DISPLAY");
    const char* name = wayland ? "WAYLAND_DISPLAY" : "DISPLAY";
    const char* value = std::getenv(name);
    g_display = std::string(name) + "=" + (value ? value : "");
    g_before = qInstallMessageHandler(whileStarting);
    int qtArgc = 1;  // the command line is the tool's own, read above
    QApplication app(qtArgc, argv);
    doneStarting();
    app.setQuitOnLastWindowClosed(false);  // the tool ends by its exit label
    app.setWindowIcon(QIcon(QStringLiteral(":/icons/orv-tool.png")));
    const std::string language = orv::app::chooseLanguage(
        arguments.language, orv::ui::keptLanguage(), orv::ui::desktopLanguages());
    if (!orv::ui::useLanguage(app, language)) {
        std::fprintf(stderr, "orv-tool: the English captions could not be loaded\n");
    }
    // Every platform piece of the run is made here and handed to the windows.
    orv::ImageState state;
    orv::rnd::Sequence random;  // from its fixed start, for the whole run
    const auto grabber = orv::platform::makeScreenGrabber();
    orv::platform::DesktopWindowInspector inspector;
    orv::serial::QtSerialPort port;
    orv::ui::Form1 form({state, random, *grabber, inspector, port});
    form.show();
    if (!arguments.video.empty()) {
        form.playVideo(QString::fromLocal8Bit(arguments.video.c_str()));
    }
    return app.exec();
}

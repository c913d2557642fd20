// orv-tool: the desktop tool.
#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/platform/foreground_window.h"
#include "app/platform/screen_grabber.h"
#include "app/start_up.h"
#include "app/ui/form1.h"
#include "common/posix_io.h"
#include "lcd/frame_file.h"
#include "serial/platform/qt_serial_port.h"

int main(int argc, char** argv) {
    orv::occupyStandardDescriptors();  // before anything is opened
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("orv-tool " ORV_VERSION "\n");
        return 0;
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
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);  // the tool ends by its exit label
    app.setWindowIcon(QIcon(QStringLiteral(":/icons/orv-tool.png")));
    // Every platform piece of the run is made here and handed to the windows.
    orv::ImageState state;
    orv::rnd::Sequence random;  // from its fixed start, for the whole run
    const auto grabber = orv::platform::makeScreenGrabber();
    orv::platform::DesktopWindowInspector inspector;
    orv::serial::QtSerialPort port;
    orv::ui::Form1 form({state, random, *grabber, inspector, port});
    form.show();
    return app.exec();
}

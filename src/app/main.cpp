// orv-tool: the desktop tool.
#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "app/platform/foreground_window.h"
#include "app/platform/screen_grabber.h"
#include "app/ui/form1.h"
#include "serial/platform/qt_serial_port.h"

namespace {

// Where Qt would pick a windowing platform by itself, a session needs X11 or
// Wayland; say so plainly instead of letting the platform plugin abort.
bool displayAvailable() {
#if defined(Q_OS_LINUX) || defined(Q_OS_FREEBSD)
    if (std::getenv("QT_QPA_PLATFORM")) return true;
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
#else
    return true;
#endif
}

}  // namespace

int main(int argc, char** argv) {
    if (!displayAvailable()) {
        std::fprintf(stderr,
                     "orv-tool: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set); "
                     "start it in a desktop session\n");
        return 1;
    }
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);  // the tool ends by its exit label
    // Every platform piece of the run is made here and handed to the windows.
    orv::ImageState state;
    orv::rnd::Sequence random;  // from its fixed start, for the whole run
    orv::platform::QtScreenGrabber grabber;
    orv::platform::DesktopWindowInspector inspector;
    orv::serial::QtSerialPort port;
    orv::ui::Form1 form({state, random, grabber, inspector, port});
    form.show();
    return app.exec();
}

// orv-tool: the desktop tool.
#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "app/platform/screen_grabber.h"
#include "app/ui/form1.h"

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
    orv::ui::Form1 form(orv::imageState(), std::make_unique<orv::platform::QtScreenGrabber>());
    form.show();
    return app.exec();
}

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

}  // namespace orv::app

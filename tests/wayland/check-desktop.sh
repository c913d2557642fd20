#!/bin/sh
# What on-sway.sh promises the program it runs, checked from inside:
#   on-sway.sh [--xwayland] check-desktop.sh [x11]
# With x11, XWayland's DISPLAY too.
set -u
fail() {
  echo "check-desktop: $*" >&2
  exit 1
}
[ "$(id -u)" -ne 0 ] || fail "runs as root"
[ -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ] || fail "no Wayland socket $WAYLAND_DISPLAY"
[ "$(pwd)" = "$ORV_TEST_DIR" ] || fail "not in ORV_TEST_DIR"
touch "$ORV_TEST_DIR/written" "$HOME/written" || fail "ORV_TEST_DIR or HOME is not writable"
[ "$XDG_SESSION_TYPE" = wayland ] && [ "$XDG_CURRENT_DESKTOP" = sway ] ||
  fail "not a sway session: $XDG_SESSION_TYPE $XDG_CURRENT_DESKTOP"
swaymsg -t get_outputs | grep -q "\"name\": \"$ORV_SWAY_OUTPUT\"" ||
  fail "sway has no output $ORV_SWAY_OUTPUT"
swaymsg -t get_outputs | grep -q '"width": 1280,' || fail "the output is not ${ORV_SWAY_SIZE}"
dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
  org.freedesktop.DBus.NameHasOwner string:org.freedesktop.portal.Desktop |
  grep -q 'boolean true' || fail "no portal on the session bus"
if [ "${1:-}" = x11 ]; then
  [ -n "${DISPLAY:-}" ] || fail "no DISPLAY"
  xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id' ||
    fail "no window manager on XWayland's $DISPLAY"
  [ "$(ls /tmp/.X11-unix)" = "X${DISPLAY#:}" ] || echo "check-desktop: note: other X servers" \
    "share /tmp/.X11-unix: $(ls /tmp/.X11-unix | tr '\n' ' ')" >&2
else
  [ -z "${DISPLAY:-}" ] || fail "DISPLAY is set without --xwayland: $DISPLAY"
fi
echo "check-desktop: $WAYLAND_DISPLAY ${DISPLAY:-} as $(id -un) in $ORV_TEST_DIR"

#!/usr/bin/env bash
# on-sway.sh [--xwayland] PROGRAM [ARGS]: runs PROGRAM, as a test user of its
# own, on a headless sway (HEADLESS-1, 1280x800, a known colour) with a private
# session bus, PipeWire and the screen cast portal (on shared memory:
# screencopy-shm.c), in namespaces of its own where the kernel allows; --xwayland
# adds XWayland. Exit status: PROGRAM's, or 77 when this machine cannot run it.
# shellcheck disable=SC2317
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
arguments=("$@")
user=orv-wayland
background='#204060'
output=HEADLESS-1
size=1280x800
xwayland=0
[ "${1:-}" = "--xwayland" ] && xwayland=1 && shift
[ $# -gt 0 ] || { echo "usage: on-sway.sh [--xwayland] PROGRAM [ARGS]" >&2; exit 2; }
path=$1 # by its full path, for it runs in a folder of its own
shift
if [[ "$path" == */* ]]; then
  path=$(realpath -m -- "$path")
  [ -f "$path" ] || { echo "on-sway: no program $path" >&2; exit 127; }
fi

fail() { # MESSAGE [LOG]
  echo "on-sway: $1" >&2
  [ -n "${2:-}" ] && [ -s "$dir/log/$2.log" ] && sed 's/^/  | /' "$dir/log/$2.log" | tail -n 8 >&2
  exit 1
}
[ "$(id -u)" -eq 0 ] || fail "needs root, to run the desktop as a user of its own"
needed=(sway swaymsg swaybg dbus-daemon dbus-send pipewire pw-cli wireplumber gcc setpriv useradd
  /usr/libexec/xdg-desktop-portal /usr/libexec/xdg-desktop-portal-wlr)
[ "$xwayland" = 1 ] && needed+=(Xwayland xprop)
for program in "${needed[@]}"; do
  command -v "$program" >/dev/null 2>&1 ||
    fail "$program is not installed (scripts/setup.sh test installs it)"
done

# Mount and network namespaces make the X sockets the run's own, a PID one
# ends all it started; a signal here, or this script's death, ends unshare.
if [ -z "${ORV_ON_SWAY_NAMESPACE:-}" ]; then
  namespaces=(--mount --net --pid --fork --mount-proc --kill-child=TERM)
  if unshare "${namespaces[@]}" true 2>/dev/null; then
    export ORV_ON_SWAY_NAMESPACE=own
    setpriv --pdeathsig KILL unshare "${namespaces[@]}" -- "$BASH" "$0" "${arguments[@]}" &
    inside=$!
    stopped=""
    trap 'stopped=130; kill -KILL "$inside" 2>/dev/null' INT
    trap 'stopped=143; kill -KILL "$inside" 2>/dev/null' TERM
    status=0
    while kill -0 "$inside" 2>/dev/null; do
      wait "$inside"
      status=$?
    done
    exit "${stopped:-$status}"
  fi
fi
if [ "${ORV_ON_SWAY_NAMESPACE:-}" = own ]; then
  [ -d /tmp/.X11-unix ] || mkdir -m 1777 /tmp/.X11-unix # as X servers make it
  mount -t tmpfs -o mode=1777,size=1m orv-x11 /tmp/.X11-unix ||
    { echo "on-sway: could not give the run its own /tmp/.X11-unix" >&2; exit 1; }
fi
unset ORV_ON_SWAY_NAMESPACE

# The test user; a run beside this one may be making it at the same moment.
id -u "$user" >/dev/null 2>&1 ||
  useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin \
    "$user" 2>/dev/null || id -u "$user" >/dev/null 2>&1 ||
  { echo "on-sway: could not make the test user $user" >&2; exit 1; }

dir=$(mktemp -d /tmp/orv-sway.XXXXXX)
chmod 755 "$dir"
runtime=$dir/run
mkdir -p "$runtime" "$dir/home" "$dir/work" "$dir/log"
chown "$user:" "$runtime" "$dir/home" "$dir/work"
chmod 700 "$runtime"
# Every process of the run carries this mark, whoever started it.
mark="ORV_SWAY_RUN=${dir##*/}-$$"

pids=() names=() x="" # what the run started and their logs' names, DISPLAY
cleanup() { # everything that carries the mark: the desktop, PROGRAM and all they started
  trap '' INT TERM
  local p alive
  for p in $(marked); do kill "$p" 2>/dev/null; done
  for _ in $(seq 50); do
    alive=0
    for p in $(marked); do living "$p" && alive=1; done
    [ "$alive" = 0 ] && break
    sleep 0.1
  done
  for p in $(marked); do kill -KILL "$p" 2>/dev/null; done
  wait 2>/dev/null
  # sway leaves XWayland's lock file behind.
  if [ -n "$x" ] && [ "$(tr -dc 0-9 2>/dev/null <"/tmp/.X${x#:}-lock")" = "${pids[0]}" ]; then
    rm -f "/tmp/.X${x#:}-lock"
  fi
  rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

living() { # not a zombie
  local stat
  stat=$(cat /proc/"$1"/stat 2>/dev/null) && stat=${stat##*) } && [ "${stat%% *}" != Z ]
}
running() { # a process of the run by this name
  local p
  for p in $(marked); do [ "$(cat /proc/"$p"/comm 2>/dev/null)" = "$1" ] && return 0; done
  return 1
}
marked() {
  grep -lsxzF "$mark" /proc/[0-9]*/environ 2>/dev/null | awk -F/ -v self=$$ '$3 != self {print $3}'
}

# As the user, with the desktop's environment and nothing else.
become=(setpriv --reuid="$user" --regid="$user" --init-groups)
session=(HOME="$dir/home" USER="$user" LOGNAME="$user" XDG_RUNTIME_DIR="$runtime"
  XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=sway SWAYSOCK="$runtime/sway.sock"
  DBUS_SESSION_BUS_ADDRESS="unix:path=$runtime/bus" "$mark")
as_user=("${become[@]}" env -i PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 "${session[@]}")
start() { # NAME COMMAND...: a daemon of the desktop, logging to log/NAME.log
  names+=("$1")
  "${as_user[@]}" "${@:2}" >"$dir/log/$1.log" 2>&1 &
  pids+=($!)
}
wait_for() { # SECONDS COMMAND...; fails at once when the daemon started last has exited
  for _ in $(seq $(($1 * 20))); do
    "${@:2}" >/dev/null 2>&1 && return 0
    living "${pids[-1]}" || fail "${names[-1]} exited" "${names[-1]}"
    sleep 0.05
  done
  return 1
}
owned() { # a name on the run's session bus
  "${as_user[@]}" dbus-send --session --print-reply --dest=org.freedesktop.DBus \
    /org/freedesktop/DBus org.freedesktop.DBus.NameHasOwner string:"$1" | grep -q 'boolean true'
}
wireplumber_ready() { # it made PipeWire's default metadata
  "${as_user[@]}" pw-cli ls Metadata | grep -q 'metadata.name = "default"'
}

gcc -shared -fPIC -O2 -o "$dir/screencopy-shm.so" "$here/screencopy-shm.c" -ldl \
  2>"$dir/log/shim.log" || fail "could not build the screencopy shim" shim
cat >"$dir/sway.conf" <<CONF
output $output resolution $size position 0,0 bg $background solid_color
xwayland $([ "$xwayland" = 1 ] && echo force || echo disable)
CONF
cat >"$dir/portal-wlr.conf" <<CONF
[screencast]
output_name=$output
max_fps=46
chooser_type=none
CONF
cat >"$dir/tell-display.sh" <<'CONF'
printf '%s\n' "$DISPLAY" >"$1.part" && mv "$1.part" "$1"
CONF

start sway env WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
  sway -c "$dir/sway.conf"
wait_for 20 "${as_user[@]}" swaymsg -t get_outputs || fail "sway did not start" sway
wayland=""
for socket in "$runtime"/wayland-[0-9]*; do [ -S "$socket" ] && wayland=${socket##*/} && break; done
[ -n "$wayland" ] || fail "sway made no Wayland socket" sway
wait_for 10 running swaybg || fail "sway did not start swaybg" sway
start dbus dbus-daemon --session --nofork --nopidfile --address="unix:path=$runtime/bus"
wait_for 10 owned org.freedesktop.DBus || fail "the session bus did not start" dbus
start pipewire pipewire
wait_for 10 test -S "$runtime/pipewire-0" || fail "PipeWire did not start" pipewire
start wireplumber wireplumber
wait_for 10 wireplumber_ready || fail "WirePlumber did not start" wireplumber
# The backend first, lest the bus start one without the shim; the portal's
# name before a call, lest the bus start another.
start portal-wlr env WAYLAND_DISPLAY="$wayland" LD_PRELOAD="$dir/screencopy-shm.so" \
  /usr/libexec/xdg-desktop-portal-wlr -c "$dir/portal-wlr.conf" -l WARN
wait_for 10 owned org.freedesktop.impl.portal.desktop.wlr ||
  fail "the portal's wlroots backend did not start" portal-wlr
start portal env WAYLAND_DISPLAY="$wayland" /usr/libexec/xdg-desktop-portal
wait_for 20 owned org.freedesktop.portal.Desktop || fail "the portal did not start" portal
wait_for 20 "${as_user[@]}" dbus-send --session --print-reply --dest=org.freedesktop.portal.Desktop \
  /org/freedesktop/portal/desktop org.freedesktop.DBus.Properties.Get \
  string:org.freedesktop.portal.ScreenCast string:version || fail "the portal did not start" portal

display=()
if [ "$xwayland" = 1 ]; then
  "${as_user[@]}" swaymsg exec "/bin/sh $dir/tell-display.sh $runtime/display" >/dev/null ||
    fail "sway would not run a command" sway
  wait_for 10 test -s "$runtime/display" || fail "sway gave no DISPLAY" sway
  x=$(cat "$runtime/display")
  wait_for 20 "${as_user[@]}" xprop -display "$x" -root || fail "XWayland did not start on $x" sway
  display=(DISPLAY="$x")
fi

# PROGRAM, as the user, in the caller's environment with the desktop's.
run=("${become[@]}")
if [[ "$path" == */* ]] && ! "${run[@]}" head -c 0 -- "$path" 2>/dev/null; then
  # A build folder closed to the user: a copy, for a capability would make
  # the process one whose /proc entry the portal cannot read and refuses.
  cp -- "$path" "$dir/work/" && chown "$user" "$dir/work/${path##*/}" || fail "cannot copy $path"
  path="$dir/work/${path##*/}"
fi
run+=(env -C "$dir/work" -u DISPLAY -u XAUTHORITY -u WAYLAND_SOCKET -u XDG_CONFIG_HOME
  -u XDG_DATA_HOME -u XDG_CACHE_HOME -u XDG_STATE_HOME -u SESSION_MANAGER "${session[@]}"
  WAYLAND_DISPLAY="$wayland" ORV_SWAY_BACKGROUND="$background"
  ORV_SWAY_OUTPUT="$output" "${display[@]}")
"${run[@]}" "$path" "$@" &
wait $!

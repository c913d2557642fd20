#!/usr/bin/env bash
# Runs a test program on a private X server of its own (Xvfb), so that
# several screen tests can run side by side: on-xvfb.sh [--wm] PROGRAM [ARGS].
# With --wm a window manager (openbox) runs on it too, so minimising is real.
set -euo pipefail
wm=0
[ "${1:-}" = "--wm" ] && wm=1 && shift
dir=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$dir"
}
trap cleanup EXIT
mkfifo "$dir/display"
# The server picks a free display number and writes it once it is ready.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/display" 2>"$dir/xvfb.log" &
pids+=($!)
read -r number <"$dir/display"
export DISPLAY=":$number"
if [ "$wm" = 1 ]; then
  openbox --sm-disable >/dev/null 2>&1 &
  pids+=($!)
  # Wait until the manager has announced itself on the root window.
  for _ in $(seq 200); do
    if xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; then break; fi
    sleep 0.05
  done
fi
"$@"

#!/usr/bin/env bash
# Builds and runs the capture-tick benchmark under a private Xvfb server.
# Arguments go to tick_bench: [TICKS] [SECONDS] [FPS].
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/build.sh" >/dev/null
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" \
  "$here/build/bin/tick_bench" "$@"

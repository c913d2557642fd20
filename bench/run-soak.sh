#!/usr/bin/env bash
# Builds and runs the long capture (soak) under a private Xvfb server:
# bench/run-soak.sh [SECONDS] (default 600).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/build.sh" >/dev/null
QT_QPA_PLATFORM=xcb "$here/tests/gui/on-xvfb.sh" "$here/build/bin/soak_bench" "$@"

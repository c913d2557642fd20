#!/usr/bin/env bash
# What reading the screen through the desktop portal costs, on a headless sway
# whose screen changes about 100 times a second: bench/run-portal-cpu.sh
# [SECONDS] (default 10). Needs root (tests/wayland/on-sway.sh) and a build
# with portal_bench in it; BUILD names the build folder (default build).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
bench="${BUILD:-$here/build}/bin/portal_bench"
if [ ! -x "$bench" ]; then
  echo "run-portal-cpu: no $bench (cmake --build ${BUILD:-build} --target portal_bench)" >&2
  exit 1
fi
exec "$here/tests/wayland/on-sway.sh" "$bench" "$@"

#!/usr/bin/env bash
# Configures and builds.
#   build.sh test   everything, tests and benchmarks too, into build/ (the
#                   default; ./test and CI)
#   build.sh run    the two programs alone (BUILD_TESTING off, so neither the
#                   tests nor their packages are needed), into build-run/ (./run)
# Each kind keeps its own folder, so that neither undoes the other's setting.
set -euo pipefail
cd "$(dirname "$0")/.."
case "${1:-test}" in
  test) dir=build testing=ON ;;
  run) dir=build-run testing=OFF ;;
  *)
    echo "usage: build.sh [run|test]" >&2
    exit 2
    ;;
esac
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING="$testing" >/dev/null
cmake --build "$dir"

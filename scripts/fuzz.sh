#!/usr/bin/env bash
# Fuzzes the core's parsers with libFuzzer.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]   run each target SECONDS (default 600)
#   scripts/fuzz.sh --merge [TARGET...]     fold what the runs found into the corpora
#
# Targets: orv_reader numbers serial_settings port_device (default: all).
# Builds them with clang into build-fuzz/ (-DORV_FUZZ=ON) and runs them one
# after the other, at the lowest priority, each over tests/fuzz/corpus/<target>/.
# New inputs go to build-fuzz/found/<target>/, never into the repository; a
# crash, leak, timeout or sanitizer report leaves its input in
# build-fuzz/artifacts/<target>/ and the log in build-fuzz/logs/<target>.log.
# --merge minimises the corpus and those finds (-merge=1) into a fresh folder
# and keeps in tests/fuzz/corpus/<target>/ the named seeds and the rest of
# that minimal set.
# The build waits on the lock file $ORV_BUILD_LOCK (default
# /tmp/orv-build.lock) so that builds on a shared machine take turns.
set -euo pipefail
cd "$(dirname "$0")/.."

all=(orv_reader numbers serial_settings port_device)
max_len() {
  case "$1" in
    orv_reader) echo 16384 ;;  # three records of the longest values and more
    numbers) echo 256 ;;
    serial_settings) echo 256 ;;
    port_device) echo 1024 ;;
  esac
}

merge=0
seconds=600
if [[ $# -gt 0 && $1 == --merge ]]; then
  merge=1
  shift
elif [[ $# -gt 0 && $1 =~ ^[0-9]+$ ]]; then
  seconds=$1
  shift
fi
targets=("$@")
if [[ ${#targets[@]} -eq 0 ]]; then targets=("${all[@]}"); fi
for t in "${targets[@]}"; do
  if [[ " ${all[*]} " != *" $t "* ]]; then
    echo "fuzz: no target \"$t\" (targets: ${all[*]})" >&2
    exit 2
  fi
done

if ! command -v clang++ >/dev/null; then
  echo "fuzz: clang is needed (apt-get install clang libclang-rt-14-dev)" >&2
  exit 1
fi
out=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORV_FUZZ=ON >/dev/null
flock "${ORV_BUILD_LOCK:-/tmp/orv-build.lock}" \
  nice cmake --build "$out" -j2 --target "${targets[@]/#/fuzz_}"

if [[ $merge -eq 1 ]]; then
  for t in "${targets[@]}"; do
    fresh="$out/merged/$t"
    rm -rf "$fresh"
    mkdir -p "$fresh" "$out/found/$t"
    nice -n 19 "$out/bin/fuzz_$t" -merge=1 -max_len="$(max_len "$t")" -timeout=10 \
      -rss_limit_mb=2048 "$fresh" "tests/fuzz/corpus/$t" "$out/found/$t" >"$out/merge-$t.log" 2>&1
    # The named seeds stay; the fuzzer's inputs (named by their SHA-1) give
    # way to the fresh minimal set, less what a seed already holds.
    corpus="tests/fuzz/corpus/$t"
    find "$corpus" -type f -regextype posix-extended -regex '.*/[0-9a-f]{40}' -delete
    seeds=" $(find "$corpus" -type f -exec sha1sum {} + | cut -d' ' -f1 | tr '\n' ' ')"
    for f in "$fresh"/*; do
      [[ -f $f ]] || continue
      if [[ $seeds != *" $(basename "$f") "* ]]; then cp "$f" "$corpus/"; fi
    done
    echo "$t: $(find "tests/fuzz/corpus/$t" -type f | wc -l) inputs," \
      "$(du -sk "tests/fuzz/corpus/$t" | cut -f1) KB in tests/fuzz/corpus/$t"
  done
  exit 0
fi

found_any=0
for t in "${targets[@]}"; do
  found="$out/found/$t"
  artifacts="$out/artifacts/$t"
  log="$out/logs/$t.log"
  rm -rf "$artifacts"
  mkdir -p "$found" "$artifacts" "$out/logs"
  echo "fuzz: $t for ${seconds} s (log $log)"
  status=0
  nice -n 19 "$out/bin/fuzz_$t" "$found" "tests/fuzz/corpus/$t" \
    -max_total_time="$seconds" -max_len="$(max_len "$t")" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$artifacts/" -print_final_stats=1 >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  coverage=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -n 1 || true)
  kept=$(find "$artifacts" -type f | wc -l)
  if [[ $status -eq 0 && $kept -eq 0 ]]; then
    verdict="nothing found"
  else
    verdict="FOUND something (exit $status): see $log and $artifacts/"
    found_any=1
  fi
  echo "$t: ${runs:-?} runs, ${coverage:-no coverage line}, $verdict"
done
exit "$found_any"

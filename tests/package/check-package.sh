#!/usr/bin/env bash
# Builds the Debian package from a built build folder into a temporary folder,
# unpacks it, checks that it holds what an install should, runs the unpacked
# orv, and fails on any lintian error.
#   check-package.sh BUILD_DIR
set -euo pipefail
build="$(cd "$1" && pwd)"
top=$(mktemp -d)
trap 'rm -rf "$top"' EXIT

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$top/out" >"$top/cpack.log" 2>&1 || {
  cat "$top/cpack.log"
  exit 1
}
debs=("$top"/out/*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
  echo "check-package: expected one .deb, found: ${debs[*]}" >&2
  exit 1
fi
deb="${debs[0]}"

root="$top/root"
dpkg-deb -x "$deb" "$root"
failed=0
for f in usr/bin/orv usr/bin/orv-tool \
  usr/share/applications/orv-tool.desktop \
  usr/share/icons/hicolor/scalable/apps/orv-tool.svg \
  usr/share/icons/hicolor/48x48/apps/orv-tool.png \
  usr/share/icons/hicolor/256x256/apps/orv-tool.png \
  usr/share/man/man1/orv.1.gz usr/share/man/man1/orv-tool.1.gz \
  usr/share/bash-completion/completions/orv \
  usr/share/doc/orv-tool/copyright usr/share/doc/orv-tool/changelog.gz; do
  if [ ! -s "$root/$f" ]; then
    echo "check-package: /$f is missing from the package" >&2
    failed=1
  fi
done
[ "$failed" -eq 0 ] || exit 1

# The unpacked command line runs: its help and a check of a one-frame file
# (1024 lines "0", then "F").
orv="$root/usr/bin/orv"
"$orv" --help | grep -q '^usage: orv COMMAND'
for _ in $(seq 1024); do printf '0\r\n'; done >"$top/one.orv"
printf 'F\r\n' >>"$top/one.orv"
"$orv" info "$top/one.orv" | tee "$top/info"
grep -q '^frames: 1$' "$top/info"

# lintian: errors (or lintian failing to run) fail, warnings are listed.
status=0
lintian --fail-on error --tag-display-limit 0 --display-level '>=warning' "$deb" \
  >"$top/lintian" 2>&1 || status=$?
cat "$top/lintian"
if [ "$status" -ne 0 ] || grep -q '^E: ' "$top/lintian"; then
  echo "check-package: lintian found errors (exit status $status)" >&2
  exit 1
fi
echo "check-package: no lintian errors, $(grep -c '^W: ' "$top/lintian" || true) warnings"

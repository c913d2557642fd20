#!/usr/bin/env bash
# orv-tool in LANGUAGE on a private X server and session bus, read as a screen
# reader reads it (screen_reader.py) through the accessibility bus, which the
# session bus starts when the tool asks for it.
#   screen-reader.sh ORV_TOOL zh|en
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tool=$1 language=$2
exec "$here/on-xvfb.sh" dbus-run-session -- bash -c '
  set -euo pipefail
  XDG_RUNTIME_DIR=$(mktemp -d) QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$1" --lang "$2" &
  tool=$!
  trap "kill $tool 2>/dev/null || true" EXIT
  /usr/bin/python3 "$3" "$2"
' bash "$tool" "$language" "$here/screen_reader.py"

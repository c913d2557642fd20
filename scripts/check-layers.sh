#!/usr/bin/env bash
# Fails when an #include in src/ crosses the layering of the subsystems:
#   common <- lcd <- dib <- serial <- app, each core using only itself and the
#   cores to its left; a ui/ or platform/ folder also its own subsystem's core
#   and common/ui; app/ui and app/main.cpp (the composition) anything;
#   cli the cores and common/platform (the process's start-up and files).
# A core reaches the system through its platform/ folder only: a system header
# of POSIX (unistd.h, fcntl.h, sys/..., poll.h, termios.h, ...) in a core fails too.
set -euo pipefail
cd "$(dirname "$0")/../src"
bad=0
grep -rHn '^#include "[a-z]*/' --include='*.h' --include='*.cpp' . | awk -F: '
function rank(s) { return s == "common" ? 0 : s == "lcd" ? 1 : s == "dib" ? 2 : s == "serial" ? 3 : s == "app" ? 4 : -1 }
{
    file = substr($1, 3); line = $2
    match($0, /#include "[^"]*"/); target = substr($0, RSTART + 10, RLENGTH - 11)
    split(file, f, "/"); split(target, t, "/")
    from = f[1]; to = t[1]
    if (rank(to) < 0) next                              # not one of ours (generated, cli)
    fromLayer = (f[2] == "ui" || f[2] == "platform") ? "top" : "core"
    toLayer = (t[2] == "ui" || t[2] == "platform") ? "top" : "core"
    bad = 0
    if (from == "cli") bad = (toLayer != "core" && !(to == "common" && t[2] == "platform"))
    else if (from == "app" && (fromLayer == "top" || f[2] == "main.cpp")) bad = 0
    else if (fromLayer == "core") bad = (toLayer != "core" || rank(to) > rank(from))
    else bad = (toLayer == "top") ? !(to == from || (to == "common" && t[2] == "ui")) : rank(to) > rank(from)
    if (bad) { print "src/" file ":" line ": includes \"" target "\" across the layering"; n++ }
}
END { if (n) exit 1 }' || bad=1
system='unistd|fcntl|poll|termios|dirent|signal|pthread|dlfcn|sys/[a-z_/]*'
if grep -rHnE "^#[[:space:]]*include[[:space:]]*<($system)\.h>" --include='*.h' --include='*.cpp' \
    common lcd dib serial | grep -vE '^[a-z]+/(ui|platform)/'; then
    echo "check-layers: a core includes a system header above; it belongs in a platform/ folder"
    bad=1
fi
[ "$bad" = 0 ] || exit 1
echo "check-layers: every include follows the layering"

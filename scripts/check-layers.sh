#!/usr/bin/env bash
# Fails when an #include in src/ crosses the layering of the subsystems:
#   common <- lcd <- dib <- serial <- app, each core using only itself and the
#   cores to its left; a ui/ or platform/ folder also its own subsystem's core
#   and common/ui; app/ui and app/main.cpp (the composition) anything;
#   cli only cores.
set -euo pipefail
cd "$(dirname "$0")/../src"
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
    if (from == "cli") bad = (toLayer != "core")
    else if (from == "app" && (fromLayer == "top" || f[2] == "main.cpp")) bad = 0
    else if (fromLayer == "core") bad = (toLayer != "core" || rank(to) > rank(from))
    else bad = (toLayer == "top") ? !(to == from || (to == "common" && t[2] == "ui")) : rank(to) > rank(from)
    if (bad) { print "src/" file ":" line ": includes \"" target "\" across the layering"; n++ }
}
END { if (n) exit 1; print "check-layers: every include follows the layering" }'

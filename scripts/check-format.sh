#!/usr/bin/env bash
# Fails when a C++ source of the project is not formatted as the repository's
# .clang-format says; lists the files and lines that differ.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(find src tests bench examples packaging -type f \( -name '*.cpp' -o -name '*.h' \) 2>/dev/null | sort)
clang-format --dry-run --Werror "${files[@]}"
echo "check-format: ${#files[@]} files formatted"

#!/usr/bin/env bash
# Fails, naming the files, when a C++ file in git differs from what .clang-format makes of it.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if ! report=$(clang-format --dry-run --Werror "${files[@]}" 2>&1); then
    echo "Not formatted with .clang-format (run clang-format -i on them):" >&2
    grep -o '^[^:]*\.\(cpp\|h\):' <<<"$report" | sort -u >&2
    exit 1
fi

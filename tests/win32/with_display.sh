#!/usr/bin/env bash
# Runs a command on a virtual X server of its own: with_display.sh COMMAND [ARGS...]
set -euo pipefail
work=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true; wait "$xvfb" 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 100); do
    [[ -s $work/display ]] && break
    sleep 0.05
done
DISPLAY=:$(head -n1 "$work/display")
export DISPLAY
export WINEPREFIX=${WINEPREFIX:-$PWD/wine} WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
status=0
"$@" || status=$?
exit "$status"

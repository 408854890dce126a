#!/usr/bin/env bash
# Runs a command with a serial port of the Wine prefix linked to a fresh comflash-sim:
#   with_sim.sh SIM [SIM-OPTIONS...] -- COMMAND [ARGS...]
# The port is COM$COMFLASH_TEST_COM (1 unless set) of $WINEPREFIX (./wine unless set), linked
# as wine_port.sh says; the command finds its number in COMFLASH_TEST_COM. The simulator's
# standard output and error go to $COMFLASH_SIM_LOG when set. Exits with the command's status.
set -euo pipefail
sim=$1
shift
sim_args=()
while [[ $# -gt 0 && $1 != -- ]]; do
    sim_args+=("$1")
    shift
done
shift
export WINEPREFIX=${WINEPREFIX:-$PWD/wine} WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export COMFLASH_TEST_COM=${COMFLASH_TEST_COM:-1}
# shellcheck source=tests/win32/wine_port.sh
source "$(dirname "$0")/wine_port.sh"

work=$(mktemp -d)
sim_pid=
cleanup() {
    if [[ -n $sim_pid ]]; then
        kill "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
    unlink_wine_port "$COMFLASH_TEST_COM"
    if [[ -n ${COMFLASH_SIM_LOG:-} ]]; then
        cat "$work/out" "$work/err" >"$COMFLASH_SIM_LOG" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

"$sim" "${sim_args[@]}" >"$work/out" 2>"$work/err" &
sim_pid=$!
# The simulator prints the path of its line first; a passing run never waits long.
for _ in $(seq 200); do
    [[ -s $work/out ]] && break
    sleep 0.05
done
path=$(head -n1 "$work/out")
if [[ -z $path ]]; then
    echo "comflash-sim did not start: $(cat "$work/err")" >&2
    exit 1
fi
link_wine_port "$COMFLASH_TEST_COM" "$path"
status=0
"$@" || status=$?
exit "$status"

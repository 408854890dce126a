#!/usr/bin/env bash
# The help of comflash-cli.exe under Wine is the Linux program's, byte for byte: each command's
# text, on the same stream, with the same exit status.
#   cli_help.sh COMFLASH_CLI_EXE LINUX_COMFLASH_CLI
set -euo pipefail
exe=$1
linux_cli=$2
export WINEPREFIX=${WINEPREFIX:-$PWD/wine} WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
[[ -d $WINEPREFIX/dosdevices ]] || wineboot --init >/dev/null 2>&1
# A server of the prefix's own, started with its output dropped, so that none of it lands in
# the program's.
wineserver -p3 >/dev/null 2>&1 || true

failures=0
for command in "" write read station ports; do
    # shellcheck disable=SC2086 # no command: the program's own --help
    set -- $command --help
    linux_status=0
    "$linux_cli" "$@" >"$work/linux.out" 2>"$work/linux.err" || linux_status=$?
    windows_status=0
    wine "$exe" "$@" >"$work/windows.out" 2>"$work/windows.err" || windows_status=$?
    for stream in out err; do
        if ! cmp "$work/linux.$stream" "$work/windows.$stream"; then
            diff "$work/linux.$stream" "$work/windows.$stream" >&2 || true
            failures=$((failures + 1))
        fi
    done
    if [[ $linux_status != "$windows_status" ]]; then
        echo "comflash-cli $*: exit status $windows_status on Windows, $linux_status on Linux" >&2
        failures=$((failures + 1))
    fi
    [[ -s $work/linux.out ]] || { echo "comflash-cli $*: no help" >&2; failures=$((failures + 1)); }
done
if ((failures > 0)); then
    echo "$failures difference(s)" >&2
    exit 1
fi
echo "comflash-cli.exe and the Linux comflash-cli print the same help"

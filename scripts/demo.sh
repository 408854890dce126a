#!/usr/bin/env bash
# One full update of the sample firmware (examples/TempFile_1.03.hex) against the simulated
# device, at the pace of a real 19200-baud line, from a prepared program folder (build/demo)
# with COM1 linked to the device in a private configuration folder. It then says whether the
# device's memory equals the file.
#
# With a display, comflash opens: press Update. Without one, comflash-cli writes the firmware
# first, then comflash does the same on a virtual X server and screenshots of the session
# window in progress and of "Successful" are saved in build/demo.
#
# scripts/demo.sh --windows runs the Windows program instead: comflash.exe, built with
# mingw-w64, under Wine on a virtual X server; its COM1 leads to comflash-sim. The port dialog
# opens, a missing firmware file is reported in Chinese, then Update writes the firmware and
# says "Successful"; screenshots are saved in build/demo (windows-chinese.png, windows.png).
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = "--windows" ]; then
    # shellcheck source=scripts/packages.sh
    source scripts/packages.sh
    ensure_packages "${COMFLASH_BUILD_PACKAGES[@]}" "${COMFLASH_WINDOWS_PACKAGES[@]}" \
        "${COMFLASH_DEMO_PACKAGES[@]}" "${COMFLASH_VIRTUAL_DISPLAY_PACKAGES[@]}"
    cmake --preset release >/dev/null
    cmake --build --preset release --target comflash-sim
    cmake --preset windows >/dev/null
    cmake --build --preset windows --target comflash window_texts
    mkdir -p build/demo
    WINEPREFIX="$PWD/build/demo-wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
        tests/win32/window_update.sh build/release/apps/comflash-sim/comflash-sim \
        build/windows/apps/comflash/comflash.exe build/windows/tests/win32/window_texts.exe \
        "$PWD/build/demo/windows.png"
    echo "Screenshots: build/demo/windows-chinese.png, build/demo/windows.png"
    exit 0
fi

# shellcheck source=scripts/packages.sh
source scripts/packages.sh
demo_packages=("${COMFLASH_BUILD_PACKAGES[@]}" "${COMFLASH_DEMO_PACKAGES[@]}")
[ -n "${DISPLAY:-}" ] || demo_packages+=("${COMFLASH_VIRTUAL_DISPLAY_PACKAGES[@]}")
ensure_packages "${demo_packages[@]}"

cmake --preset release >/dev/null
cmake --build --preset release --target comflash comflash-cli comflash-sim

apps=build/release/apps
demo=build/demo
firmware=TempFile_1.03.hex
rm -rf "$demo"
mkdir -p "$demo/config/comflash/ports"
cp "$apps/comflash/comflash" "$apps/comflash-cli/comflash-cli" "examples/$firmware" "$demo/"
# Model 1:2:3, settings key "comflash-demo", window title, version line.
printf '1:2:3, comflash-demo, "comflash demo", V1.0\r\n' >"$demo/Config.txt"
export XDG_CONFIG_HOME="$PWD/$demo/config"
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then  # Qt wants one, and a session without login has none
    export XDG_RUNTIME_DIR="$PWD/$demo/runtime"
    mkdir -m 700 "$XDG_RUNTIME_DIR"
fi

sim_pid=
stop_sim() {
    if [ -n "$sim_pid" ]; then
        kill "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
        sim_pid=
    fi
}
trap stop_sim EXIT

# start_sim NAME: a device of model 1:2:3 for one session, linked as COM1; its memory goes to
# build/demo/NAME.bin when the session ends.
start_sim() {
    "$apps/comflash-sim/comflash-sim" --model 1:2:3 --line-timing --sessions 1 \
        --dump "$demo/$1.bin" --log "$demo/$1.log" >"$demo/$1.path" 2>"$demo/$1.err" &
    sim_pid=$!
    for _ in $(seq 50); do
        [ -s "$demo/$1.path" ] && break
        sleep 0.1
    done
    ln -sfn "$(head -n 1 "$demo/$1.path")" "$demo/config/comflash/ports/COM1"
}

# check NAME: waits for the device to end its session and compares its memory, at every
# address the firmware file names, with the file.
check() {
    for _ in $(seq 50); do
        kill -0 "$sim_pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$sim_pid" 2>/dev/null; then
        echo "$1: the device saw no complete update."
        stop_sim
        return 1
    fi
    local status=0
    wait "$sim_pid" || status=$?
    sim_pid=
    if [ "$status" -ne 0 ]; then
        echo "$1: the device reported protocol violations:"
        cat "$demo/$1.err"
        return 1
    fi
    # The file's address ranges, as srec_info lists them ("Data: 0000 - 0DFF" and so on).
    local ranges=() from to
    while read -r from _ to; do
        ranges+=("0x$from" "$(printf '0x%X' $((0x$to + 1)))")
    done < <(srec_info "$demo/$firmware" -intel |
        sed -n 's/^Data: *//p; s/^ \{2,\}\([0-9A-F]* - [0-9A-F]*\)$/\1/p')
    if srec_cmp "$demo/$firmware" -intel "$demo/$1.bin" -binary -crop "${ranges[@]}" \
        >/dev/null 2>&1; then
        echo "$1: the device's memory dump equals $firmware at every address it names."
    else
        echo "$1: the device's memory dump DIFFERS from $firmware."
        return 1
    fi
}

if [ -n "${DISPLAY:-}" ]; then
    start_sim window
    echo "comflash is open with COM1 linked to the simulated device: press Update."
    "$demo/comflash"
    check window
    exit
fi

echo "== comflash-cli"
start_sim cli
"$demo/comflash-cli" write "$demo/$firmware" --port COM1 --config "$demo/Config.txt"
check cli

echo "== comflash on a virtual X server"
start_sim window
xvfb-run -a -s "-screen 0 640x480x24" bash -c '
    set -u
    demo=$1
    twm >/dev/null 2>&1 &
    twm_pid=$!
    "$demo/comflash" &
    app_pid=$!
    # Windows come and go while xdotool looks through them; it complains about those.
    main=$(xdotool search --sync --name "^comflash demo\$" 2>/dev/null | head -n 1)
    sleep 0.3
    # The Update button, 92,104 inside the window.
    xdotool mousemove --window "$main" 92 104 click 1
    sleep 1.5
    import -window root "$demo/session.png"
    # "Successful" is a second window with the title of the main one.
    for _ in $(seq 100); do
        [ "$(xdotool search --name "^comflash demo\$" 2>/dev/null | wc -l)" -ge 2 ] && break
        sleep 0.1
    done
    sleep 0.3
    import -window root "$demo/successful.png"
    kill "$app_pid" "$twm_pid"
    wait 2>/dev/null
' _ "$demo"
check window
echo "Screenshots: $demo/session.png (in progress), $demo/successful.png"

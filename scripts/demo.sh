#!/usr/bin/env bash
# Runs one whole update with the real program against the simulated device: builds comflash
# and comflash-sim, prepares build/demo (the program, a Config.txt and a firmware file), starts
# comflash-sim with real line timing at 19200 baud, links COM1 to it and starts comflash.
# With a display you press Update yourself. Without one the window runs on a virtual X server,
# the script presses Update, saves screenshots of the progress and of the result, and checks
# that the device's memory now holds the firmware file.
set -euo pipefail
cd "$(dirname "$0")/.."

# shellcheck source=scripts/packages.sh
source scripts/packages.sh
demo_packages=("${COMFLASH_BUILD_PACKAGES[@]}" srecord fonts-wqy-zenhei fonts-liberation)
[ -n "${DISPLAY:-}" ] || demo_packages+=(xvfb xauth imagemagick twm xdotool)
ensure_packages "${demo_packages[@]}"

cmake --preset release >/dev/null
cmake --build --preset release --target comflash comflash-sim

demo=$PWD/build/demo
rm -rf "$demo"
mkdir -p "$demo/config/comflash/ports"
cp build/release/apps/comflash/comflash "$demo/"
# Model 1:2:3, settings key "comflash-demo", window title, version line.
printf '1:2:3, comflash-demo, "comflash demo", V1.0\r\n' >"$demo/Config.txt"
# 8 KiB of firmware at 0x1000, version 1.3 by its name.
srec_cat -generate 0x1000 0x3000 -repeat-string "comflash demo firmware " \
    -o "$demo/demo_1.03.hex" -intel -obs=16
srec_cat "$demo/demo_1.03.hex" -intel -fill 0xFF 0x0000 0x10000 -o "$demo/expected.bin" -binary

# The simulated device: its pseudo-terminal's path is its first line of output.
coproc SIM { exec build/release/apps/comflash-sim/comflash-sim --model 1:2:3 --line-timing \
    --sessions 1 --dump "$demo/dump.bin" --log "$demo/device.log"; }
sim_pid=$SIM_PID
trap 'kill "$sim_pid" 2>/dev/null || true' EXIT
read -r device <&"${SIM[0]}"
# COM1, the program's default port, is the simulated device.
ln -s "$device" "$demo/config/comflash/ports/COM1"
export XDG_CONFIG_HOME="$demo/config"
echo "comflash-sim is listening on $device (COM1)."

if [ -n "${DISPLAY:-}" ]; then
    echo "Press Update in the window; close it when the update has ended."
    "$demo/comflash"
    kill -TERM "$sim_pid" 2>/dev/null || true   # still waiting for a session: dump and end
else
    echo "No display: running comflash on a virtual X server and pressing Update."
    xvfb-run -a -s "-screen 0 640x480x24" bash -c '
        twm >/dev/null 2>&1 &
        "$1/comflash" & app=$!
        sleep 2
        xdotool key space               # Update has the focus when the window opens
        sleep 3
        import -window root "$1/progress.png"
        # The device ends with the session; give up after a minute.
        for _ in $(seq 120); do kill -0 "$2" 2>/dev/null || break; sleep 0.5; done
        sleep 1
        import -window root "$1/result.png"
        xdotool key Return              # closes the message box
        sleep 0.5
        kill "$app" 2>/dev/null || true
        kill -TERM "$2" 2>/dev/null || true
    ' _ "$demo" "$sim_pid"
    echo "Screenshots: $demo/progress.png, $demo/result.png"
fi

wait "$sim_pid" || { echo "comflash-sim reported a protocol violation (see $demo/device.log)"; exit 1; }
trap - EXIT
if cmp -s "$demo/dump.bin" "$demo/expected.bin"; then
    echo "Update done: the device's memory holds $demo/demo_1.03.hex."
else
    echo "The device's memory differs from the firmware file (see $demo/device.log)." >&2
    exit 1
fi

#!/usr/bin/env bash
# Builds comflash and starts it from a prepared folder: the program beside a sample
# Config.txt. Without a display it runs the window on a virtual X server for a few seconds
# and saves a screenshot instead.
set -euo pipefail
cd "$(dirname "$0")/.."

# shellcheck source=scripts/packages.sh
source scripts/packages.sh
demo_packages=("${COMFLASH_BUILD_PACKAGES[@]}" fonts-wqy-zenhei)
[ -n "${DISPLAY:-}" ] || demo_packages+=(xvfb xauth imagemagick twm)
ensure_packages "${demo_packages[@]}"

cmake --preset release >/dev/null
cmake --build --preset release --target comflash

demo=build/demo
mkdir -p "$demo"
cp build/release/apps/comflash/comflash "$demo/"
# Model 1:2:3, settings key "comflash-demo", window title, version line.
printf '1:2:3, comflash-demo, "comflash demo", V1.0\r\n' >"$demo/Config.txt"

if [ -n "${DISPLAY:-}" ]; then
    exec "$demo/comflash"
fi

shot="$demo/comflash.png"
echo "No display: showing comflash on a virtual X server and saving a screenshot."
xvfb-run -a -s "-screen 0 640x480x24" bash -c '
    twm >/dev/null 2>&1 &  # a window manager draws the caption bar
    "$1/comflash" & pid=$!
    sleep 3
    import -window root "$2"
    kill "$pid"
' _ "$demo" "$shot"
echo "Screenshot: $shot"

#!/usr/bin/env bash
# comflash.exe under Wine on a virtual X server, from end to end: COM1 leads to comflash-sim
# and the port dialog lists it; Update with no firmware file says so in Chinese; with
# Config.txt and a firmware file in the program's folder, Update runs the session, and the
# device's memory must then hold the firmware while the window says "Successful".
#   window_update.sh SIM COMFLASH_EXE WINDOW_TEXTS_EXE [SCREENSHOT.png]
set -euo pipefail
sim=$1
exe=$2
texts=$3
shot=${4:-}
export WINEPREFIX=${WINEPREFIX:-$PWD/wine} WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

work=$(mktemp -d)
pids=()
cleanup() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    unlink_wine_port 1
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAILED: $*" >&2
    [[ -n $shot ]] && import -window root "$shot"
    [[ -f $work/sim.log ]] && tail -n 5 "$work/sim.log" >&2
    [[ -f $work/texts ]] && cat "$work/texts" >&2
    [[ -f $work/sim.err ]] && tail -n 20 "$work/sim.err" >&2
    [[ -f $work/app.log ]] && tail -n 20 "$work/app.log" >&2
    exit 1
}
# Waits up to a bound a passing run never reaches for a command to succeed.
await() {
    local tries=$1
    shift
    for _ in $(seq "$tries"); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
await 100 test -s "$work/display" || fail "Xvfb did not start"
DISPLAY=:$(head -n1 "$work/display")
export DISPLAY

# shellcheck source=tests/win32/wine_port.sh
source "$(dirname "$0")/wine_port.sh"
# Chinese texts: the dialog fonts and SimSun are the CJK font the system has, so that text is
# measured and drawn in one font; Tahoma, for whatever asks for it by name, links to it.
fonts='HKLM\Software\Microsoft\Windows NT\CurrentVersion'
for face in "MS Shell Dlg" "MS Shell Dlg 2" SimSun; do
    wine reg add "$fonts\\FontSubstitutes" /v "$face" /d "WenQuanYi Zen Hei" /f >/dev/null 2>&1
done
wine reg add "$fonts\\FontLink\\SystemLink" /v Tahoma /t REG_MULTI_SZ \
    /d "wqy-zenhei.ttc,WenQuanYi Zen Hei" /f >/dev/null 2>&1
wine reg add 'HKCU\SoftWare\Maker\Update' /v ComPort /d 1 /f >/dev/null 2>&1

# The program's folder: the program and Config.txt (the firmware file comes later); and the
# memory the device must hold afterwards.
app=$work/app
mkdir -p "$app"
cp "$exe" "$app/comflash.exe"
printf '16:32:48,Maker,Tool,V1.0\r\n' >"$app/Config.txt"
head -c 65536 /dev/zero | tr '\0' '\377' >"$work/expected"
for ((address = 0x2000; address < 0x2300; address += 16)); do
    record=$(printf '10%04X00' "$address")
    sum=$((16 + (address >> 8) + (address & 0xFF)))
    bytes=''
    for ((i = 0; i < 16; ++i)); do
        byte=$((((address + i) * 3) & 0xFF))
        record+=$(printf '%02X' "$byte")
        bytes+=$(printf '\\x%02x' "$byte")
        sum=$((sum + byte))
    done
    printf '%b' "$bytes" | dd of="$work/expected" bs=1 seek="$address" conv=notrunc status=none
    printf ':%s%02X\r\n' "$record" $(((256 - sum % 256) % 256)) >>"$work/fw_2.7.hex"
done
printf ':00000001FF\r\n' >>"$work/fw_2.7.hex"

"$sim" --model 16:32:48 --dump "$work/dump.bin" --log "$work/sim.log" --sessions 1 >"$work/sim.out" 2>"$work/sim.err" &
pids+=($!)
sim_pid=$!
await 100 test -s "$work/sim.out" || fail "comflash-sim did not start"
link_wine_port 1 "$(head -n1 "$work/sim.out")"

(cd "$app" && exec wine ./comflash.exe >"$work/app.log" 2>&1) &
pids+=($!)
window_says() {
    wine "$texts" 2>/dev/null | tr -d '\r' >"$work/texts" && grep -q "$1" "$work/texts"
}
await 100 window_says '^window: Tool$' || fail "the main window did not open"
grep -q 'Button: Update' "$work/texts" || fail "no Update button"

# The port dialog lists COM1, the simulator's port, and selects it; Cancel closes it.
wid=$(xdotool search --onlyvisible --name '^Tool$' | head -n1)
xdotool mousemove --window "$wid" 188 104 click 1
await 100 window_says 'ComboBox: COM1' || fail "the port dialog does not offer COM1"
xdotool key --clearmodifiers alt+c
await 100 eval '! window_says "^window: Set COM"' || fail "Cancel did not close the port dialog"
# Update with no firmware file in the folder: a Chinese message, drawn in characters (the
# screenshot shows them); Enter closes it. A click goes to the middle of the button: the
# window's X window is its client area, and Update lies at 840, 1320 twips, 1095 x 495 in
# size, at 96 dpi (COM beside it at 2280).
xdotool mousemove --window "$wid" 92 104 click 1
await 100 window_says 'Static: 无升级文件' || fail "no message about the missing file"
[[ -n $shot ]] && import -window root "${shot%.png}-chinese.png"
xdotool key --clearmodifiers Return
await 100 eval '! window_says "Static: 无升级文件"' || fail "Enter did not close the message"

cp "$work/fw_2.7.hex" "$app/"
xdotool mousemove --window "$wid" 92 104 click 1

await 600 test -s "$work/dump.bin" || fail "the device never ended its session"
wait "$sim_pid" || fail "the device saw a faulty session"
await 100 window_says 'Static: Successful' || fail "no \"Successful\" box"
[[ -n $shot ]] && import -window root "$shot"
cmp -s "$work/dump.bin" "$work/expected" || fail "the device does not hold the firmware"
echo "comflash.exe wrote the firmware and said Successful"

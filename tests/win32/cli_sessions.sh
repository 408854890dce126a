#!/usr/bin/env bash
# comflash-cli.exe under Wine against comflash-sim through COM1 of the prefix, from end to end:
# a write whose dump must equal the image; writes with lost, refused and late answers and with
# a hang-up, each ending as the Linux program ends them (exit status, the key text, the
# device's memory); two ports at once; a read whose saved file must be byte for byte the Linux
# program's for the same memory; Ctrl-C, which closes the port; the station on two fixtures.
#   cli_sessions.sh SIM COMFLASH_CLI_EXE [LINUX_COMFLASH_CLI]
set -euo pipefail
sim=$1
exe=$2
linux_cli=${3:-}
export WINEPREFIX=${WINEPREFIX:-$PWD/wine} WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

work=$(mktemp -d)
sim_pids=()
cleanup() {
    local pid
    for pid in "${sim_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${sim_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    unlink_wine_port 1
    unlink_wine_port 2
    rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() {
    echo "FAILED: $*" >&2
    for f in out err; do [[ -f $work/$f ]] && sed "s/^/  $f: /" "$work/$f" >&2; done
    failures=$((failures + 1))
}

# shellcheck source=tests/win32/wine_port.sh
source "$(dirname "$0")/wine_port.sh"

# firmware FILE MEMORY BASE: 48 records from BASE up in FILE, and in MEMORY the memory a
# device must hold once FILE is written.
head -c 65536 /dev/zero | tr '\0' '\377' >"$work/erased"
firmware() {
    local file=$work/$1 memory=$work/$2 base=$3 address record sum bytes byte i
    cp "$work/erased" "$memory"
    for ((address = base; address < base + 0x300; address += 16)); do
        record=$(printf '10%04X00' "$address")
        sum=$((16 + (address >> 8) + (address & 0xFF)))
        bytes=''
        for ((i = 0; i < 16; ++i)); do
            byte=$((((address + i) * 7 + 1) & 0xFF))
            record+=$(printf '%02X' "$byte")
            bytes+=$(printf '\\x%02x' "$byte")
            sum=$((sum + byte))
        done
        printf '%b' "$bytes" | dd of="$memory" bs=1 seek="$address" conv=notrunc status=none
        printf ':%s%02X\r\n' "$record" $(((256 - sum % 256) % 256)) >>"$file"
    done
    printf ':00000001FF\r\n' >>"$file"
}
firmware fw_1.2.hex expected 0x2000
cp "$exe" "$work/comflash-cli.exe"

# start_sim N NAME [SIM-OPTIONS...]: a fresh device on COMn, its memory dumped to NAME.bin.
start_sim() {
    local number=$1 name=$2
    shift 2
    rm -f "$work/$name.bin" "$work/$name.out"
    "$sim" --model 16:32:48 --dump "$work/$name.bin" --log "$work/$name.log" "$@" \
        >"$work/$name.out" 2>"$work/$name.err" &
    sim_pids+=($!)
    for _ in $(seq 200); do
        [[ -s $work/$name.out ]] && break
        sleep 0.05
    done
    [[ -s $work/$name.out ]] || { fail "comflash-sim did not start"; return 1; }
    link_wine_port "$number" "$(head -n1 "$work/$name.out")"
}

# The devices end on their own after a session; one that is still there is stopped, which
# dumps its memory.
stop_sims() {
    local pid
    for pid in "${sim_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${sim_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    sim_pids=()
}

# cli ARGS...: comflash-cli.exe from its folder, output redirected; sets $status. The prefix's
# server runs already, with its output dropped, so that none of it lands in the program's.
cli() {
    wineserver -p3 >/dev/null 2>&1 || true
    status=0
    (cd "$work" && wine ./comflash-cli.exe "$@" >"$work/out" 2>"$work/err") || status=$?
}

# write_case NAME EXIT TEXT MEMORY [SIM-OPTIONS...]: a write of the firmware to COM1 must end
# with EXIT, say TEXT (on either stream), and leave the device holding MEMORY (- for any).
write_case() {
    local name=$1 exit=$2 text=$3 memory=$4
    shift 4
    start_sim 1 dev --sessions 1 "$@" || return 0
    cli write fw_1.2.hex --port COM1 --model 16:32:48
    stop_sims
    [[ $status == "$exit" ]] || fail "$name: exit status $status, not $exit"
    grep -qF -- "$text" "$work/out" "$work/err" || fail "$name: no \"$text\""
    if [[ $exit != 0 ]] && grep -q Successful "$work/out"; then fail "$name: said Successful"; fi
    [[ $memory == - ]] || cmp -s "$work/dev.bin" "$work/$memory" || fail "$name: the device does not hold $memory"
}

write_case "a clean write" 0 $'\nSuccessful' expected
grep -q 'Writing fw_1.2.hex (version 1.2) to model 16:32:48 on COM1' "$work/out" ||
    fail "no first line"
grep -q '100%  768/768 bytes' "$work/out" || fail "no progress to 100%"
write_case "a lost answer" 0 $'\nSuccessful' expected --fault drop:3
write_case "a refused frame" 0 $'\nSuccessful' expected --fault nak:2
write_case "a late answer" 0 $'\nSuccessful' expected --fault delay:4:1500
write_case "the device hangs up" 1 'Please reselect COM port!' - --fault hangup:5
write_case "another model" 1 'Model Error！' erased --model 16:32:49
write_case "a silent device" 3 'Check connection!Retry or cancel? Cancel (no terminal to ask)' \
    erased --fault drop:1-100

# Two ports at once: both devices get the firmware.
start_sim 1 one --sessions 1 && start_sim 2 two --sessions 1 && {
    cli write fw_1.2.hex --port COM1 --port COM2 --model 16:32:48
    stop_sims
    [[ $status == 0 ]] || fail "two ports: exit status $status"
    grep -q '2 of 2 ports succeeded\|^COM2 .*Successful' "$work/out" || fail "two ports: no table"
    for dump in one two; do
        cmp -s "$work/$dump.bin" "$work/expected" || fail "two ports: $dump lacks the firmware"
    done
}

# A read: the saved file is the Linux program's, byte for byte, line ends included.
start_sim 1 dev --memory "$work/fw_1.2.hex" --sessions 1 && {
    cli read old.hex --port COM1 --model 1:1:1
    stop_sims
    [[ $status == 0 ]] || fail "read: exit status $status"
    grep -q '读取成功' "$work/out" || fail "read: no 读取成功"
    [[ $(tail -c 2 "$work/old.hex" | od -An -tx1 | tr -d ' ') == 0a0d ]] ||
        fail "read: the file does not end in LF CR"
}
if [[ -n $linux_cli ]]; then
    "$sim" --memory "$work/fw_1.2.hex" --sessions 1 >"$work/linux.out" 2>/dev/null &
    sim_pids+=($!)
    for _ in $(seq 200); do
        [[ -s $work/linux.out ]] && break
        sleep 0.05
    done
    "$linux_cli" read "$work/linux.hex" --port "$(head -n1 "$work/linux.out")" \
        --model 1:1:1 >/dev/null 2>&1 || fail "the Linux read failed"
    stop_sims
    cmp "$work/old.hex" "$work/linux.hex" || fail "read: the file differs from the Linux one"
fi

# Ctrl-C (Wine raises it on SIGINT) while the device stays silent: the program closes the
# port, which the device sees, and ends with status 1.
start_sim 1 dev --fault drop:1-1000 && {
    (cd "$work" && exec wine ./comflash-cli.exe write fw_1.2.hex --port COM1 --model 16:32:48 \
        --retries 100 >"$work/out" 2>"$work/err") &
    cli_pid=$!
    for _ in $(seq 200); do
        grep -q 'fault drop' "$work/dev.log" 2>/dev/null && break
        sleep 0.05
    done
    kill -INT "$cli_pid" 2>/dev/null || true  # unless it ended on its own
    status=0
    wait "$cli_pid" || status=$?
    for _ in $(seq 100); do
        grep -q 'line closed' "$work/dev.log" && break
        sleep 0.05
    done
    [[ $status == 1 ]] || fail "Ctrl-C: exit status $status"
    grep -q 'Interrupted: the ports are closed.' "$work/err" || fail "Ctrl-C: no word of it"
    grep -q 'line closed' "$work/dev.log" || fail "Ctrl-C: the port stayed open"
    stop_sims
}

# The station on two fixtures of three boards each, the second board of COM1 failing its verify
# (a stuck byte) and taken out after 5 s; Ctrl-C once the sixth board is told. Every board is
# flashed once and recorded, with a serial number of its own from a counter, an after-board hook
# run through cmd for each, and the fixtures end on their own, without a violation.
firmware fw_8.0.hex high 0x8000
cp "$work/high" "$work/stuck"
printf '\x00' | dd of="$work/stuck" bs=1 seek=$((0x8110)) conv=notrunc status=none
start_sim 1 dumpA --boards 3 --board-gap 1000 --board-stay 5000 \
    --board-fault 2:stuck:0x8110:0x00 && start_sim 2 dumpB --boards 3 --board-gap 1000 && {
    echo 100 >"$work/counter.txt"
    (cd "$work" && exec wine ./comflash-cli.exe station fw_8.0.hex --port COM1 --port COM2 \
        --model 16:32:48 --verify --log station.csv --station win-1 --serial-at 0x8200 \
        --serial-counter counter.txt \
        --after-board 'echo %COMFLASH_SERIAL% %COMFLASH_CODE%>>after-%COMFLASH_PORT%.txt' \
        >"$work/out" 2>"$work/err") &
    cli_pid=$!
    boards=0
    for _ in $(seq 1200); do
        boards=$(grep -c '^COM[12]: board [1-3]: ' "$work/out" 2>/dev/null || true)
        ((boards >= 6)) && break
        sleep 0.05
    done
    kill -INT "$cli_pid" 2>/dev/null || true  # unless it ended on its own
    status=0
    wait "$cli_pid" || status=$?
    ((boards == 6)) || fail "station: $boards boards told, not 6"
    [[ $status == 1 ]] || fail "station: exit status $status, not 1"
    grep -qF '6 boards: 5 passed, 1 failed' "$work/out" || fail "station: no totals"
    for pid in "${sim_pids[@]}"; do
        for _ in $(seq 200); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.05
        done
        if kill -0 "$pid" 2>/dev/null; then
            fail "station: a fixture did not end"
            kill "$pid"
        fi
        wait "$pid" 2>/dev/null || fail "station: a fixture ended with a violation"
    done
    sim_pids=()
    log=$work/station.csv
    [[ $(wc -l <"$log") == 7 ]] || fail "station: $(wc -l <"$log") log lines, not 7"
    [[ $(head -n1 "$log") == time_utc,port,device,firmware,sha256,* ]] || fail "station: no header"
    [[ $(grep -c ',succeeded,yes,' "$log") == 5 ]] || fail "station: not 5 boards passed"
    [[ $(grep -c ',verify-failed,no,' "$log") == 1 ]] || fail "station: not 1 verify failed"
    [[ $(grep -c ',fw_8.0.hex,.*,16:32:48,8.0,' "$log") == 6 ]] || fail "station: records"
    [[ $(grep -c ',win-1,10[0-5],\(used\|void\),' "$log") == 6 ]] || fail "station: serials"
    [[ $(tr -d '\r' <"$work/counter.txt") == 106 ]] || fail "station: the counter"
    # Each port's hook appends to a file of its own: two at once may run.
    [[ $(cat "$work"/after-COM*.txt | tr -d '\r' | grep -c '^10[0-5] \(succeeded\|verify-failed\) *$') == 6 ]] ||
        fail "station: the after-board hook: $(cat "$work"/after-COM*.txt)"
    serials=()
    for fixture in A B; do
        for board in 1 2 3; do
            memory=high
            [[ $fixture$board == A2 ]] && memory=stuck
            dump=$work/dump$fixture.bin.$board
            # The board holds the firmware, but for its own serial number (u32le at 0x8200).
            while read -r offset _; do
                ((offset > 0x8200 && offset <= 0x8204)) ||
                    fail "station: board $board of $fixture does not hold the firmware"
            done < <(cmp -l "$dump" "$work/$memory" 2>/dev/null)
            serials+=("$(od -An -tu4 -j $((0x8200)) -N4 "$dump" | tr -d ' ')")
        done
    done
    [[ $(printf '%s\n' "${serials[@]}" | sort -n | tr '\n' ' ') == '100 101 102 103 104 105 ' ]] ||
        fail "station: the serial numbers in the boards: ${serials[*]}"
}

# Bad input: status 2, the parser's words, nothing sent.
cli write fw_1.2.hex --port
if [[ $status != 2 ]] || ! grep -qF "Missing value after '--port'." "$work/err"; then
    fail "a missing --port value"
fi
cli write fw_1.2.hex --port /dev/ttyS0
if [[ $status != 2 ]] || ! grep -qF -- "--port: Windows names its serial ports" "$work/err"; then
    fail "a device path"
fi

# The ports: the device on COM1 is listed; a serial number no port has is refused with the
# ports there are; a port that is not there is reported with the ports that are.
if start_sim 1 ports; then
    cli ports
    [[ $status == 0 ]] && grep -q '^COM1' "$work/out" || fail "ports: COM1 is not listed"
    cli write fw_1.2.hex --port A10K3X --model 16:32:48
    [[ $status == 2 ]] && grep -q '^  COM1' "$work/err" &&
        grep -qF -- '--port A10K3X: no port has that serial number or by-id name; the ports there' \
            "$work/err" || fail "a serial number no port has"
    cli write fw_1.2.hex --port COM77 --model 16:32:48
    [[ $status == 3 ]] && grep -qF 'The ports there are: COM1' "$work/err" ||
        fail "a port that is not there"
    stop_sims
fi

if ((failures > 0)); then
    echo "$failures case(s) failed" >&2
    exit 1
fi
echo "comflash-cli.exe wrote, read and failed as the Linux program does"

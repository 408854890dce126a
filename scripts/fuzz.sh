#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (the fuzz preset: ASan + UBSan, build/fuzz) and runs
# each over its committed seed corpus (fuzz/corpus/TARGET) for a bounded time. Fails at the
# first finding, which is kept in build/fuzz/findings/ with the target's log.
#
#   scripts/fuzz.sh [SECONDS [TARGET...]]    15 seconds each and every target by default
#
# Rerun a finding with build/fuzz/fuzz/fuzz_TARGET FILE. New inputs a run finds go to a
# temporary folder, not into the committed corpus.
set -euo pipefail
cd "$(dirname "$0")/.."

# shellcheck source=scripts/packages.sh
source scripts/packages.sh
ensure_packages "${COMFLASH_BUILD_PACKAGES[@]}" "${COMFLASH_FUZZ_PACKAGES[@]}"

seconds=${1:-15}
if [ $# -gt 0 ]; then shift; fi
targets=("$@")
[ ${#targets[@]} -gt 0 ] ||
    targets=(hex_line hex_file config session_replies sim_frames sim_command_line settings)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "${targets[@]/#/fuzz_}"

findings=build/fuzz/findings
mkdir -p "$findings"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for target in "${targets[@]}"; do
    mkdir -p "$work/$target"
    log="$findings/$target.log"
    if ! build/fuzz/fuzz/"fuzz_$target" -max_total_time="$seconds" -timeout=10 \
        -artifact_prefix="$findings/$target-" -print_final_stats=1 \
        "$work/$target" "fuzz/corpus/$target" >"$log" 2>&1; then
        tail -n 30 "$log" >&2
        echo "fuzz_$target found a fault; the input is in $findings/ (log: $log)" >&2
        exit 1
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    coverage=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1)
    echo "fuzz_$target: ${runs:-?} inputs in ${seconds} s, ${coverage:-cov: ?}, no finding"
done

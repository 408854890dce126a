#!/usr/bin/env bash
# Builds the benchmarks with optimisation and runs them; they print figures and assert none.
set -euo pipefail
cd "$(dirname "$0")/.."

# shellcheck source=scripts/packages.sh
source scripts/packages.sh
ensure_packages "${COMFLASH_BUILD_PACKAGES[@]}" libbenchmark-dev srecord

cmake --preset bench >/dev/null
cmake --build --preset bench --target comflash_bench comflash_session_bench
build/bench/bench/comflash_bench "$@"
# Whole sessions over a pseudo-terminal, and the HEX loader beside srec_cat (about a minute).
build/bench/bench/comflash_session_bench

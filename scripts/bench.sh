#!/usr/bin/env bash
# Builds the benchmarks with optimisation and runs them; they print figures and assert none.
set -euo pipefail
cd "$(dirname "$0")/.."

# shellcheck source=scripts/packages.sh
source scripts/packages.sh
ensure_packages "${COMFLASH_BUILD_PACKAGES[@]}" libbenchmark-dev srecord \
    "${COMFLASH_DATABASE_PACKAGES[@]}"

cmake --preset bench >/dev/null
cmake --build --preset bench --target comflash_bench comflash_session_bench comflash_ports_bench \
    comflash_records_bench
build/bench/bench/comflash_bench "$@"
build/bench/bench/comflash_ports_bench "$@"
# records push into a throw-away PostgreSQL cluster that counts each statement's time.
pg_virtualenv -o shared_preload_libraries=pg_stat_statements \
    -o pg_stat_statements.track_planning=on build/bench/bench/comflash_records_bench
# Whole sessions over a pseudo-terminal, and the HEX loader beside srec_cat (about three
# minutes). With the optimised Windows build there (the windows-release preset, as the zip
# ships it) and Wine installed, comflash-cli.exe writes as well;
# inside pg_virtualenv the station also runs with the factory's database.
exe=build/windows-release/apps/comflash-cli/comflash-cli.exe
if [[ -f $exe ]] && command -v wine >/dev/null; then
    pg_virtualenv build/bench/bench/comflash_session_bench --wine "$PWD/$exe"
else
    pg_virtualenv build/bench/bench/comflash_session_bench
fi

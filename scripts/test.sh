#!/usr/bin/env bash
# Builds comflash with AddressSanitizer and UndefinedBehaviorSanitizer, warnings as errors,
# and runs the whole suite with ctest; then builds the fuzz targets with clang and runs each
# for a bounded time (scripts/fuzz.sh). Installs the Debian packages it needs when run as root.
set -euo pipefail
cd "$(dirname "$0")/.."

# shellcheck source=scripts/packages.sh
source scripts/packages.sh
ensure_packages "${COMFLASH_BUILD_PACKAGES[@]}" "${COMFLASH_TEST_PACKAGES[@]}"

cmake --preset test
cmake --build --preset test
ctest --preset test -j "$(nproc)"
scripts/fuzz.sh

#!/usr/bin/env bash
# Builds comflash with AddressSanitizer and UndefinedBehaviorSanitizer, warnings as errors,
# and runs the whole suite with ctest, the database tests against a throw-away PostgreSQL
# cluster (pg_virtualenv); builds the Debian package in the release build, lints, installs,
# runs and purges it (scripts/package-test.sh); then builds the Windows code and comflash.exe
# with mingw-w64, runs their tests under Wine (the window ones on Xvfb) and packs the zip; and
# builds the fuzz targets with clang and runs each for a bounded time (scripts/fuzz.sh).
# Installs the Debian packages it needs when run as root.
set -euo pipefail
cd "$(dirname "$0")/.."

# shellcheck source=scripts/packages.sh
source scripts/packages.sh
ensure_packages "${COMFLASH_BUILD_PACKAGES[@]}" "${COMFLASH_TEST_PACKAGES[@]}" \
    "${COMFLASH_DATABASE_PACKAGES[@]}" "${COMFLASH_WINDOWS_PACKAGES[@]}"

cmake --preset test
cmake --build --preset test
ctest --preset test -j "$(nproc)" -LE database

# The factory's database against a real server: pg_virtualenv makes a throw-away cluster
# (15/regress), exports PGHOST, PGPORT, PGUSER, PGPASSWORD and PGDATABASE for it, and drops
# it afterwards. These tests fail, rather than pass, without it; they run one at a time, since
# one stops and starts the cluster.
echo "The factory's database: its tests against a throw-away PostgreSQL cluster"
pg_virtualenv ctest --preset test -L database

# The Debian package: built in the release build, checked with lintian, installed, run and
# purged (scripts/package-test.sh), which needs root to install it.
if [ "$(id -u)" -eq 0 ]; then
    scripts/package-test.sh
else
    echo "Not root: the Debian package is not tried (scripts/package-test.sh needs root)"
fi

echo "Windows: building with mingw-w64 and running the tests under Wine"
# A private Wine prefix, made afresh by the first test that runs.
# No .NET or HTML engine is needed: Wine is not to offer their installers.
export WINEPREFIX="$PWD/build/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cmake --preset windows
cmake --build --preset windows
ctest --preset windows
# The download for Windows users: comflash-<version>-win64.zip, of the optimised programs.
cmake --preset windows-release
cmake --build --preset windows-release
(cd build/windows-release && cpack -G ZIP)

scripts/fuzz.sh

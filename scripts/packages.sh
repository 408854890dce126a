# The Debian 12 packages comflash needs, and a function that installs the missing ones.
# Sourced by the other scripts.

# nlohmann-json3-dev: the command line's --json output (header-only; the Windows build copies
# its headers). libpq-dev: the factory's database.
COMFLASH_BUILD_PACKAGES=(cmake ninja-build g++ qt6-base-dev qt6-serialport-dev pkgconf libpq-dev
    nlohmann-json3-dev)
# srecord is the independent Intel HEX oracle; the CJK font lets the Chinese texts render.
COMFLASH_TEST_PACKAGES=(libgtest-dev libgmock-dev srecord fonts-wqy-zenhei clang-format git)
# The factory's database: its tests and the records benchmark run against a throw-away
# PostgreSQL cluster made by pg_virtualenv (postgresql-common); pg_stat_statements comes with
# postgresql-contrib.
COMFLASH_DATABASE_PACKAGES=(postgresql postgresql-common postgresql-contrib)
# The Windows build and Wine to run its tests; the window tests draw on a virtual X server,
# press buttons with xdotool, take a screenshot, and show Chinese texts with the CJK font.
COMFLASH_WINDOWS_PACKAGES=(g++-mingw-w64-x86-64 googletest wine wine64 xvfb xdotool imagemagick
    fonts-wqy-zenhei)
# The demo checks the device's memory with srecord; without a display it runs the window on a
# virtual X server, clicks it with xdotool and takes screenshots with ImageMagick.
COMFLASH_DEMO_PACKAGES=(srecord fonts-wqy-zenhei fonts-liberation)
COMFLASH_VIRTUAL_DISPLAY_PACKAGES=(xvfb xauth imagemagick twm xdotool)
# The Debian package and its checks (scripts/package-test.sh): dpkg-shlibdeps finds its
# dependencies (with file), lintian and desktop-file-validate judge it, man-db and
# bash-completion find its man pages and completion once it is installed.
COMFLASH_PACKAGING_PACKAGES=(dpkg-dev file lintian desktop-file-utils man-db bash-completion)
# The fuzz stage (scripts/fuzz.sh): clang and its libFuzzer and sanitizer runtimes.
COMFLASH_FUZZ_PACKAGES=(clang-14 libclang-rt-14-dev)

ensure_packages() {
    local missing=()
    local package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' \
            || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing packages. Install them with:" >&2
        echo "  sudo apt-get install -y ${missing[*]}" >&2
        exit 1
    fi
    echo "Installing ${missing[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
}

#!/usr/bin/env bash
# Builds the Debian package in the release build (cpack -G DEB), checks it with lintian and
# desktop-file-validate, installs it with dpkg, runs the installed programs, checks that the
# man pages and the bash completion are found where they belong, then purges it and checks
# that none of its files is left. Runs as root (it installs the package) and installs the
# Debian packages it needs. Leaves the package in build/release and lintian's words in
# build/release/lintian.txt.
set -euo pipefail
cd "$(dirname "$0")/.."

# shellcheck source=scripts/packages.sh
source scripts/packages.sh
ensure_packages "${COMFLASH_BUILD_PACKAGES[@]}" "${COMFLASH_PACKAGING_PACKAGES[@]}"
if [ "$(id -u)" -ne 0 ]; then
    echo "package-test.sh installs and removes the package: run it as root" >&2
    exit 1
fi
if dpkg-query -W -f='${Status}' comflash 2>/dev/null | grep -q 'install ok installed'; then
    echo "comflash is installed already: remove it first (dpkg --purge comflash)" >&2
    exit 1
fi

# Built as Debian builds its packages: hardened (fortified, stack protector, read-only
# relocations bound at start), with dpkg-buildflags' flags but no debugging information.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags=" $(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS) "
cmake --preset release -DCMAKE_CXX_FLAGS="${cxxflags// -g / }" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)"
cmake --build --preset release
rm -f build/release/comflash_*.deb
(cd build/release && cpack -G DEB)
deb=$(echo build/release/comflash_*.deb)
echo "$deb: $(stat -c %s "$deb") bytes"
dpkg-deb --field "$deb" Package Version Section Priority Depends
dpkg-deb --contents "$deb"

echo "lintian:"
# Errors and warnings fail; the informational tags are shown.
lintian --display-info --fail-on error,warning "$deb" | tee build/release/lintian.txt

fail() {
    echo "FAILED: $*" >&2
    exit 1
}
finish() {
    # Never leave the package installed, whatever failed.
    case $(dpkg-query -W -f='${Status}' comflash 2>/dev/null || true) in
        "" | *not-installed) ;;
        *) dpkg --purge comflash >/dev/null || true ;;
    esac
}
trap finish EXIT

# A minimal system may keep man pages and documents out of every package (path-exclude in
# /etc/dpkg/dpkg.cfg.d): this package's are let in, so that they can be checked.
dpkg --path-include='/usr/share/man/man1/comflash*' --path-include='/usr/share/doc/comflash/*' \
    -i "$deb" || DEBIAN_FRONTEND=noninteractive apt-get -f install -y -qq
dpkg-query -W -f='${Status}\n' comflash | grep -qx 'install ok installed' \
    || fail "comflash did not install"
files=$(dpkg -L comflash)

version=$(/usr/bin/comflash-cli --version)
[ "$version" = "comflash-cli $(dpkg-deb --field "$deb" Version | sed 's/-[^-]*$//')" ] \
    || fail "comflash-cli --version says \"$version\""
echo "$version"
/usr/bin/comflash-cli ports || fail "comflash-cli ports ended with status $?"
/usr/bin/comflash --version >/dev/null || fail "comflash --version"
/usr/bin/comflash-sim --help >/dev/null || fail "comflash-sim --help"
for program in comflash comflash-cli comflash-sim; do
    page=$(man -w "$program") || fail "man -w $program finds no page"
    [ "$page" = "/usr/share/man/man1/$program.1.gz" ] || fail "man -w $program gives $page"
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 \
        >/dev/null) || fail "man cannot format $page"
    [ -z "$warnings" ] || fail "$page: $warnings"
done
desktop-file-validate /usr/share/applications/comflash.desktop
# bash-completion loads the completion by the command's name when it is first asked for.
completed=$(bash -c 'source /usr/share/bash-completion/bash_completion
    __load_completion comflash-cli || exit 1
    COMP_WORDS=(comflash-cli wr); COMP_CWORD=1
    "$(complete -p comflash-cli | sed "s/.*-F \([^ ]*\) .*/\1/")" comflash-cli wr comflash-cli
    echo "${COMPREPLY[*]}"')
[ "$completed" = write ] || fail "the installed completion gives \"$completed\" for wr"

dpkg --purge comflash
left=()
while IFS= read -r path; do
    [ -e "$path" ] || [ -L "$path" ] || continue
    # A folder stays when it is not empty or another package has it too.
    if [ -d "$path" ] && { [ -n "$(ls -A "$path")" ] || dpkg-query -S "$path" >/dev/null 2>&1; }; then
        continue
    fi
    left+=("$path")
done <<<"$files"
[ ${#left[@]} -eq 0 ] || fail "left after dpkg --purge: ${left[*]}"
echo "The package installed, ran and was purged without a trace: $deb"

#!/usr/bin/env bash
# Every command and option the programs' help shows is in their man page, and every option a
# man page names is one the help shows, so that neither can drift from the other. For
# comflash-cli each command's own help is held against that command's SYNOPSIS in the page.
# Usage: man_pages_test.sh MAN_FOLDER COMFLASH COMFLASH_CLI COMFLASH_SIM
set -uo pipefail
man_folder=$1
declare -A program=([comflash]=$2 [comflash-cli]=$3 [comflash-sim]=$4)
fails=0

# The text of roff source, without font changes and escapes: \- is -, \& nothing.
plain() { sed -e 's/\\f[BIRP]//g; s/\\f([A-Z][A-Z]//g; s/\\-/-/g; s/\\&//g; s/\\e/\\/g; s/"//g'; }
# The options in a text: words of one or two dashes not glued to a word before them.
options() { grep -oE -- '(^|[^[:alnum:]_./-])--?[[:alnum:]?][[:alnum:]-]*' | sed 's/^[^-]*//' | sort -u; }
# Each SYNOPSIS entry (.SY to .YS) on one line, the program's name first.
synopses() { awk '/^\.SY/ {on = 1; s = ""} on {line = $0; sub(/^\.[A-Z]+ */, "", line); s = s " " line}
                  /^\.YS/ {on = 0; print s}' "$1" | plain; }
# The tags of the page's items (the line after each .TP).
tags() { awk 'after {print; after = 0} /^\.TP/ {after = 1}' "$1" | plain; }
# The words of `want` not in `have`, each on one line.
lacking() { comm -23 <(sort -u <<<"$1") <(sort -u <<<"$2") | grep -v '^$'; }

report() {  # PAGE WHAT WORDS...
    local page=$1 what=$2
    shift 2
    [ $# -eq 0 ] && return
    echo "$man_folder/$page.1: $what: $*"
    fails=$((fails + 1))
}

for name in comflash comflash-cli comflash-sim; do
    page="$man_folder/$name.1"
    help=$("${program[$name]}" --help) || { echo "$name --help failed"; exit 1; }
    shown=$(options <<<"$help")
    in_page=$(synopses "$page"; tags "$page")
    documented=$(options <<<"$in_page")
    words=$(plain <"$page" | options)
    commands=
    if [ "$name" = comflash-cli ]; then
        # The summary's command lines: "  write FILE.hex --port PORT ...".
        commands=$(sed -n '/^Commands:/,/^$/ s/^  \([a-z][a-z-]*\).*/\1/p' <<<"$help")
        page_commands=$(synopses "$page" | awk '$2 ~ /^[a-z]/ {print $2}')
        # shellcheck disable=SC2046
        report "$name" "commands 'comflash-cli --help' shows but no SYNOPSIS line has" \
            $(lacking "$commands" "$page_commands")
        # shellcheck disable=SC2046
        report "$name" "SYNOPSIS commands 'comflash-cli --help' does not show" \
            $(lacking "$page_commands" "$commands")
        for command in $commands; do
            own=$("${program[$name]}" "$command" --help) || { echo "$command --help failed"; exit 1; }
            # --help is the program's, in a SYNOPSIS line of its own.
            own_options=$(options <<<"$own" | grep -vxE -- '--help|-h|-\?')
            synopsis=$(synopses "$page" | awk -v c="$command" '$2 == c' | options)
            # shellcheck disable=SC2046
            report "$name" "options 'comflash-cli $command --help' shows but its SYNOPSIS lacks" \
                $(lacking "$own_options" "$synopsis")
            # shellcheck disable=SC2046
            report "$name" "options in the SYNOPSIS of $command that '$command --help' does not show" \
                $(lacking "$synopsis" "$own_options")
            shown=$(printf '%s\n%s' "$shown" "$(options <<<"$own")")
        done
    fi
    # shellcheck disable=SC2046
    report "$name" "options '$name --help' shows but the page does not describe" \
        $(lacking "$shown" "$words")
    # shellcheck disable=SC2046
    report "$name" "options the page describes that no help of $name shows" \
        $(lacking "$documented" "$shown")
done
[ "$fails" -eq 0 ] && echo "the three man pages name every command and option the help shows"
exit $((fails > 0))

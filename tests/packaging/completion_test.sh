#!/usr/bin/env bash
# The bash completion of comflash-cli, sourced into a plain bash: each line of the table is a
# command line with the cursor at its end (| marks an empty word being completed) and the
# completions it must give, sorted; "~ WORDS" means they must be among them.
# Usage: completion_test.sh COMPLETION_FILE
set -uo pipefail
completion=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/firmware/sub" "$work/config/comflash/ports"
touch "$work/firmware/a_1.03.hex" "$work/firmware/B_2.00.HEX" "$work/firmware/notes.txt" \
    "$work/firmware/runs.csv" "$work/firmware/Config.txt"
ln -s /dev/null "$work/config/comflash/ports/COM7"

# command line (words separated by blanks, | an empty last word) => expected completions
table=(
    "wr => write"
    "| => ports read records station write"
    "- => --help --version"
    "write --ve => --verify"
    "write --co => --config"
    "read --ve => "
    "read --r => --retries"
    "station x.hex --l => --log"
    "ports - => --help --json"
    "ports | => "
    "write | => B_2.00.HEX a_1.03.hex sub"
    "station a => a_1.03.hex"
    "read | => B_2.00.HEX a_1.03.hex sub"
    "write a_1.03.hex | => --config --help --json --model --port --retries --serial-at --serial-counter --serial-format --serial-list --verify"
    "write a_1.03.hex --port CO => ~ COM7"
    "write --port = CO => ~ COM7"
    "write a_1.03.hex --port COM7 --model | => "
    "write --port COM7 | => B_2.00.HEX a_1.03.hex sub"
    "write --port=COM7 | => B_2.00.HEX a_1.03.hex sub"
    "station a_1.03.hex --log | => runs.csv sub"
    "read out.hex --config C => Config.txt"
    "write -- --v => "
    "station a_1.03.hex --serial-f => --serial-format --serial-from-db --serial-from-hook"
    "station a_1.03.hex --serial-format u3 => u32be u32le"
    "records | => push"
    "records push | => runs.csv sub"
)

fails=0
for row in "${table[@]}"; do
    line=${row%% => *}
    want=${row#* => }
    got=$(cd "$work/firmware" && XDG_CONFIG_HOME="$work/config" bash --norc --noprofile -c '
        source "$1"
        shift
        COMP_WORDS=(comflash-cli "$@")
        [[ ${COMP_WORDS[-1]} == "|" ]] && COMP_WORDS[-1]=
        COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
        _comflash_cli
        printf "%s\n" "${COMPREPLY[@]}" | LC_ALL=C sort | tr "\n" " "
    ' completion "$completion" ${line//=/ = })
    got=${got% }
    if [[ $want == "~ "* ]]; then
        for word in ${want#"~ "}; do
            [[ " $got " == *" $word "* ]] && continue
            echo "comflash-cli $line<TAB>: $word missing from: $got"
            fails=$((fails + 1))
        done
    elif [[ $got != "$want" ]]; then
        echo "comflash-cli $line<TAB>: want \"$want\", got \"$got\""
        fails=$((fails + 1))
    fi
done
[[ $fails -eq 0 ]] && echo "${#table[@]} completions as expected"
exit $((fails > 0))

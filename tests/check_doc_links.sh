#!/usr/bin/env bash
# Fails, naming the link, when a relative link in README.md or docs/*.md leads to no file.
set -euo pipefail
cd "$(dirname "$0")/.."
status=0
for doc in README.md docs/*.md; do
    while IFS= read -r target; do
        path=${target%%#*}
        [[ -z $path || $path =~ ^[a-z]+: ]] && continue
        if [[ ! -e $(dirname "$doc")/$path ]]; then
            echo "$doc: the link ($target) leads to no file" >&2
            status=1
        fi
    done < <(grep -o '](\([^)]*\))' "$doc" | sed 's/^](\(.*\))$/\1/')
done
exit "$status"

#!/usr/bin/env bash
# Each command's options in the manual page of zorbix-cli are the ones its --help names.
# Usage: helpandmanual.sh ZORBIX_CLI MANUAL_PAGE
set -euo pipefail
cli=$1 page=$2
options() { grep -o -- '--[a-z][a-z0-9-]*' | grep -vx -- '--help' | sort -u || true; }
commands=$("$cli" --help | awk '/^Commands:/ { on = 1; next } /^$/ { on = 0 } on { print $1 }')
[ -n "$commands" ] || { echo "FAIL: no commands in zorbix-cli --help"; exit 1; }
# The manual as text: "\-" a minus, no font changes.
text=$(sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' "$page")
failed=0
for command in $commands; do
    # Under COMMANDS, a command's entry runs from its ".BR name" line to the next command's.
    manual=$(awk -v list="$commands" -v want="$command" '
        BEGIN { n = split(list, names, /[ \n]+/); for (i = 1; i <= n; i++) known[names[i]] = 1 }
        /^\.SH/ { section = $2; current = "" }
        section == "COMMANDS" && $1 == ".BR" && ($2 in known) { current = $2 }
        current == want' <<<"$text" | options)
    help=$("$cli" "$command" --help | options)
    if [ "$manual" != "$help" ]; then
        echo "FAIL: zorbix-cli $command: --help and the manual page name different options"
        diff <(echo "$help") <(echo "$manual") | sed -n 's/^</  only in --help:/p; s/^>/  only in the manual:/p'
        failed=1
    fi
done
[ "$failed" = 0 ] && echo "the manual names the options of: $(echo $commands)"
exit "$failed"

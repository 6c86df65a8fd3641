#!/bin/sh
# The man pages render without warnings and name every option that the programs' --help lists,
# so that neither drifts from the other.
set -eu
cli=$1
app=$2
app_page=$3
cli_page=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen HOME="$work" XDG_CONFIG_HOME="$work/config" LC_ALL=C.UTF-8

# render PAGE NAME: the page as text in $work/NAME.txt.
render() {
    MANWIDTH=100 man --warnings -E ascii -l "$1" >"$work/$2.txt" 2>"$work/$2.err"
    if [ -s "$work/$2.err" ]; then
        echo "$2 does not render cleanly:" >&2
        cat "$work/$2.err" >&2
        exit 1
    fi
}

# Every long option (and every command) in a help text must appear in the rendered page.
check() {
    page=$1
    shift
    missing=""
    for word in $(sed -n 's/^ *\(-[a-z], \)\{0,1\}\(--[a-z][a-z-]*\).*/\2/p' "$@" | sort -u); do
        grep -qE -- "$word([^a-z-]|$)" "$work/$page.txt" || missing="$missing $word"
    done
    if [ -n "$missing" ]; then
        echo "$page does not mention:$missing" >&2
        exit 1
    fi
}

render "$app_page" quillet.1
render "$cli_page" quillet-cli.1

"$app" --help >"$work/app-help"
check quillet.1 "$work/app-help"

"$cli" --help >"$work/cli-help"
commands=$(sed -n '/^Commands:/,/^$/s/^  \([a-z][a-z]*\) .*/\1/p' "$work/cli-help")
[ -n "$commands" ] || { echo "quillet-cli --help lists no commands" >&2; exit 1; }
for command in $commands; do
    grep -q "^       $command\b" "$work/quillet-cli.1.txt" ||
        { echo "quillet-cli.1 does not describe the command $command" >&2; exit 1; }
    "$cli" "$command" --help >"$work/help-$command"
done
check quillet-cli.1 "$work"/help-*
echo "the man pages render and name every command and option: $(echo $commands)"

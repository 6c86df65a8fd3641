#!/bin/bash
# The bash completion offers every command of quillet-cli --help and every option of each
# command's --help.
set -euo pipefail
cli=$1
completion=$2
export QT_QPA_PLATFORM=offscreen HOME=/nonexistent

source "$completion"
complete -p quillet-cli | grep -q -- '-F _quillet_cli' || { echo "not registered" >&2; exit 1; }

# Whether completing the last of the words offers the expected one.
offers() {
    local expected=$1
    shift
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _quillet_cli
    local word
    for word in "${COMPREPLY[@]}"; do
        [[ $word == "$expected" ]] && return 0
    done
    return 1
}

commands=$("$cli" --help | sed -n '/^Commands:/,/^$/s/^  \([a-z][a-z]*\) .*/\1/p')
status=0
for command in $commands; do
    offers "$command" quillet-cli "" ||
        { echo "the command $command is not offered" >&2; status=1; }
    for option in $("$cli" "$command" --help | sed -n 's/^ *\(-[a-z], \)\{0,1\}\(--[a-z][a-z-]*\).*/\2/p'); do
        offers "$option" quillet-cli "$command" -- ||
            { echo "$command: the option $option is not offered" >&2; status=1; }
    done
done
# Values with spaces come back quoted for the shell.
offers 'Total\ MB' quillet-cli show --sort "Total" ||
    { echo "--sort does not offer Total MB" >&2; status=1; }
offers 'Social\ Networking' quillet-cli show --category "Soc" ||
    { echo "--category does not offer Social Networking" >&2; status=1; }
[[ $status == 0 ]] && echo "the completion offers:" $commands
exit $status

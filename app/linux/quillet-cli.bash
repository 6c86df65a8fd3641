# bash completion for quillet-cli. Self-contained: it needs nothing from the bash-completion
# package, so that it also works when sourced by hand.

_quillet_cli()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=""
    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
    local commands="scan devices history show compare report annotate"
    local common="--data-dir --resources --lookup-url --demo --help"

    if ((COMP_CWORD == 1)); then
        COMPREPLY=($(compgen -W "$commands --help --version" -- "$cur"))
        return
    fi

    local values=""
    case $prev in
        --data-dir|--resources)
            COMPREPLY=($(compgen -d -- "$cur"))
            return ;;
        --pdf)
            COMPREPLY=($(compgen -f -- "$cur"))
            return ;;
        --lookup-url|--device|--search|--name|--notes)
            return ;;
        --sort)
            values="App name
Category
Bundle identifier
Version
App type
App MB
Data MB
Total MB
Update available
Store version
Store checked
Scan date (UTC)
Total MB:desc
App MB:desc
Data MB:desc" ;;
        --category)
            values="Uncategorized
Books
Business
Developer Tools
Education
Entertainment
Finance
Food & Drink
Games
Graphics & Design
Health & Fitness
Lifestyle
Medical
Music
Navigation
News
Photo & Video
Productivity
Reference
Shopping
Social Networking
Sports
Travel
Utilities
Weather" ;;
    esac
    if [[ -n $values ]]; then
        # Column and category names hold spaces and '&': one per line, quoted for the shell.
        local IFS=$'\n' word
        COMPREPLY=()
        for word in $(compgen -W "$values" -- "${cur#[\"\']}"); do
            COMPREPLY+=("$(printf '%q' "$word")")
        done
        return
    fi

    local options
    case ${COMP_WORDS[1]} in
        scan) options="--device --all-devices" ;;
        devices|history) options="--json" ;;
        show) options="--search --category --sort --csv --json" ;;
        compare) options="--all --json --pdf" ;;
        report) options="--search --category --sort --pdf" ;;
        annotate) options="--name --notes" ;;
        *) return ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options $common" -- "$cur"))
    fi
}
complete -F _quillet_cli quillet-cli

# bash completion for velmorant-ips-cli                    -*- shell-script -*-
# Commands first, then options and file names; the values of --only and
# --skip are record lists, which have nothing to complete.

_velmorant_ips_cli()
{
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=""
    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
    local commands="list apply recover status export create info"
    local options="--only --skip --backup --output --crc32 --no-sync --help --version"
    COMPREPLY=()

    case $prev in
        --only | --skip | --help | --version) return 0 ;;
        --output)
            compopt -o filenames 2>/dev/null || true
            mapfile -t COMPREPLY < <(compgen -f -- "$cur")
            return 0
            ;;
    esac

    # The command is the first word that is neither an option nor its value.
    local i command=""
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
            --only | --skip | --output) ((i++)) ;;
            -*) ;;
            *)
                command=${COMP_WORDS[i]}
                break
                ;;
        esac
    done

    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
    elif [[ -z $command ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$commands" -- "$cur")
    else
        compopt -o filenames 2>/dev/null || true
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
    fi
    return 0
} &&
    complete -F _velmorant_ips_cli velmorant-ips-cli

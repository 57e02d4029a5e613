# bash completion for velmorant-ips-cli                    -*- shell-script -*-
# Commands first, then the options of the command typed and file names; the
# values of --only and --skip are record lists and that of --crc32 a
# checksum, which have nothing to complete.

_velmorant_ips_cli()
{
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=""
    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
    local commands="list apply recover status export create info"
    COMPREPLY=()

    case $prev in
        --only | --skip | --crc32 | --help | --version) return 0 ;;
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
            --only | --skip | --output | --crc32) ((i++)) ;;
            -*) ;;
            *)
                command=${COMP_WORDS[i]}
                break
                ;;
        esac
    done

    # --help and --version go with every command.
    local options="--help --version"
    case $command in
        "") ;;
        apply) options="--only --skip --backup --output --truncate --crc32 --no-sync $options" ;;
        export) options="--only --skip $options" ;;
        create) options="--bps $options" ;;
        list | recover | status | info) ;;
        *) return 0 ;;
    esac

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

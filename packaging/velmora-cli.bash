# bash completion for velmora-cli                          -*- shell-script -*-

_velmora_cli() {
    local cur prev words cword
    _init_completion || return

    local commands="ports search info read get set save backup restore watch trace log diff verify"
    local common="--port --baud --address --home --json --quiet -q --help --version"

    case $prev in
        --port)
            local ports=(/dev/ttyUSB* /dev/ttyACM* /dev/ttyS* /dev/serial/by-id/*)
            COMPREPLY=($(compgen -W "${ports[*]}" -- "$cur"))
            [[ ${#COMPREPLY[@]} -eq 0 ]] && _filedir
            return ;;
        --baud)
            COMPREPLY=($(compgen -W "9600 19200 38400 57600 115200" -- "$cur"))
            return ;;
        --home)
            _filedir -d
            return ;;
        --class)
            COMPREPLY=($(compgen -W "II III IIII" -- "$cur"))
            return ;;
        --certificate)
            _filedir pdf
            return ;;
        --csv)
            _filedir csv
            return ;;
        --address | --seconds | --interval | --count | --loads | --repeat | --language | --technician | --customer | --tag)
            return ;;
    esac

    # The command is the first word that is neither an option nor an option's value.
    local i command=""
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            --port | --baud | --address | --home | --seconds | --interval | --count | --loads | --repeat | --class | \
                --certificate | --csv | --language | --technician | --customer | --tag) ((i++)) ;;
            -*) ;;
            *) command=${words[i]}; break ;;
        esac
    done

    if [[ -z $command ]]; then
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W "$common" -- "$cur"))
        else
            COMPREPLY=($(compgen -W "$commands" -- "$cur"))
        fi
        return
    fi

    local own=""
    case $command in
        backup | restore) own="--yes" ;;
        watch) own="--seconds" ;;
        trace) own="--seconds --problems" ;;
        log) own="--interval --count --seconds --yes --append" ;;
        verify) own="--loads --class --in-service --repeat --certificate --csv --language --technician --customer --tag" ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$common $own" -- "$cur"))
        return
    fi
    case $command in
        backup | restore | diff) _filedir mem ;;
        log) _filedir csv ;;
    esac
} &&
    complete -F _velmora_cli velmora-cli

# ex: filetype=sh

# bash completion for loadstar-cli: its commands, options, and the files and folders they take.

_loadstar_cli_commands="identify read write erase reset select mirror blank-check program verify
upload flash backup restore test ports"

# Completes `cur` as a file name; with a pattern (an extended regular expression) only files
# whose names match it, and folders to walk into.
_loadstar_cli_files() {
    local pattern=$1 name
    COMPREPLY=()
    while IFS= read -r name; do
        if [[ -d $name ]] || [[ -z $pattern ]] || [[ $name =~ $pattern ]]; then
            COMPREPLY+=("$name")
        fi
    done < <(compgen -f -- "$cur")
    type compopt &>/dev/null && compopt -o filenames
}

_loadstar_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    local command="" i
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
            --port | --flash | --sector) ((i++)) ;;
            -*) ;;
            *) command=${COMP_WORDS[i]} && break ;;
        esac
    done
    case $prev in
        --port)
            COMPREPLY=($(compgen -W "$(ls -d /dev/ttyS* /dev/ttyUSB* /dev/ttyACM* /dev/COM1 \
                /dev/serial/by-id/* /tmp/loadstar-$(id -u)/COM1 2>/dev/null)" -- "$cur"))
            return ;;
        --flash) COMPREPLY=($(compgen -W "main boot" -- "$cur")) && return ;;
        --sector) COMPREPLY=($(compgen -W "0 1 2 3 4 5 6 7" -- "$cur")) && return ;;
        --format)
            [[ $command == upload ]] && COMPREPLY=($(compgen -W "hex bin txt" -- "$cur")) ||
                COMPREPLY=($(compgen -W "hex bin" -- "$cur"))
            return ;;
        --base) COMPREPLY=($(compgen -W "8000" -- "$cur")) && return ;;
        --cycles | --duration) return ;;
        --log) _loadstar_cli_files "" && return ;;
    esac
    if [[ -z $command ]]; then
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W "--help --version --port --flash --sector --trace -q --quiet" \
                -- "$cur"))
        else
            COMPREPLY=($(compgen -W "$_loadstar_cli_commands" -- "$cur"))
        fi
        return
    fi
    local options="--help"
    case $command in
        program | verify) options+=" --base --format" ;;
        flash) options+=" --base --format --no-erase --no-verify" ;;
        upload | backup) options+=" --format" ;;
        mirror) options+=" --follow" ;;
        test) options+=" --cycles --duration --log" ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi
    case $command in
        program | verify | flash) _loadstar_cli_files '\.([hH][eE][xX]|[iI][hH][xX]|[bB][iI][nN])$' ;;
        upload) _loadstar_cli_files "" ;;
        backup | restore) COMPREPLY=($(compgen -d -- "$cur")) ;;
    esac
}

complete -F _loadstar_cli loadstar-cli

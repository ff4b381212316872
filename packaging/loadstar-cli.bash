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

# The values an option takes: sets COMPREPLY and returns 0, or returns 1 for an option that
# takes none. `flash` is the flash chosen earlier on the line.
_loadstar_cli_values() {
    local option=$1 cur=$2 flash=$3 command=$4
    case $option in
        --port)
            COMPREPLY=($(compgen -W "$(ls -d /dev/ttyS* /dev/ttyUSB* /dev/ttyACM* /dev/COM1 \
                /dev/serial/by-id/* /tmp/loadstar-$(id -u)/COM1 2>/dev/null)" -- "$cur")) ;;
        --flash) COMPREPLY=($(compgen -W "main boot" -- "$cur")) ;;
        --sector)
            [[ $flash == boot ]] && COMPREPLY=($(compgen -W "0 1 2 3" -- "$cur")) ||
                COMPREPLY=($(compgen -W "0 1 2 3 4 5 6 7" -- "$cur")) ;;
        --format)
            [[ $command == upload ]] && COMPREPLY=($(compgen -W "hex bin txt" -- "$cur")) ||
                COMPREPLY=($(compgen -W "hex bin" -- "$cur")) ;;
        --base) COMPREPLY=($(compgen -W "8000" -- "$cur")) ;;
        --cycles | --duration) COMPREPLY=() ;;
        --log) _loadstar_cli_files "" ;;
        *) return 1 ;;
    esac
    return 0
}

_loadstar_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    local command="" flash=main i word
    # bash splits --option=value at "=" when COMP_WORDBREAKS has it; take both forms.
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        case $word in
            --flash=*) flash=${word#--flash=} ;;
            --flash) [[ ${COMP_WORDS[i + 1]} == = ]] && ((i++)); flash=${COMP_WORDS[i + 1]} ;;
        esac
        case $word in
            --port | --flash | --sector | --format | --base | --cycles | --duration | --log)
                ((i++))
                [[ ${COMP_WORDS[i]} == = ]] && ((i++)) ;;
            -*) ;;
            *) [[ -z $command ]] && command=$word ;;
        esac
    done
    if [[ $cur == --*=* ]]; then
        _loadstar_cli_values "${cur%%=*}" "${cur#*=}" "$flash" "$command" && return
    fi
    if [[ $cur == = ]]; then
        _loadstar_cli_values "$prev" "" "$flash" "$command" && return
    fi
    if [[ $prev == = ]]; then
        _loadstar_cli_values "${COMP_WORDS[COMP_CWORD - 2]}" "$cur" "$flash" "$command" && return
    fi
    _loadstar_cli_values "$prev" "$cur" "$flash" "$command" && return
    if [[ -z $command ]]; then
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W "-h --help --version --port --flash --sector --trace -q
                --quiet -v --verbose --json" -- "$cur"))
        else
            COMPREPLY=($(compgen -W "$_loadstar_cli_commands" -- "$cur"))
        fi
        return
    fi
    local options="-h --help"
    case $command in
        program | verify) options+=" --base --format" ;;
        flash) options+=" --base --format --no-erase --no-verify" ;;
        upload | backup) options+=" --format --read-twice" ;;
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

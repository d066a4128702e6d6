# bash completion for kx6000-download and kx6000-download-gui

# The serial devices found and their by-id names, as 'kx6000-download ports' lists them: the program's own
# rule for what is a serial device (never a virtual console, an onboard port only where a UART is), less
# those it keeps for the system (the console, a login's terminal). A word that is none of them completes as
# a file.
_kx6000_devices() {
    local program=${COMP_WORDS[0]%-gui}
    COMPREPLY=($(compgen -W "$("$program" ports --json 2>/dev/null | awk '
        /^  "devices"/ { listing = 1 } /^  "ports"/ { listing = 0 }
        listing && /^ *"(device|stableName)": "/ { name = $0; sub(/^ *"[a-zA-Z]*": "/, "", name)
                                                   sub(/",?$/, "", name); names = names " " name }
        listing && /^ *"notUsed": / { kept = 1 }
        listing && /^    }/ { if (!kept) print names; names = ""; kept = 0 }')" -- "$cur"))
    [ ${#COMPREPLY[@]} -gt 0 ] || COMPREPLY=($(compgen -f -- "$cur"))
}

# The values of the option before the cursor ($prev and $cur of the caller); fails for a word that is no
# option taking a value.
_kx6000_option_value() {
    case $prev in
        --port) COMPREPLY=($(compgen -W '1 2 3 4' -- "$cur")) ;;
        --device) _kx6000_devices ;;
        --radio) COMPREPLY=($(compgen -W '6100 6200' -- "$cur")) ;;
        --baud) COMPREPLY=($(compgen -W 'auto 115200 19200 9600' -- "$cur")) ;;
        --power-cycle-wait) ;;
        *) return 1 ;;
    esac
}

_kx6000_download() {
    local cur prev words cword
    _init_completion || return
    _kx6000_option_value && return

    local command="" word
    for word in "${words[@]:1:cword-1}"; do
        case $word in
            report | download | erase | validate | error | ports) command=$word; break ;;
        esac
    done

    local common='--port --device --radio --json --quiet --help'
    case $command in
        "")
            if [[ $cur == -* ]]; then
                # Before the command word every option stands; the command checks it is its own.
                COMPREPLY=($(compgen -W "$common --baud --unprotected --power-cycle-wait --yes --verify --force --data --version" -- "$cur"))
            else
                COMPREPLY=($(compgen -W 'report download erase validate error ports' -- "$cur"))
            fi ;;
        report) COMPREPLY=($(compgen -W "$common" -- "$cur")) ;;
        download)
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W "$common --baud --unprotected --power-cycle-wait --yes --verify" -- "$cur"))
            else
                _filedir
            fi ;;
        erase) [[ $cur == -* ]] && COMPREPLY=($(compgen -W "$common --unprotected --power-cycle-wait --force" -- "$cur")) ;;
        validate)
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W '--radio --json --quiet --data --help' -- "$cur"))
            else
                _filedir
            fi ;;
        error) [[ $cur == -* ]] && COMPREPLY=($(compgen -W '--json --help' -- "$cur")) ;;
        ports) [[ $cur == -* ]] && COMPREPLY=($(compgen -W '--port --device --json --help' -- "$cur")) ;;
    esac
} && complete -F _kx6000_download kx6000-download

_kx6000_download_gui() {
    local cur prev words cword
    _init_completion || return
    _kx6000_option_value && return
    COMPREPLY=($(compgen -W '--port --device --radio --help --version' -- "$cur"))
} && complete -F _kx6000_download_gui kx6000-download-gui

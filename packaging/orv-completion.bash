# Bash completion for orv, the command line of ORV Tool: its commands, each
# command's options, the fixed values of those options, and file names where a
# file is asked for.                                      -*- shell-script -*-

_orv_commands="image convert info render repair export send help"
_orv_operations="copy engrave equalize brightness zoom sharpen"

# The options a command takes (for image: an operation).
_orv_options() {
    local common="--help --verbose"
    case $1 in
        convert)
            echo "$common -o --output --fps --start --duration --fit --dither --threshold" \
                "--seed --brightness --contrast --gamma --invert --append --force --quiet"
            ;;
        info) echo "$common --stats --fps" ;;
        render) echo "$common -o --output --frame --scale --fps --colors --format --force" ;;
        repair) echo "$common" ;;
        export)
            echo "$common -o --output --format --layout --set-bit --display --codec --fps" \
                "--flash --frames --name --force"
            ;;
        send) echo "$common --port --settings --fps --mode --key --set-bit --wait --loop --quiet" ;;
        help) echo "$common" ;;
        engrave) echo "$common --orv --seed" ;;
        brightness)
            echo "$common --red --green --blue --contrast-red --contrast-green --contrast-blue"
            ;;
        zoom) echo "$common --x --y" ;;
        sharpen) echo "$common --strength" ;;
        copy | equalize | image) echo "$common" ;;
        *) echo "$common --version" ;;
    esac
}

# Adds the file names that start with $cur to the replies: folders, and files
# whose names match one of the patterns given (any file without one).
_orv_files() {
    local IFS=$'\n' pattern
    compopt -o filenames 2>/dev/null
    if (($# == 0)); then
        COMPREPLY+=($(compgen -f -- "$cur"))
        return
    fi
    COMPREPLY+=($(compgen -d -- "$cur"))
    for pattern in "$@"; do
        COMPREPLY+=($(compgen -f -X "!$pattern" -- "$cur"))
    done
}

_orv() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    local cword=$COMP_CWORD
    COMPREPLY=()
    # --name=VALUE: the shell splits it at '=' into "--name" "=" "VALUE".
    if [[ $cur == = ]]; then
        cur=""
    elif [[ $prev == = && $cword -ge 2 ]]; then
        prev=${COMP_WORDS[cword - 2]}
    fi

    # The command and, for image, its operation; options may come before them.
    local command="" operation="" positional=0 i word
    for ((i = 1; i < cword; i++)); do
        word=${COMP_WORDS[i]}
        case $word in
            -o | --output | --orv | --seed | --red | --green | --blue | --contrast-* | --x | --y | \
                --strength | --fps | --start | --duration | --fit | --dither | --threshold | \
                --brightness | --contrast | --gamma | --frame | --scale | --colors | --format | \
                --layout | --set-bit | --frames | --name | --port | --settings | --mode | --key | \
                --display | --codec | --flash)
                # Takes a value: skip it (it may follow an '=').
                ((i++))
                [[ ${COMP_WORDS[i]} == = ]] && ((i++))
                ;;
            -* | =) ;;
            *)
                if [[ -z $command ]]; then
                    command=$word
                elif [[ $command == image && -z $operation ]]; then
                    operation=$word
                else
                    ((positional++))
                fi
                ;;
        esac
    done

    # The value of an option.
    case $prev in
        --dither)
            COMPREPLY=($(compgen -W "engrave threshold bayer floyd-steinberg blue-noise" -- "$cur"))
            return
            ;;
        --fit)
            COMPREPLY=($(compgen -W "stretch letterbox crop" -- "$cur"))
            return
            ;;
        --colors)
            COMPREPLY=($(compgen -W "lcd mono" -- "$cur"))
            return
            ;;
        --format)
            case $command in
                render) COMPREPLY=($(compgen -W "png gif" -- "$cur")) ;;
                *) COMPREPLY=($(compgen -W "c bin" -- "$cur")) ;;
            esac
            return
            ;;
        --layout)
            COMPREPLY=($(compgen -W "pages rows-msb rows-lsb" -- "$cur"))
            return
            ;;
        --set-bit)
            COMPREPLY=($(compgen -W "dark light" -- "$cur"))
            return
            ;;
        --display)
            COMPREPLY=($(compgen -W "ssd1306 sh1106 st7565 12864" -- "$cur"))
            return
            ;;
        --codec)
            COMPREPLY=($(compgen -W "pmh" -- "$cur"))
            return
            ;;
        --flash)
            COMPREPLY=($(compgen -W "uno" -- "$cur"))
            return
            ;;
        --mode)
            COMPREPLY=($(compgen -W "framed raw" -- "$cur"))
            return
            ;;
        --settings)
            COMPREPLY=($(compgen -W "115200,n,8,1 9600,n,8,1" -- "$cur"))
            return
            ;;
        -o | --output)
            case $command in
                convert) _orv_files '*.orv' ;;
                render) _orv_files '*.png' '*.gif' ;;
                export) _orv_files '*.h' '*.c' '*.bin' '*.pmh' ;;
                *) _orv_files ;;
            esac
            return
            ;;
        --orv)
            _orv_files '*.orv'
            return
            ;;
        --port)
            # The serial devices present, virtual pairs' terminals included.
            local devices
            devices=$(compgen -G '/dev/ttyACM*'; compgen -G '/dev/ttyUSB*'; compgen -G '/dev/ttyS*'
                compgen -G '/dev/pts/[0-9]*')
            COMPREPLY=($(compgen -W "$devices" -- "$cur"))
            return
            ;;
        --seed | --red | --green | --blue | --contrast-* | --x | --y | --strength | --fps | \
            --start | --duration | --threshold | --brightness | --contrast | --gamma | --frame | \
            --scale | --frames | --name | --key)
            return  # a number or a name: nothing to offer
            ;;
    esac

    if [[ $cur == -* ]]; then
        local topic=$command
        [[ $command == image && -n $operation ]] && topic=$operation
        COMPREPLY=($(compgen -W "$(_orv_options "$topic")" -- "$cur"))
        return
    fi

    case $command in
        "") COMPREPLY=($(compgen -W "$_orv_commands" -- "$cur")) ;;
        help) ((positional == 0)) && COMPREPLY=($(compgen -W "$_orv_commands" -- "$cur")) ;;
        image)
            if [[ -z $operation ]]; then
                COMPREPLY=($(compgen -W "$_orv_operations" -- "$cur"))
            else
                _orv_files
            fi
            ;;
        convert) _orv_files ;;
        info | export) ((positional == 0)) && _orv_files '*.orv' '*.pmh' ;;
        render | repair | send) ((positional == 0)) && _orv_files '*.orv' ;;
    esac
} &&
    complete -F _orv orv

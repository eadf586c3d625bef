# bash completion for zft                                  -*- shell-script -*-
# Commands, each command's options as `zft COMMAND --help` lists them, and
# file names by what each place takes.

_zft()
{
    local cur prev words cword split
    _init_completion -s || return

    if ((cword == 1)); then
        COMPREPLY=($(compgen -W 'info convert export verify thumbnail --help --version' -- "$cur"))
        return
    fi

    local command=${words[1]}
    # The endings of the pictures zft convert reads: JPEG, GIF, BMP, PNG and
    # binary PPM and PGM.
    local pictures='jpg|jpeg|jpe|jfif|gif|bmp|dib|png|ppm|pgm'

    case $command in
        convert)
            case $prev in
                -o | --output)
                    _filedir zft
                    return
                    ;;
                -d | --directory)
                    _filedir -d
                    return
                    ;;
                --notice | --date | --background | -j | --jobs)
                    return
                    ;;
            esac
            $split && return
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W '--output --directory --notice --date --background --fit --force --jobs --help' -- "$cur"))
                [[ ${COMPREPLY-} == *= ]] && compopt -o nospace
                return
            fi
            _filedir "@($pictures)"
            ;;
        info | verify)
            if [[ $cur == -* ]]; then
                local options=--help
                [[ $command == info ]] && options='--json --help'
                COMPREPLY=($(compgen -W "$options" -- "$cur"))
                return
            fi
            _filedir zft
            ;;
        export | thumbnail)
            if [[ $command == export && $prev == --format ]]; then
                COMPREPLY=($(compgen -W 'png bmp jpg ppm' -- "$cur"))
                return
            fi
            $split && [[ $prev == --format ]] && return
            if [[ $cur == -* ]]; then
                local options=--help
                [[ $command == export ]] && options='--format --force --help'
                COMPREPLY=($(compgen -W "$options" -- "$cur"))
                return
            fi
            # Which of the command's files this word is.
            local i position=0
            for ((i = 2; i < cword; i++)); do
                [[ ${words[i]} == --format ]] && ((i++)) && continue
                [[ ${words[i]} != -?* ]] && ((position++))
            done
            case $command:$position in
                *:0) _filedir zft ;;
                export:1) _filedir '@(png|bmp|jpg|jpeg|ppm)' ;;
                thumbnail:1) _filedir png ;;
            esac
            ;;
    esac
} &&
    complete -F _zft zft

# ex: filetype=sh

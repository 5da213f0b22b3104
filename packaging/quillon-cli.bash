# bash completion for quillon-cli
_quillon_cli()
{
    local cur prev words cword
    if declare -F _init_completion >/dev/null 2>&1; then
        _init_completion || return
    else
        cur=${COMP_WORDS[COMP_CWORD]}
        prev=${COMP_WORDS[COMP_CWORD-1]}
        words=("${COMP_WORDS[@]}")
        cword=$COMP_CWORD
    fi

    local commands="scan rename undo history watch catalog info tables sample version map picture help"
    if [[ $cword -eq 1 ]]; then
        COMPREPLY=($(compgen -W "$commands --help --version" -- "$cur"))
        return
    fi

    local options=""
    case ${words[1]} in
        scan) options="--json --keep-going --help" ;;
        rename) options="--dry-run --json --keep-going --help" ;;
        undo) options="--dry-run --json --batch --help" ;;
        history) options="--json --help"; COMPREPLY=($(compgen -W "$options" -- "$cur")); return ;;
        watch) options="--settle --json --wait-for-folder --help" ;;
        info|version) options="--json --help"
            if [[ $cur != -* ]]; then COMPREPLY=($(compgen -f -- "$cur")); return; fi ;;
        tables) options="--json --help" ;;
        sample) options="--count --tree --help" ;;
        catalog)
            if [[ $cword -eq 2 ]]; then
                COMPREPLY=($(compgen -W "update find gaps duplicates stats --help" -- "$cur")); return
            fi
            case ${words[2]} in
                update) options="--db --cross-filesystems --json --help" ;;
                find) options="--db --satellite --format --from --to --root --non-standard --json --csv --help" ;;
                gaps) options="--db --satellite --from --to --slot --help" ;;
                duplicates) options="--db --json --help" ;;
                stats) options="--db --png --from --to --help" ;;
                *) return ;;
            esac
            case $prev in
                --db|--png) COMPREPLY=($(compgen -f -- "$cur")); return ;;
                --satellite|--format|--from|--to|--slot) return ;;
            esac ;;
        map) options="geo2pixel pixel2geo info kinds --help"
            COMPREPLY=($(compgen -W "$options" -- "$cur")); return ;;
        picture) options="info convert dump --help"
            if [[ $cword -gt 2 && $cur != -* ]]; then COMPREPLY=($(compgen -f -- "$cur")); return; fi
            COMPREPLY=($(compgen -W "$options" -- "$cur")); return ;;
        *) return ;;
    esac

    case $prev in
        --batch)
            local ids
            ids=$(quillon-cli history 2>/dev/null | cut -f1)
            COMPREPLY=($(compgen -W "$ids" -- "$cur"))
            return ;;
        --settle|--count|--tree)
            return ;;
    esac

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
    else
        COMPREPLY=($(compgen -d -- "$cur"))
    fi
}
complete -F _quillon_cli quillon-cli

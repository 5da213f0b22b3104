# SPDX-License-Identifier: GPL-3.0-or-later
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

    local commands="scan rename undo history watch info tables sample version map picture help"
    if [[ $cword -eq 1 ]]; then
        COMPREPLY=($(compgen -W "$commands --help --version" -- "$cur"))
        return
    fi

    # options: offered after "-"; arguments: what a word that is not an
    # option completes to (dirs, files, none, or words:LIST).
    local map_options="--predefined --kind --width --height --lon-span --lat-span --centre-lon --centre-lat
        --sp1 --sp2 --rotation --sector --offset-x --offset-y"
    local options="" arguments=dirs command=${words[1]}
    case ${words[1]} in
        scan) options="--json --keep-going" ;;
        rename) options="--dry-run --json --keep-going" ;;
        undo) options="--dry-run --json --batch" ;;
        history) options="--json"; arguments=none ;;
        watch) options="--settle --json --wait-for-folder" ;;
        info|version) options="--json"; arguments=files ;;
        tables) options="--json"; arguments="words:satellites segments calibration" ;;
        sample) options="--count" ;;
        map|picture)
            if [[ $cword -eq 2 ]]; then
                local subcommands="geo2pixel pixel2geo info kinds grid warp"
                [[ ${words[1]} == picture ]] && subcommands="info convert dump"
                COMPREPLY=($(compgen -W "$subcommands --help" -- "$cur"))
                return
            fi
            command="${words[1]} ${words[2]}"
            case $command in
                "map geo2pixel"|"map pixel2geo") options="$map_options"; arguments=none ;;
                "map info") options="--json $map_options"; arguments=none ;;
                "map kinds") options="--json"; arguments=none ;;
                "map grid") options="$map_options --lon-step --lat-step --label-colour --grid-colour --origin
                    --no-labels --canvas --specials --trace --png --background"; arguments=none ;;
                "map warp") options="--from --to --resample --background --grid --threads"; arguments=files ;;
                "picture info") options="--json"; arguments=files ;;
                "picture convert"|"picture dump") arguments=files ;;
                *) return ;;
            esac ;;
        *) return ;;
    esac

    # The value of an option.
    case "$command $prev" in
        "undo --batch")
            local ids
            ids=$(quillon-cli history 2>/dev/null | cut -f1)
            COMPREPLY=($(compgen -W "$ids" -- "$cur"))
            return ;;
        "map grid --specials")
            COMPREPLY=($(compgen -W "arctic cancer equator capricorn antarctic" -- "$cur"))
            return ;;
        "map grid --png"|"map grid --background")
            COMPREPLY=($(compgen -f -- "$cur"))
            return ;;
        "map warp --resample")
            COMPREPLY=($(compgen -W "nearest bilinear" -- "$cur"))
            return ;;
    esac
    case $prev in
        --settle|--count|--batch|--predefined|--kind|--width|--height|--lon-span|--lat-span|--centre-lon|\
        --centre-lat|--sp1|--sp2|--rotation|--sector|--offset-x|--offset-y|--lon-step|--lat-step|--label-colour|\
        --grid-colour|--origin|--from|--to|--background|--grid|--threads)
            return ;;
    esac

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options --help" -- "$cur"))
        return
    fi
    case $arguments in
        dirs) COMPREPLY=($(compgen -d -- "$cur")) ;;
        files) COMPREPLY=($(compgen -f -- "$cur")) ;;
        words:*) COMPREPLY=($(compgen -W "${arguments#words:}" -- "$cur")) ;;
    esac
}
complete -F _quillon_cli quillon-cli

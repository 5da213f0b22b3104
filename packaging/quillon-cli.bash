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

    local commands="scan rename undo history watch catalog info tables sample version map picture help"
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
        scan) options="--json --keep-going --recursive" ;;
        rename) options="--dry-run --json --keep-going --recursive --into --to" ;;
        undo) options="--dry-run --json --batch --recursive" ;;
        history) options="--json"; arguments=none ;;
        watch) options="--settle --json --wait-for-folder --poll --into --to" ;;
        info|version) options="--json"; arguments=files ;;
        tables) options="--json"; arguments="words:satellites segments calibration" ;;
        sample) options="--count --tree" ;;
        catalog)
            if [[ $cword -eq 2 ]]; then
                COMPREPLY=($(compgen -W "update find gaps duplicates stats --help" -- "$cur"))
                return
            fi
            command="catalog ${words[2]}"
            case $command in
                "catalog update") options="--db --cross-filesystems --json" ;;
                "catalog find") options="--db --satellite --format --from --to --root --non-standard --json --csv"; arguments=none ;;
                "catalog gaps") options="--db --satellite --from --to --slot"; arguments=none ;;
                "catalog duplicates") options="--db --json"; arguments=none ;;
                "catalog stats") options="--db --png --from --to"; arguments=none ;;
                *) return ;;
            esac ;;
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
        "rename --into"|"watch --into")
            COMPREPLY=($(compgen -W "{yyyy}/{mm}/{dd} {yyyy}/{doy} {satellite}/{yyyy}/{mm}" -- "$cur"))
            return ;;
        "rename --to"|"watch --to")
            COMPREPLY=($(compgen -d -- "$cur"))
            return ;;
        "map grid --specials")
            COMPREPLY=($(compgen -W "arctic cancer equator capricorn antarctic" -- "$cur"))
            return ;;
        "catalog update --db"|"catalog find --db"|"catalog gaps --db"|"catalog duplicates --db"|"catalog stats --db"|"catalog stats --png")
            COMPREPLY=($(compgen -f -- "$cur"))
            return ;;
        "catalog find --root")
            COMPREPLY=($(compgen -d -- "$cur"))
            return ;;
        "map grid --png"|"map grid --background")
            COMPREPLY=($(compgen -f -- "$cur"))
            return ;;
        "map warp --resample")
            COMPREPLY=($(compgen -W "nearest bilinear" -- "$cur"))
            return ;;
    esac
    case $prev in
        --settle|--count|--tree|--poll|--satellite|--format|--slot|--batch|--predefined|--kind|--width|--height|--lon-span|--lat-span|--centre-lon|\
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

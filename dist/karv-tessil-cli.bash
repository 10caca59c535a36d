# bash completion for karv-tessil-cli

_karv_tessil_cli() {
    local cur prev words cword
    if declare -F _init_completion >/dev/null 2>&1; then
        _init_completion || return
    else
        cur=${COMP_WORDS[COMP_CWORD]}
        prev=${COMP_WORDS[COMP_CWORD - 1]}
        words=("${COMP_WORDS[@]}")
        cword=$COMP_CWORD
    fi

    local subcommands="scan view classify act stats"
    local subcommand="" i
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
        scan | view | classify | act | stats)
            subcommand=${words[i]}
            break
            ;;
        esac
    done

    if [[ -z $subcommand ]]; then
        COMPREPLY=($(compgen -W "$subcommands --help --version" -- "$cur"))
        return
    fi

    # Values of options that take one.
    case $prev in
    --scope) COMPREPLY=($(compgen -W "this all levels" -- "$cur")); return ;;
    --format)
        if [[ $subcommand == stats ]]; then
            COMPREPLY=($(compgen -W "csv tsv json" -- "$cur"))
        else
            COMPREPLY=($(compgen -W "tsv paths json" -- "$cur"))
        fi
        return
        ;;
    --in) COMPREPLY=($(compgen -W "name content both" -- "$cur")); return ;;
    --match) COMPREPLY=($(compgen -W "plain wildcard regex" -- "$cur")); return ;;
    --measure) COMPREPLY=($(compgen -W "size chars name" -- "$cur")); return ;;
    --unit) COMPREPLY=($(compgen -W "B KB MB GB TB 1 10 100 1000 10000" -- "$cur")); return ;;
    --time-kind) COMPREPLY=($(compgen -W "created modified accessed" -- "$cur")); return ;;
    --time-part) COMPREPLY=($(compgen -W "both date time" -- "$cur")); return ;;
    --dup) COMPREPLY=($(compgen -W "md5 size name" -- "$cur")); return ;;
    --output) COMPREPLY=($(compgen -W "one all all-but-one" -- "$cur")); return ;;
    --keep) COMPREPLY=($(compgen -W "last newest oldest shortest longest" -- "$cur")); return ;;
    --batch-names) COMPREPLY=($(compgen -W "numbers letters list" -- "$cur")); return ;;
    --on-exists) COMPREPLY=($(compgen -W "skip rename overwrite" -- "$cur")); return ;;
    --from-list | --batch-list | --keywords)
        COMPREPLY=($(compgen -f -- "$cur"))
        return
        ;;
    --log-dir | --reference | --move | --copy)
        COMPREPLY=($(compgen -d -- "$cur"))
        return
        ;;
    --levels | --pattern | --content | --length | --time | --similar | --template | --batch-size | \
        --min-files | --min-dirs)
        return
        ;;
    esac

    if [[ $cur == -* ]]; then
        local options
        case $subcommand in
        scan)
            options="--scope --levels --pattern --follow --format -0 --content --exclude --in --match --length
                --measure --unit --strip-tags --strip-blanks --time --time-kind --time-part --dup
                --similar --judge-content --output --keep --reference --help"
            ;;
        view) options="--encoding --help" ;;
        classify)
            options="--from-list --recurse --pattern --template --batch-size --batch-names --batch-list
                --move --in-order --keywords --log-dir --dry-run --undo -0 --help"
            ;;
        act)
            options="--move --copy --trash --delete --on-exists --dry-run -0 --from-list --undo --log-dir
                --help"
            ;;
        stats) options="--recurse --pattern --min-files --min-dirs --format -0 --help" ;;
        esac
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi

    # Operands: view takes a file, the others a folder.
    if [[ $subcommand == view ]]; then
        COMPREPLY=($(compgen -f -- "$cur"))
    else
        COMPREPLY=($(compgen -d -- "$cur"))
    fi
} &&
    complete -o filenames -F _karv_tessil_cli karv-tessil-cli

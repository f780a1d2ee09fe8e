# bash completion for Quillmoor's programs: their subcommands, options, and file names
# (event databases for --db, iCalendar files for quillmoor-ics).

_quillmoor_files()
{
    local IFS=$'\n'
    compopt -o filenames 2>/dev/null
    COMPREPLY=($(compgen -o plusdirs -f -X "!*.$1" -- "$2"))
}

_quillmoor()
{
    local program=$1 cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    local i=$((COMP_CWORD - 1))
    # "--db=FILE" reaches here as "--db" "=" "FILE".
    if [ "$cur" = = ]; then
        cur=
        prev=${COMP_WORDS[COMP_CWORD - 1]}
    elif [ "$prev" = = ] && [ "$i" -gt 0 ]; then
        prev=${COMP_WORDS[i - 1]}
    fi
    case $prev in
    --db) _quillmoor_files mdb "$cur"; return ;;
    -o | --output) _quillmoor_files ics "$cur"; return ;;
    --password-command) COMPREPLY=($(compgen -c -- "$cur")); return ;;
    --days | --user) return ;;
    esac

    local words="--help --version"
    case $program in
    quillmoor-agenda) words+=" --db --days today $(date +%Y-%m)" ;;
    quillmoor-remind) words+=" --db --once" ;;
    quillmoor-sync) words+=" --db --user --password-command --store-password" ;;
    quillmoor-ics)
        local command=
        for ((i = 1; i < COMP_CWORD; i++)); do
            case ${COMP_WORDS[i]} in export | import) command=${COMP_WORDS[i]} ;; esac
        done
        case $command in
        "") words+=" export import" ;;
        export) words+=" --db -o --output" ;;
        import)
            if [[ $cur != -* ]]; then
                _quillmoor_files ics "$cur"
                return
            fi
            words+=" --db"
            ;;
        esac
        ;;
    esac
    COMPREPLY=($(compgen -W "$words" -- "$cur"))
}

complete -F _quillmoor quillmoor quillmoor-agenda quillmoor-ics quillmoor-remind quillmoor-sync

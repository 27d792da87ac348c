# bash completion for tolvane: options, pass counts, paths, and the free space of mounted
# volumes as their mount point followed by ':'.

# Mount points that may hold user files, each followed by ':', as /proc/self/mountinfo has
# them (its octal escapes decoded); kernel and runtime folders left out.
_tolvane_free_space() {
    local _id _parent _dev _root point _rest
    while read -r _id _parent _dev _root point _rest; do
        point=$(printf '%b' "$point")
        case $point in
        /proc | /proc/* | /sys | /sys/* | /dev | /dev/*) continue ;;
        /run/media | /run/media/*) ;;
        /run | /run/*) continue ;;
        esac
        printf '%s:\n' "$point"
    done </proc/self/mountinfo 2>/dev/null | sort -u
}

_tolvane() {
    local cur prev words cword split
    _init_completion -s -n : || return

    local i options_ended=0
    for ((i = 1; i < cword; i++)); do
        if [[ ${words[i]} == -- ]]; then
            options_ended=1
            break
        fi
    done

    if ((!options_ended)); then
        # With -s, "--passes=N" arrives as prev "--passes" and cur "N".
        case $prev in
        --passes)
            COMPREPLY=($(compgen -W '0 1 2 3 4 5 6 7 8 9' -- "$cur"))
            return
            ;;
        --help | --version)
            return
            ;;
        esac
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W '--yes --passes --help --version --' -- "$cur"))
            return
        fi
    fi

    _filedir
    if [[ $cur == /* ]]; then
        # A here-string, not a process substitution: that needs /dev/fd, which a minimal
        # chroot or container may lack.
        local point points
        points=$(_tolvane_free_space)
        while IFS= read -r point; do
            [[ -n $point && $point == "$cur"* ]] && COMPREPLY+=("$point")
        done <<<"$points"
    fi
    __ltrim_colon_completions "$cur"
}
complete -F _tolvane tolvane

#!/usr/bin/env bash
# Checks of the tree that no compiler makes:
#   check_tree.sh format    every C++ file is as .clang-format lays it out
#   check_tree.sh layout    README's code-layout table names each folder of the tree (src/*
#                           and the top-level ones), and no folder that is not there
# Works on the files git knows, so a build folder or a stray file does not count; outside a git
# checkout (a release tarball, the Debian source package) on every file but those of hidden
# folders and build folders (any holding a CMakeCache.txt).
set -u
cd "$(dirname "$0")/.." || exit 2

# tree_files [PATTERN...]: the tree's own files, relative to its top, that match a pattern.
tree_files() {
    if [ "$(git rev-parse --show-toplevel 2>/dev/null)" = "$PWD" ]; then
        git ls-files "$@"
        return
    fi
    local patterns=("$@")
    [ ${#patterns[@]} -gt 0 ] || patterns=('*')
    local args=()
    for p in "${patterns[@]}"; do args+=(${args[@]:+-o} -name "$p"); done
    find . -mindepth 1 -type d \( -name '.*' -o -name 'build*' -o -exec test -e '{}/CMakeCache.txt' \; \) -prune \
        -o -type f \( "${args[@]}" \) -print | sed 's|^\./||' | sort
}

case "${1:-}" in
format)
    command -v clang-format >/dev/null || { echo "clang-format is missing (scripts/deps.sh installs it)"; exit 2; }
    mapfile -t files < <(tree_files '*.cpp' '*.h')
    clang-format --dry-run -Werror "${files[@]}" 2>&1 | grep -E '^[^ ]+: error:' | cut -d: -f1 | sort -u >/tmp/check_tree.$$
    if [ -s /tmp/check_tree.$$ ]; then
        echo "Not formatted (clang-format -i FILE):"
        cat /tmp/check_tree.$$
        rm -f /tmp/check_tree.$$
        exit 1
    fi
    rm -f /tmp/check_tree.$$
    ;;
layout)
    named=$(sed -n '/^## Code layout/,/^## /p' README.md | grep -oE '^\| `[^`]+` \|' | cut -d'`' -f2 | sort)
    present=$(tree_files | awk -F/ 'NF > 1 && $1 !~ /^\./ { print $1 } NF > 2 && $1 == "src" { print $1 "/" $2 }' |
        grep -vx src | sort -u)
    missing=$(comm -13 <(echo "$named") <(echo "$present"))
    stale=$(comm -23 <(echo "$named" | uniq) <(echo "$present"))
    twice=$(echo "$named" | uniq -d)
    [ -z "$missing" ] || echo "README's code layout does not name:" $missing
    [ -z "$stale" ] || echo "README's code layout names folders that are not there:" $stale
    [ -z "$twice" ] || echo "README's code layout names more than once:" $twice
    [ -z "$missing$stale$twice" ] || exit 1
    ;;
*)
    echo "usage: check_tree.sh format|layout" >&2
    exit 2
    ;;
esac

#!/usr/bin/env bash
# The bash completion loads, covers every program, and completes a subcommand and --db.
set -euo pipefail
script=$(realpath "$1")
bash -n "$script"
cd "$(mktemp -d)" && touch events.mdb notes.txt && trap 'rm -r "$PWD"' EXIT
source "$script"
for p in quillmoor quillmoor-agenda quillmoor-ics quillmoor-remind quillmoor-sync; do complete -p "$p" >/dev/null; done
complete_() { COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMPREPLY=(); _quillmoor "$1"; echo "${COMPREPLY[*]}"; }
[ "$(complete_ quillmoor-ics "")" = "--help --version export import" ]
[ "$(complete_ quillmoor-agenda --db "")" = events.mdb ]
[ "$(complete_ quillmoor-remind --db = e)" = events.mdb ]
[ "$(complete_ quillmoor-agenda --d)" = "--db --days" ]

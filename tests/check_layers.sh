#!/usr/bin/env bash
# The compiler holds the floors of src/ (each library sees only the headers of the libraries
# it links), but not an include that climbs out of its folder with "../", which it resolves
# beside the including file. This fails on any such include under the given folder (src/).
set -u
root=${1:-"$(dirname "$0")/../src"}
cd "$root" || exit 2

found=$(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^"]*\.\./' --include='*.h' --include='*.cpp' . || true)
if [ -n "$found" ]; then
    echo "Includes that climb out of their folder; include \"floor/header.h\" instead:"
    echo "$found"
    exit 1
fi
exit 0

#!/usr/bin/env bash
# Builds Quillmoor and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
[ -f build/build.ninja ] || cmake -S . -B build -G Ninja
cmake --build build
exec build/bin/quillmoor "$@"

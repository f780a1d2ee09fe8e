#!/usr/bin/env bash
# Resident memory of the running reminder agent after its first look at a database of
# COUNT generated events (default 100,000; the budget is 25 MB), on a private session bus
# with a notification service that shows nothing. A Release build in build-bench/.
#
#   bench/remind_memory.sh
#   COUNT=10000 BUILD_DIR=/tmp/qb bench/remind_memory.sh
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD_DIR:-build-bench}
count=${COUNT:-100000}
[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" --target quillmoor-remind quillmoor-genevents fake-notifier
data="$build/bench-data"
mkdir -p "$data"
[ -f "$data/events-$count.mdb" ] || "$build/bin/quillmoor-genevents" "$data/events-$count.mdb" "$count"

state=$(mktemp -d)
trap 'rm -rf "$state"' EXIT
dbus-run-session -- bash -c '
    "$1/bin/fake-notifier" & fake=$!
    sleep 1
    XDG_STATE_HOME="$3" "$1/bin/quillmoor-remind" --db "$2" & agent=$!
    sleep 5 # the first look is long done
    echo "quillmoor-remind over $2, after its first look:"
    grep -E "^(VmRSS|VmHWM)" /proc/$agent/status
    echo "recorded: $(($(cat "$3"/Quendrix/Quillmoor/sent-* | wc -l) - 1)) reminders"
    kill $agent $fake
' remind-memory "$build" "$data/events-$count.mdb" "$state"

#!/usr/bin/env bash
# Times the whole program as a user sees it, on a private Xvfb display, in a Release build:
#   - start-up until the first window is painted: "Event Alert!" when an event falls on
#     today (with generated events practically always), the main window otherwise;
#   - start-up until the main window is painted, the alert having been closed with Escape
#     as soon as it was painted (and, for comparison, a bare Qt window of the main window's size);
#   - a click on "Manage Events" until the Event Management dialog is painted;
#   - the program's peak resident memory over each of those runs.
# With event databases of 10,000 and 100,000 generated events (and an empty one).
#
#   bench/time_windows.sh                 build in build-bench/, 15 runs per figure
#   RUNS=30 SIZES="100000" bench/time_windows.sh
#   DISTINCT=1 SIZES="100000" bench/time_windows.sh   no two titles alike (the title order's worst case)
#   DETAILED=10000 SIZES="100000" bench/time_windows.sh   and 10,000 events from other calendars beside them
#   DETAILED=10000 KEPT_ON=2026-05-27 ...   their starts kept around that day, as the program left the
#                 file when it last ran then (196 days before: the first start that keeps them again)
#   BUILD_DIR=/tmp/qb JOBS=1 bench/time_windows.sh
#   PROGRAM=/elsewhere/bin/quillmoor bench/time_windows.sh   time another build (an older commit)
#   LONG=1000000 RUNS=5 bench/time_windows.sh   instead: one event today whose description is one
#                 line of that many characters without a blank; the alert, then a click on today's cell until
#                 "Day's Event" is painted (WARMUP=N sets the warm-up runs, default 3)
#
# The program always opens the machine-wide /var/lib/Quendrix/Quillmoor/dbData.mdb when it
# can, so every run happens in a private mount namespace (unshare; root, or a user with
# unprivileged user namespaces) where /var/lib is a temporary folder holding the generated
# database. Settings are the defaults but for the question about passed events (below),
# titles sort as in an en_US desktop.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD_DIR:-build-bench}
runs=${RUNS:-15}
jobs=${JOBS:-$(nproc)}
sizes=(${SIZES:-0 10000 100000})
distinct=${DISTINCT:-0}
long=${LONG:-0}
warmup=${WARMUP:-3}
suffix=
genflags=()
[ "$distinct" = 0 ] || { suffix=-distinct; genflags=(--distinct-titles); }
[ -z "${DETAILED:-}" ] || { suffix="$suffix-detailed$DETAILED"; genflags+=(--detailed "$DETAILED"); }
[ -z "${KEPT_ON:-}" ] || { suffix="$suffix-kept$KEPT_ON"; genflags+=(--kept-on "$KEPT_ON"); }
display=${BENCH_DISPLAY:-:91}

scripts/deps.sh
[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" --target quillmoor quillmoor-genevents window-stopwatch bare-window -- -j"$jobs"
bin=$(cd "$build/bin" && pwd)
program=$(realpath "${PROGRAM:-$bin/quillmoor}")

data="$build/bench-data"
mkdir -p "$data"
for n in "${sizes[@]}"; do
    [ "$n" -eq 0 ] || [ -f "$data/events-$n$suffix.mdb" ] ||
        "$bin/quillmoor-genevents" "$data/events-$n$suffix.mdb" "$n" "${genflags[@]}"
done

work=$(mktemp -d)
Xvfb "$display" -screen 0 1280x1024x24 -br -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
sleep 1
export DISPLAY=$display
export LANG=en_US.UTF-8 LC_ALL= XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"

unshare_args=(--mount --propagation private)
[ "$(id -u)" -eq 0 ] || unshare_args=(--user --map-root-user "${unshare_args[@]}")

# private_var_lib DIR COMMAND...: runs COMMAND with DIR mounted on /var/lib.
private_var_lib() {
    local dir=$1
    shift
    unshare "${unshare_args[@]}" sh -c 'mount --bind "$0" /var/lib && exec "$@"' "$dir" "$@"
}

# Passed=3 leaves the once-only events that passed this month alone without asking: by default
# the program asks "Delete Passed Events" before its window shows, and that question would wait
# for a human. Check1=0 (the default) keeps it from asking whether to quit when nothing falls on
# today (the empty database).
mkdir -p "$work/config/Quendrix" "$work/data"
printf '[Quillmoor]\nPassed=3\nCheck1=0\n' >"$work/config/Quendrix/Quillmoor.conf"

# Where "Manage Events" is inside the main window (its centre, in pixels).
click=364,621
stopwatch=("$bin/window-stopwatch" --runs "$runs" --warmup "$warmup")

echo "$program, $runs runs each, $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg), $(date -u +%Y-%m-%d)"
if [ "$long" -gt 0 ]; then
    varlib="$work/var-lib-long"
    mkdir -p "$varlib/Quendrix/Quillmoor"
    live="$varlib/Quendrix/Quillmoor/dbData.mdb"
    cp "$bin/dbBlank.mdb" "$live"
    # Not one blank or line break (a pasted key or encoded attachment), so that the layout finds
    # no place to wrap; and where today's cell is in the main window (its centre, in pixels).
    cell=$(python3 - "$live" "$long" <<'PY'
import datetime, sqlite3, sys
today = datetime.date.today()
text = ("0123456789abcdef" * (int(sys.argv[2]) // 16 + 1))[: int(sys.argv[2])]
db = sqlite3.connect(sys.argv[1])
db.execute("insert into tblEvents (title, description, timetype, consistancy, eventmonth, eventday, eventyear,"
           " eventweekdate, eventweekday, warnevent, daysbefore) values ('Long line', ?, 1, 1, ?, ?, ?, 1, 1, 0, 0)",
           (text, today.month, today.day, today.year))
db.commit()
i = (today.replace(day=1).isoweekday() % 7) + today.day - 1
print("%d,%d" % ((120 + 2040 * (i % 7) + 1027) // 15, (1080 + 1320 * (i // 7) + 667) // 15))
PY
    )
    echo
    echo "== one event today, its description one line of $long characters: the alert, then Day's Event"
    private_var_lib "$varlib" "${stopwatch[@]}" --dismiss "Event Alert!" --click "$cell" "Day's Event" \
        Quillmoor -- "$program" | sed -n '/runs:$/,$p'
    exit 0
fi
echo
echo "== bare Qt window, 968 x 641"
"${stopwatch[@]}" Bare -- "$bin/bare-window" | tail -n 4
for n in "${sizes[@]}"; do
    varlib="$work/var-lib-$n"
    mkdir -p "$varlib/Quendrix/Quillmoor"
    if [ "$n" -eq 0 ]; then
        cp "$bin/dbBlank.mdb" "$varlib/Quendrix/Quillmoor/dbData.mdb"
    else
        cp "$data/events-$n$suffix.mdb" "$varlib/Quendrix/Quillmoor/dbData.mdb"
    fi
    echo
    echo "== $n events${suffix:+ ($suffix)}: start-up (the alert, then the main window), then Manage Events"
    private_var_lib "$varlib" "${stopwatch[@]}" --dismiss "Event Alert!" --click "$click" "Event Management" \
        Quillmoor -- "$program" | sed -n '/runs:$/,$p'
done
echo
echo "load at the end $(cut -d' ' -f1-3 /proc/loadavg)"

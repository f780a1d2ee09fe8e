#!/usr/bin/env bash
# Times quillmoor-ics as a whole process, in a Release build: the export of 100,000
# generated events to a file, the import of that file into an empty database, the
# same import again (every event already there), the import of a 50 MB file
# whose one event has a 50 MB description on a single line, and the import of
# 10,000 events from other calendars, their times in zones with VTIMEZONEs as phones
# write them, against the same events in UTC.
#
#   bench/time_ics.sh                 build in build-bench/, 10 runs each
#   RUNS=20 BUILD_DIR=/tmp/qb JOBS=1 bench/time_ics.sh
#   TIMER=loop bench/time_ics.sh      skip hyperfine
#
# Uses hyperfine (installed with apt-get when missing); without it, a loop timed with
# date +%s%N. The target is under 2 s each for the export and the first import; the
# events in zones under 2 s, and at most 1.5 times the same events in UTC.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD_DIR:-build-bench}
runs=${RUNS:-10}
jobs=${JOBS:-$(nproc)}
timer=${TIMER:-hyperfine}
count=100000

[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" --target quillmoor-ics quillmoor-genevents quillmoor-mktemplate -- -j"$jobs"
ics="$build/bin/quillmoor-ics"

data="$build/bench-data"
mkdir -p "$data"
events="$data/events-$count.mdb"
[ -f "$events" ] || "$build/bin/quillmoor-genevents" "$events" "$count"
empty="$data/empty.mdb"
[ -f "$empty" ] || "$build/bin/quillmoor-mktemplate" "$empty"
"$ics" export --db "$events" -o "$data/events-$count.ics" 2>/dev/null
full="$data/full.mdb"
cp "$empty" "$full"
"$ics" import --db "$full" "$data/events-$count.ics" >/dev/null 2>&1
# The same 10,000 events from other calendars twice: in zones as phones write them, and in UTC.
for zones in zoned utc; do
    other="$data/other-$zones"
    flags=(--detailed 10000)
    [ "$zones" = zoned ] || flags+=(--utc)
    [ -f "$other.mdb" ] || "$build/bin/quillmoor-genevents" "$other.mdb" 0 "${flags[@]}"
    [ -f "$other.ics" ] || "$ics" export --db "$other.mdb" -o "$other.ics" 2>/dev/null
done
long="$data/long-line.ics"
[ -f "$long" ] || {
    printf 'BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:bench\r\nBEGIN:VEVENT\r\nSUMMARY:Long\r\n'
    printf 'DTSTART;VALUE=DATE:20240101\r\nDESCRIPTION:'
    head -c 50000000 /dev/zero | tr '\0' x
    printf '\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n'
} >"$long"

if [ "$timer" = hyperfine ] && ! command -v hyperfine >/dev/null; then
    echo "hyperfine is missing; installing it with apt-get" >&2
    sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" apt-get install -y -qq hyperfine >&2 || echo "could not install hyperfine; timing with a loop" >&2
fi

target="$data/target.mdb"
names=("export $count" "import $count into an empty database" "import $count, all already there"
       "import a 50 MB line" "import 10000 in zones" "import the same 10000 in UTC")
prepares=("true" "cp $empty $target" "cp $full $target" "cp $empty $target" "cp $empty $target"
          "cp $empty $target")
commands=("$ics export --db $events -o $data/out.ics"
          "$ics import --db $target $data/events-$count.ics"
          "$ics import --db $target $data/events-$count.ics"
          "$ics import --db $target $long"
          "$ics import --db $target $data/other-zoned.ics"
          "$ics import --db $target $data/other-utc.ics")

echo "quillmoor-ics, $runs runs each, $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg), $(date -u +%Y-%m-%d)"
if [ "$timer" = hyperfine ] && command -v hyperfine >/dev/null; then
    arguments=()
    for i in "${!commands[@]}"; do
        arguments+=(-n "${names[$i]}" --prepare "${prepares[$i]}" "${commands[$i]}")
    done
    hyperfine -N --warmup 1 --runs "$runs" --export-markdown "$data/ics-times.md" \
        --export-json "$data/ics-times.json" "${arguments[@]}"
    echo "Medians:"
    grep -o '"median": [0-9.]*' "$data/ics-times.json" | awk '{ print $2 }' | paste <(printf '%s\n' "${names[@]}") - |
        awk -F'\t' '{ printf "  %-40s %.0f ms\n", $1, $2 * 1000 }'
    echo "Tables written to $data/ics-times.md and .json"
else
    for i in "${!commands[@]}"; do
        times=()
        for ((r = 0; r < runs; ++r)); do
            ${prepares[$i]}
            start=$(date +%s%N)
            ${commands[$i]} >/dev/null
            end=$(date +%s%N)
            times+=($(((end - start) / 1000)))
        done
        printf '%s\n' "${times[@]}" | sort -n | awk -v name="${names[$i]}" '
            { t[NR] = $1 }
            END { printf "%-40s median %.0f ms, min %.0f ms, max %.0f ms\n",
                         name, t[int((NR + 1) / 2)] / 1000, t[1] / 1000, t[NR] / 1000 }'
    done
fi

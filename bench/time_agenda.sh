#!/usr/bin/env bash
# Times quillmoor-agenda as a whole process (start, read, rule, print, exit) on event
# databases of 1,000, 10,000 and 100,000 generated events, in a Release build.
#
#   bench/time_agenda.sh              build in build-bench/, time month 2024-03
#   MONTH=2021-11 RUNS=50 bench/time_agenda.sh
#   BUILD_DIR=/tmp/qb JOBS=1 bench/time_agenda.sh
#   TIMER=loop bench/time_agenda.sh   skip hyperfine
#
# Uses hyperfine (installed with apt-get when missing); without it, a loop timed with
# date +%s%N. The target is under 200 ms for 100,000 events.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD_DIR:-build-bench}
month=${MONTH:-2024-03}
runs=${RUNS:-20}
jobs=${JOBS:-$(nproc)}
timer=${TIMER:-hyperfine}
sizes=(1000 10000 100000)

[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" --target quillmoor-agenda quillmoor-genevents -- -j"$jobs"
agenda="$build/bin/quillmoor-agenda"

data="$build/bench-data"
mkdir -p "$data"
for n in "${sizes[@]}"; do
    [ -f "$data/events-$n.mdb" ] || "$build/bin/quillmoor-genevents" "$data/events-$n.mdb" "$n"
done

if [ "$timer" = hyperfine ] && ! command -v hyperfine >/dev/null; then
    echo "hyperfine is missing; installing it with apt-get" >&2
    sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" apt-get install -y -qq hyperfine >&2 || echo "could not install hyperfine; timing with a loop" >&2
fi

echo "quillmoor-agenda $month, $runs runs each, $(nproc) cores, $(date -u +%Y-%m-%d)"
if [ "$timer" = hyperfine ] && command -v hyperfine >/dev/null; then
    commands=()
    for n in "${sizes[@]}"; do
        commands+=(-n "$n events" "$agenda --db $data/events-$n.mdb $month")
    done
    hyperfine -N --warmup 3 --runs "$runs" --export-markdown "$data/agenda-times.md" "${commands[@]}"
    echo "Table written to $data/agenda-times.md"
else
    for n in "${sizes[@]}"; do
        "$agenda" --db "$data/events-$n.mdb" "$month" >/dev/null # warm the page cache
        times=()
        for ((i = 0; i < runs; ++i)); do
            start=$(date +%s%N)
            "$agenda" --db "$data/events-$n.mdb" "$month" >/dev/null
            end=$(date +%s%N)
            times+=($(((end - start) / 1000)))
        done
        printf '%s\n' "${times[@]}" | sort -n | awk -v n="$n" '
            { t[NR] = $1; sum += $1 }
            END { printf "%7d events: mean %.1f ms, median %.1f ms, min %.1f ms, max %.1f ms\n",
                         n, sum / NR / 1000, t[int((NR + 1) / 2)] / 1000, t[1] / 1000, t[NR] / 1000 }'
    done
fi

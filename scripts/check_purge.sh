#!/usr/bin/env bash
# The package's removal and purge, pointed at a folder of their own: remove keeps
# everything; purge removes an empty calendar, and keeps one with an event (also one
# stored after the removal) in one line.
#   scripts/check_purge.sh BIN    BIN: the folder with quillmoor-ics and dbBlank.mdb
# Needs root (postinst makes the folder root's); skips with a line otherwise.
set -uo pipefail
bin=$(cd "${1:?usage: check_purge.sh BIN}" && pwd)
source_dir=$(cd "$(dirname "$0")/.." && pwd)
me=check_purge.sh
[ "$(id -u)" -eq 0 ] || { echo "$me: skipped: postinst needs root"; exit 0; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for script in postinst prerm postrm; do
    sed -e "s|/var/lib|$work|g" -e "s|/usr/lib/quillmoor|$bin|g" "$source_dir/debian/quillmoor.$script" >"$work/$script"
done
folder=$work/Quendrix/Quillmoor
event=$work/event.ics
printf 'BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\nBEGIN:VEVENT\r\nUID:1@test\r\nDTSTART;VALUE=DATE:20260301\r\nSUMMARY:Dentist\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n' >"$event"
store() { "$bin/quillmoor-ics" import --db "$folder/dbData.mdb" "$event" >/dev/null; }
failures=0

# case NAME WHEN: installs, stores an event at WHEN (never, before or after the removal),
# removes, purges.
case_() {
    local name=$1 when=$2
    sh "$work/postinst" configure && { [ "$when" != before ] || store; } && sh "$work/prerm" remove &&
        sh "$work/postrm" remove || { echo "$me: FAIL: $name: install or remove failed"; failures=$((failures + 1)); return; }
    [ -f "$folder/dbData.mdb" ] && [ -f "$folder/dbData.mdb-journal" ] && [ -f "$folder/dbData.mdb.sync-lock" ] ||
        { echo "$me: FAIL: $name: remove did not keep everything"; failures=$((failures + 1)); }
    [ "$when" != after ] || store
    local said
    said=$(sh "$work/postrm" purge)
    local left
    left=$(cd "$work" && find Quendrix 2>/dev/null | sort | tr '\n' ' ')
    local expected="" expected_said=""
    if [ "$when" != never ]; then
        expected="Quendrix Quendrix/Quillmoor Quendrix/Quillmoor/dbData.mdb "
        expected_said="quillmoor: the events are kept in $folder/dbData.mdb; to remove them: rm -r $folder"
    fi
    [ "$left" = "$expected" ] && [ "$said" = "$expected_said" ] ||
        { echo "$me: FAIL: $name: purge left \"$left\" and said \"$said\""; failures=$((failures + 1)); }
    rm -rf "$work/Quendrix"
}
case_ "empty calendar" never
case_ "an event" before
case_ "an event stored after the removal" after

[ "$failures" -eq 0 ] || exit 1
echo "$me: remove keeps the calendar; purge removes an empty one and keeps one with events"

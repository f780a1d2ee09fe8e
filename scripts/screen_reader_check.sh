#!/usr/bin/env bash
# What a screen reader is told in three places (the list of "Event Alert!", a day cell
# before and after Page Down, the first row of "Event Management"), read from the
# accessibility bus that Orca reads, with the program under Xvfb and one event today.
#   scripts/screen_reader_check.sh [BIN [DISPLAY]]   BIN: build/bin; DISPLAY: a free one
# Needs root: it runs the program as nobody, with the shared calendar hidden, so that stays
# untouched; skips with a line otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."
me=screen_reader_check.sh
[ "$(id -u)" -eq 0 ] || { echo "$me: skipped: it must run as root to run the program as another user"; exit 0; }
bin=$(cd "${1:-build/bin}" && pwd)
scripts/deps.sh --screen-reader
work=$(mktemp -d)
chmod 0755 "$work"
user=$(id -u nobody) # dbus-daemon wants a user with a name
install -d -o $user -g $user "$work/home"
if [ -n "${2:-}" ]; then
    display=$2
    Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp -ac >/dev/null 2>&1 &
else
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -ac 3>"$work/display" >/dev/null 2>&1 &
fi
xvfb=$!
trap 'kill $xvfb; rm -rf "$work"' EXIT
for _ in $(seq 100); do [ -n "${2:-}" ] || [ -s "$work/display" ] && break; sleep 0.1; done
display=${2:-:$(cat "$work/display")}
today=$(date +%Y%m%d)
printf 'BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//check//EN\r\nBEGIN:VEVENT\r\nUID:1@check\r\nDTSTART;VALUE=DATE:%s\r\nSUMMARY:Dentist\r\nDESCRIPTION:At ten\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n' \
    "$today" >"$work/today.ics"
chmod 0644 "$work/today.ics"
# As that user, with the machine's shared folder (if any) hidden behind an empty one.
as_user() {
    local hide=""
    [ -d /var/lib/Quendrix ] && hide="mount -t tmpfs tmpfs /var/lib/Quendrix &&"
    unshare -m sh -c "$hide cd $work && exec setpriv --reuid=$user --regid=$user --clear-groups env -i PATH=$PATH \
        HOME=$work/home DISPLAY=$display LANG=C.UTF-8 QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 \
        dbus-run-session -- \"\$@\"" sh "$@"
}
as_user "$bin/quillmoor-ics" import "$work/today.ics" >/dev/null
# The user may not enter this tree: the script goes with the rest.
install -m 0644 scripts/screen_reader_check.py "$work/"
as_user python3 "$work/screen_reader_check.py" "$bin" 2>/dev/null

#!/usr/bin/env bash
# Two ordinary users share the calendar's folder as the package's postinst prepares it, with
# the kernel's link and file protections as a stock Debian sets them: A saves, B saves, A
# saves again, and nothing B can do to the folder's files makes A's saves fail or hang.
# Where B could do harm before the folder is prepared (a FIFO, a link or a journal of B's),
# A gets one plain line, and the administrator's "dpkg-reconfigure" (postinst again) mends it;
# so it does for a view or a trigger B plants in the file.
#   scripts/check_shared_folder.sh BIN    BIN: the folder with quillmoor-ics, quillmoor-agenda, dbBlank.mdb
# Needs root (to act as two users and set the protections); skips with a line otherwise.
set -uo pipefail
bin=$(cd "${1:?usage: check_shared_folder.sh BIN}" && pwd)
source_dir=$(cd "$(dirname "$0")/.." && pwd)
me=check_shared_folder.sh

if [ "$(id -u)" -ne 0 ]; then
    echo "$me: skipped: it must run as root to act as two users and set the kernel's protections"
    exit 0
fi
protections=(protected_regular=2 protected_fifos=1 protected_symlinks=1)
declare -A before
for p in "${protections[@]}"; do
    before[${p%=*}]=$(cat "/proc/sys/fs/${p%=*}" 2>/dev/null) || {
        echo "$me: skipped: this kernel has no fs.${p%=*}"
        exit 0
    }
done
work=$(mktemp -d)
restore() {
    for key in "${!before[@]}"; do
        echo "${before[$key]}" >"/proc/sys/fs/$key" 2>/dev/null
    done
    rm -rf "$work"
}
trap restore EXIT
for p in "${protections[@]}"; do
    echo "${p#*=}" 2>/dev/null >"/proc/sys/fs/${p%=*}" || {
        echo "$me: skipped: fs.${p%=*} cannot be set here"
        exit 0
    }
done

# The postinst, pointed at a folder of its own instead of /var/lib and /usr/lib/quillmoor.
chmod 0755 "$work"
root=$work/var-lib
mkdir -m 0755 "$root"
sed -e "s|/var/lib/Quendrix|$root/Quendrix|g" -e "s|/usr/lib/quillmoor|$bin|g" \
    "$source_dir/debian/quillmoor.postinst" >"$work/postinst"
reconfigure() { sh "$work/postinst" configure; }
folder=$root/Quendrix/Quillmoor
live=$folder/dbData.mdb
journal=$live-journal

A=61001
B=61002
for u in $A $B; do install -d -o $u -g $u -m 0700 "$work/home-$u"; done
# Bounded: an open that blocks on a FIFO would hang here for ever.
as() {
    local uid=$1
    shift
    HOME=$work/home-$uid timeout 20 setpriv --reuid=$uid --regid=$uid --clear-groups "$@"
}

failures=0
fail() {
    echo "$me: FAIL: $*"
    failures=$((failures + 1))
}

saves=0
# save UID EXPECTED-STATUS [TEXT-OF-THE-MESSAGE]: the user imports one new event.
save() {
    local uid=$1 expected=$2 message=${3:-}
    saves=$((saves + 1))
    local ics=$work/event-$saves.ics
    printf 'BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\nBEGIN:VEVENT\r\nUID:%s@test\r\nDTSTART;VALUE=DATE:20260301\r\nSUMMARY:Event %s of %s\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n' \
        $saves $saves "$uid" >"$ics"
    chmod 0644 "$ics"
    local out status
    out=$(as "$uid" "$bin/quillmoor-ics" import --db "$live" "$ics" 2>&1)
    status=$?
    if [ "$status" -ne "$expected" ]; then
        fail "save $saves by $uid ($what): status $status, expected $expected: $out"
    elif [ -n "$message" ] && [[ "$out" != *"$message"* ]]; then
        fail "save $saves by $uid ($what): \"$out\" does not say \"$message\""
    elif [ "$expected" -ne 0 ] && [ "$(printf '%s\n' "$out" | wc -l)" -ne 1 ]; then
        fail "save $saves by $uid ($what): not one line: $out"
    fi
}
stored() {
    "$bin/quillmoor-ics" export --db "$live" | grep -c '^SUMMARY:'
}

what="after the package's install"
reconfigure || fail "postinst failed"
[ "$(stat -c '%U %a' "$folder" "$live" "$journal" | tr '\n' ' ')" = "root 1777 root 666 root 666 " ] ||
    fail "the folder, database and journal are $(stat -c '%n %U %a' "$folder" "$live" "$journal" | tr '\n' ' ')"
save $A 0
save $B 0
save $A 0

# What B may try once the folder is prepared; none of it may stop A.
attacks=(
    "chmod 600 $journal"
    "chmod 600 $live"
    "rm -f $journal"
    "mv $journal $folder/moved"
    "ln -sf /etc/shadow $journal"
    "mkfifo $journal"
    "sh -c 'echo not a journal >$journal'"
    "sh -c 'echo not a log >$live-wal'"
)
for attack in "${attacks[@]}"; do
    what="B tried: $attack"
    as $B sh -c "$attack" 2>/dev/null
    save $A 0
    save $B 0
done

# Before the folder is prepared again (a journal someone removed), B can put things in the
# journal's place: A is told plainly, at once, and postinst mends it.
mends=(
    "mkfifo -m 666 $journal|not a regular file"
    "ln -s $work/home-$B/elsewhere $journal|not a regular file"
    "sh -c ': >$journal; chmod 666 $journal'|is owned by user $B"
    "true|is missing"
)
for case in "${mends[@]}"; do
    attack=${case%%|*}
    what="journal removed, then B: $attack"
    rm -f "$journal"
    as $B sh -c "$attack" 2>/dev/null
    save $A 2 "${case#*|}"
    reconfigure || fail "postinst failed to mend: $what"
    save $A 0
    save $B 0
done

# What B may plant in the file itself, with the SQL any user may run on it: A is told what it
# is, and postinst takes it out with every event kept.
plant() {
    as $B /usr/bin/python3 -c 'import sqlite3, sys; sqlite3.connect(sys.argv[1]).executescript(sys.argv[2])' "$live" \
        "pragma journal_mode=truncate; $1" # no user may delete the shared journal
}
plants=(
    "alter table tblEvents rename to kept; create view tblEvents as with recursive c(x) as (select 1 union all select x + 1 from c) select count(*), 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12 from c|view \"tblEvents\""
    "create trigger stop before insert on tblEvents begin select raise(abort, 'B says no'); end|trigger \"stop\""
    "create trigger wipe after insert on tblEvents begin delete from tblEvents where id <> new.id; end|trigger \"wipe\""
)
for case in "${plants[@]}"; do
    what="B planted: ${case#*|}"
    plant "${case%%|*}" || fail "B could not plant: $what"
    save $A 2 "${case#*|}"
    reconfigure || fail "postinst failed to mend: $what"
    save $A 0
    save $B 0
done

what="the end"
expected=$(( saves - ${#mends[@]} - ${#plants[@]} ))
[ "$(stored)" -eq "$expected" ] || fail "$(stored) events stored, expected $expected"
[ -e "$work/home-$B/elsewhere" ] && fail "a save wrote through B's link"

if [ "$failures" -ne 0 ]; then
    echo "$me: $failures failures"
    exit 1
fi
echo "$me: two users share the folder: $saves saves, ${#attacks[@]} attacks by the second user, ${#mends[@]} mended," \
    "${#plants[@]} planted and taken out"

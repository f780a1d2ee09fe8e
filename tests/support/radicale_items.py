#!/usr/bin/python3
"""Writes events straight into a Radicale 3 collection folder, as other clients' writes would
have left them, without a PUT for each.

    radicale_items.py COLLECTION-FOLDER COUNT [big|nul]

COUNT plain all-day events, plus "big": one event of 50 MB, or "nul": one event with a NUL byte,
which RFC 5545 forbids. Each item gets the entry Radicale keeps in .Radicale.cache/item, made
with Radicale's own hash and ETag, because Radicale would otherwise read every item through
vobject on its first listing: 10,000 items or 50 MB take it a minute or more.
"""

import os
import pickle
import sys
from hashlib import sha256

from radicale import item as radicale_item
from radicale import storage


def event(uid, summary, description=""):
    lines = ["BEGIN:VCALENDAR", "VERSION:2.0", "PRODID:-//test//planted//EN", "BEGIN:VEVENT",
             "UID:" + uid, "DTSTART;VALUE=DATE:20261201", "DTSTAMP:20261201T000000Z",
             "SUMMARY:" + summary]
    if description:
        # Folded at 75 octets, as RFC 5545 asks.
        lines.append("DESCRIPTION:" + "\r\n ".join(
            description[i:i + 74] for i in range(0, len(description), 74)))
    lines += ["END:VEVENT", "END:VCALENDAR", ""]
    return "\r\n".join(lines)


def plant(folder, href, uid, text):
    raw = text.encode()
    with open(os.path.join(folder, href), "wb") as f:
        f.write(raw)
    cache_hash = sha256(storage.CACHE_VERSION + raw).hexdigest()
    # The time range only serves time-range queries; these events are never asked by time.
    entry = (cache_hash, uid, radicale_item.get_etag(text), text, "VCALENDAR", "VEVENT",
             0, 2 ** 40)
    cache = os.path.join(folder, ".Radicale.cache", "item")
    os.makedirs(cache, exist_ok=True)
    with open(os.path.join(cache, href), "wb") as f:
        pickle.dump(entry, f)


def main():
    folder, count = sys.argv[1], int(sys.argv[2])
    special = sys.argv[3] if len(sys.argv) > 3 else ""
    for n in range(count):
        plant(folder, "planted-%05d.ics" % n, "planted-%d" % n, event("planted-%d" % n, "Planted %d" % n))
    if special == "big":
        plant(folder, "big.ics", "big", event("big", "Big", "x" * (50 * 1024 * 1024)))
    elif special == "nul":
        plant(folder, "nul.ics", "nul", event("nul", "Not\0iCalendar"))


if __name__ == "__main__":
    main()

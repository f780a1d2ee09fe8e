#pragma once

#include "dav_client.h"
#include "link_state.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

/// What one sync did, for its summary line.
struct SyncSummary
{
    int down = 0;            ///< rows added or changed from the server
    int up = 0;              ///< server events added or changed from rows
    int deletedHere = 0;     ///< rows deleted because the server's event went
    int deletedThere = 0;    ///< server events deleted because their row went
    int conflicts = 0;       ///< rows changed on both sides: the local version kept as a new event
    int leftAlone = 0;       ///< server events the calendar cannot show, and rows that can never occur
    int unreadable = 0;      ///< of those left alone: server events that are no iCalendar or too large to fetch
    QString firstUnreadable; ///< the href of the first of them (in href order)

    friend bool operator==(const SyncSummary&, const SyncSummary&) = default;
};

/// The digest of what `event` means (its kind of event, days, title, description and warning as the
/// iCalendar mapping carries them), equal for a row and the server event it came from; empty for
/// an event that can never occur.
[[nodiscard]] QByteArray SyncDigest(const EventRecord& event);

/// `serverCalendar` (a VCALENDAR whose one VEVENT the calendar shows) with the properties that
/// differ from `event` replaced: SUMMARY, DESCRIPTION, the day and the rule (a timed start moved
/// by whole days, keeping its time and zone) and the alarms, each only when it differs; everything
/// else is kept. DTSTAMP becomes `now`, LAST-MODIFIED and SEQUENCE move on where present.
[[nodiscard]] QByteArray PatchedCalendar(const QByteArray& serverCalendar, const EventRecord& event,
                                         const QDateTime& now);

/// One sync of the rows of `state` with the collection of `client` both ways: the server's
/// changes since the last sync first (a row changed on both sides takes the server's version
/// and its local version becomes a new event), then the rows' changes, each write conditional
/// on the ETag last seen. New server events get UIDs "quillmoor-<uuid>@<uidDomain>". Throws
/// SyncError or StoreError; what was committed before stays, and the next sync goes on from it.
SyncSummary Synchronize(LinkState& state, DavClient& client, const QDateTime& now, const QString& uidDomain);

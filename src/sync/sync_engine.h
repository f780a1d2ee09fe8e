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
    int outside = 0;         ///< hrefs the server listed that are not members of the collection: ignored

    friend bool operator==(const SyncSummary&, const SyncSummary&) = default;
};

/// What a sync does about one event, decided from its three states before anything is done.
enum class SyncAction
{
    UpdateHere,   ///< the row takes SyncDecision::row (a new row when there was none)
    Upload,       ///< the row (as it is after UpdateHere) goes to the server
    ConflictCopy, ///< the row as the user left it is kept as a new event (then the server's is taken)
    DeleteHere,   ///< the row goes
    DeleteThere,  ///< the server's event goes
};

struct SyncDecision
{
    QList<SyncAction> actions; ///< in the order they are done; empty: nothing to do
    EventRecord row;           ///< for UpdateHere

    friend bool operator==(const SyncDecision&, const SyncDecision&) = default;
};

/// The three-way decision for one event, each argument as the iCalendar mapping reads it: `base`
/// as last synced (none: never synced), `local` the row (none: deleted here), `server` the
/// server's event (none: deleted there). Per property the calendar owns (title, description, the
/// day and rule, the warning) a side that left it as it was takes the other side's value; only a
/// property both sides changed to different values is a conflict, which the server wins, the
/// row being kept as a copy. A deletion on one side wins over no change on the other, and loses
/// to a change.
[[nodiscard]] SyncDecision DecideSync(const std::optional<EventRecord>& base, const std::optional<EventRecord>& local,
                                      const std::optional<EventRecord>& server);

/// The digest of what `event` means (its kind of event, days, title, description and warning as the
/// iCalendar mapping carries them), equal for a row and the server event it came from; empty for
/// an event that can never occur.
[[nodiscard]] QByteArray SyncDigest(const EventRecord& event);

/// `serverCalendar` (a VCALENDAR whose one VEVENT the calendar shows) with the properties that
/// differ from `event` replaced: SUMMARY, DESCRIPTION, the day and the rule (a timed start moved
/// to the first day of the new rule on or after the old start, keeping its time and zone) and
/// the calendar's own warning alarm, each only when it differs; everything else, other alarms
/// too, is kept. DTSTAMP becomes `now`, LAST-MODIFIED and SEQUENCE move on where present.
[[nodiscard]] QByteArray PatchedCalendar(const QByteArray& serverCalendar, const EventRecord& event,
                                         const QDateTime& now);

/// One sync of the rows of `state` with the collection of `client` both ways: the server's
/// changes since the last sync first (a row changed on both sides takes the server's version
/// and its local version becomes a new event), then the rows' changes, each write conditional
/// on the ETag last seen. New server events get UIDs "quillmoor-<uuid>@<uidDomain>". Throws
/// SyncError or StoreError; what was committed before stays, and the next sync goes on from it.
SyncSummary Synchronize(LinkState& state, DavClient& client, const QDateTime& now, const QString& uidDomain);

#include "sync_engine.h"

#include "ical/calendar_parts.h"
#include "ical/event_mapping.h"
#include "ical/stored_event.h"
#include "ical/untrusted_text.h"

#include <QCryptographicHash>
#include <QSet>
#include <QUuid>

#include <cstring>

namespace {

constexpr char kProductId[] = "-//Quendrix//Quillmoor Sync 1.0//EN";
// Link changes of a push are committed in batches: one commit per request would cost a
// disk flush each, and what a lost batch held is found again by content on the next sync.
// No transaction stays open across a request, so the calendar can save events meanwhile.
constexpr int kCommitEvery = 100;

icaltimetype utcOf(const QDateTime& now)
{
    return icaltime_from_timet_with_zone(now.toSecsSinceEpoch(), 0, icaltimezone_get_utc_timezone());
}

EventRecord recordOf(EventRecord r, qint64 id = 0)
{
    r.id = id;
    return r;
}

std::array<int, 9> numbersOf(const EventRecord& f)
{
    // A digest is only taken of the mapping's output, which sets every number.
    return {f.timetype.value_or(0),     f.consistancy.value_or(0), f.eventmonth.value_or(0),
            f.eventday.value_or(0),     f.eventyear.value_or(0),   f.eventweekdate.value_or(0),
            f.eventweekday.value_or(0), f.warnevent.value_or(0),   f.daysbefore.value_or(0)};
}

// The event as the server would read it after the mapping wrote it; nothing when it cannot occur.
std::optional<EventRecord> canonical(const EventRecord& event, ComponentPtr* written = nullptr)
{
    QString warningLeftOut;
    std::variant<ComponentPtr, QString> vevent = EventComponent(
        event, "quillmoor", icaltime_from_timet_with_zone(0, 0, icaltimezone_get_utc_timezone()), warningLeftOut);
    auto* component = std::get_if<ComponentPtr>(&vevent);
    if (!component)
        return std::nullopt;
    ReadVEvent read = ReadEventComponent(component->get());
    if (written)
        *written = std::move(*component);
    if (auto* fields = std::get_if<EventRecord>(&read.outcome))
        return *fields;
    return std::nullopt;
}

QByteArray digestOf(const EventRecord& f)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(f.title.toUtf8());
    hash.addData(QByteArrayView("\0", 1));
    hash.addData(f.description.toUtf8());
    for (int n : numbersOf(f))
        hash.addData(QByteArray::number(n) + ',');
    return hash.result();
}

// What the calendar owns of an event, compared and merged one by one.
enum class Owned
{
    Title,
    Description,
    Days, // the kind of event, its day and rule
    Warning,
};
constexpr Owned kOwned[] = {Owned::Title, Owned::Description, Owned::Days, Owned::Warning};

bool same(const EventRecord& a, const EventRecord& b, Owned what)
{
    const std::array<int, 9> x = numbersOf(a), y = numbersOf(b);
    switch (what) {
    case Owned::Title:
        return a.title == b.title;
    case Owned::Description:
        return a.description == b.description;
    case Owned::Days:
        return std::equal(x.begin(), x.begin() + 7, y.begin());
    case Owned::Warning:
        return x[7] == y[7] && (x[7] == 0 || x[8] == y[8]);
    }
    return false;
}

bool sameMeaning(const EventRecord& a, const EventRecord& b)
{
    return std::all_of(std::begin(kOwned), std::end(kOwned), [&](Owned what) { return same(a, b, what); });
}

void take(EventRecord& to, const EventRecord& from, Owned what)
{
    switch (what) {
    case Owned::Title:
        to.title = from.title;
        break;
    case Owned::Description:
        to.description = from.description;
        break;
    case Owned::Days:
        to.timetype = from.timetype;
        to.consistancy = from.consistancy;
        to.eventmonth = from.eventmonth;
        to.eventday = from.eventday;
        to.eventyear = from.eventyear;
        to.eventweekdate = from.eventweekdate;
        to.eventweekday = from.eventweekday;
        break;
    case Owned::Warning:
        to.warnevent = from.warnevent;
        to.daysbefore = from.daysbefore;
        break;
    }
}

// What the calendar reads in a server's member.
struct ServerEvent
{
    ComponentPtr calendar;
    icalcomponent* vevent = nullptr;
    QByteArray uid;
    std::optional<EventRecord> fields; ///< none: the calendar cannot show it
    Event stored;                      ///< its details as read here, with `fields` as its row
};

// Whether a server's member is iCalendar at all (RFC 5545 allows no NUL in it).
bool isICalendar(const QByteArray& data)
{
    return !data.isEmpty() && !CheckUntrustedText(data).damaged && ParseCalendar(data);
}

ServerEvent readServer(const QByteArray& data)
{
    ServerEvent s;
    // The server's text is checked as an imported file's is, before libical reads it.
    const UntrustedTextCheck check = data.isEmpty() ? UntrustedTextCheck{} : CheckUntrustedText(data);
    if (data.isEmpty() || check.damaged)
        return s;
    s.calendar = ParseCalendar(data);
    if (!s.calendar)
        return s;
    // The event itself, not one of its changed occurrences (RECURRENCE-ID), which may come first;
    // without it, the first of those.
    const EventComponents parts = EventComponentsOf(s.calendar.get());
    s.vevent = parts.master ? parts.master : parts.changes.value(0);
    if (!s.vevent)
        return s;
    const char* uid = icalcomponent_get_uid(s.vevent);
    s.uid = uid ? QByteArray(uid) : QByteArray();
    if (check.badRule)
        return s;
    std::variant<StoredEvent, QString> stored = StoredEventOf(s.calendar.get());
    if (auto* event = std::get_if<StoredEvent>(&stored)) {
        // Stored as the calendar itself would store it, so its digest is the row's.
        s.fields = canonical(recordOf(event->event.row));
        s.stored = std::move(event->event);
        if (s.fields)
            s.stored.row = *s.fields;
    }
    return s;
}

void replaceProperty(icalcomponent* target, icalcomponent* source, icalproperty_kind kind)
{
    while (icalproperty* old = icalcomponent_get_first_property(target, kind)) {
        icalcomponent_remove_property(target, old);
        icalproperty_free(old);
    }
    for (icalproperty* p = icalcomponent_get_first_property(source, kind); p;
         p = icalcomponent_get_next_property(source, kind))
        icalcomponent_add_property(target, icalproperty_new_clone(p));
}

// Moves a start or end by whole days, keeping its time of day and its zone parameter.
void shiftDays(icalproperty* property, int days)
{
    if (!property || days == 0)
        return;
    icaltimetype t = icalvalue_get_datetime(icalproperty_get_value(property));
    icaltime_adjust(&t, days, 0, 0, 0);
    icalproperty_set_value(property, t.is_date ? icalvalue_new_date(t) : icalvalue_new_datetime(t));
}

// The first day of `rule` from `start` on that is not before `notBefore`; the start itself when
// none is found within many thousand occurrences.
QDate firstOnOrAfter(const icalrecurrencetype& rule, const icaltimetype& start, QDate notBefore)
{
    const QDate first(start.year, start.month, start.day);
    icalrecur_iterator* it = icalrecur_iterator_new(rule, start);
    if (!it)
        return first;
    QDate found = first;
    for (int i = 0; i < 100000; ++i) {
        const icaltimetype t = icalrecur_iterator_next(it);
        if (icaltime_is_null_time(t))
            break;
        if (const QDate day(t.year, t.month, t.day); day >= notBefore) {
            found = day;
            break;
        }
    }
    icalrecur_iterator_free(it);
    return found;
}

QDate dateOfProperty(icalproperty* property)
{
    const icaltimetype t = icalvalue_get_datetime(icalproperty_get_value(property));
    return QDate(t.year, t.month, t.day);
}

// One sync's view of the two sides while it changes them.
class Run
{
public:
    Run(LinkState& state, DavClient& client, const QDateTime& now, const QString& uidDomain)
        : m_state(state), m_client(client), m_now(now), m_uidDomain(uidDomain)
    {}

    void pull();
    void push();
    void countLeftAlone();
    // Takes in the token that follows the push's own writes, so that a next sync with nothing
    // changed writes nothing; left to the next sync when another client wrote meanwhile.
    void takeInOwnToken();
    SyncSummary summary;

private:
    void reload();
    void reloadRows();
    // Runs `change` (may be empty) in one short transaction, with the queued link changes
    // first and the rows read afresh, so that an edit made meanwhile is seen.
    void inTransaction(const std::function<void()>& change);
    // A link change (none: the link goes) to be written with the next transaction.
    void queue(const QString& href, const std::optional<SyncLink>& link);
    void applyServer(const QString& href, const QByteArray& etag, const QByteArray& data);
    void applyServerDelete(const QString& href);
    [[nodiscard]] QByteArray rowDigest(qint64 id) const;
    [[nodiscard]] const EventRecord* row(const std::optional<qint64>& id) const;
    qint64 insert(const Event& event);
    // A copy of row `id` as the user left it, details and all.
    void keepCopy(const EventRecord& local);
    void pushChanged(SyncLink link, EventRecord event);
    void pushDeleted(const SyncLink& link);
    void pushNew();
    // Uploads a new event; a 412 with nothing there sends it once more under a fresh name.
    void uploadNew(SyncLink link, bool again);
    void addLinksOfNewEvents();
    // A new link with a fresh UID and name for row `r`; nothing for an event that cannot occur.
    std::optional<SyncLink> freshLink(const EventRecord& r);
    // The ETag of what a PUT wrote: its answer's, else a look-up, never a refetch taken for a change.
    QByteArray etagAfterPut(const QString& href, const DavResponse& response);

    void pushAll();
    // The server's current copy of `href` after a 412, decided as a change from the server.
    void refetch(const QString& href);

    LinkState& m_state;
    DavClient& m_client;
    QDateTime m_now;
    QString m_uidDomain;
    QHash<qint64, EventRecord> m_rows;
    QHash<QString, SyncLink> m_links;
    QHash<QByteArray, QList<qint64>> m_unlinkedByDigest;
    mutable QHash<qint64, std::pair<EventRecord, QByteArray>> m_digests;
    QList<std::pair<QString, std::optional<SyncLink>>> m_queued;
    QString m_token;      // as stored after the pull
    bool m_wrote = false; // the push changed the server
};

void Run::reload()
{
    reloadRows();
    m_links = m_state.links();
}

void Run::reloadRows()
{
    m_rows.clear();
    for (const EventRecord& r : m_state.events())
        m_rows.insert(r.id, r);
}

void Run::inTransaction(const std::function<void()>& change)
{
    m_state.begin();
    for (const auto& [href, link] : std::as_const(m_queued)) {
        if (link)
            m_state.saveLink(*link);
        else
            m_state.removeLink(href);
    }
    m_queued.clear();
    if (change) {
        reloadRows();
        change();
    }
    m_state.commit();
}

void Run::queue(const QString& href, const std::optional<SyncLink>& link)
{
    if (link)
        m_links.insert(href, *link);
    else
        m_links.remove(href);
    m_queued.append({href, link});
    if (m_queued.size() >= kCommitEvery)
        inTransaction({});
}

const EventRecord* Run::row(const std::optional<qint64>& id) const
{
    if (!id)
        return nullptr;
    const auto it = m_rows.constFind(*id);
    return it == m_rows.constEnd() ? nullptr : &*it;
}

QByteArray Run::rowDigest(qint64 id) const
{
    // Each digest writes and reads the event through libical; a sync asks for each row's
    // several times, and the rows are read afresh in every transaction.
    const EventRecord event = m_rows.value(id);
    const auto cached = m_digests.constFind(id);
    if (cached != m_digests.constEnd() && cached->first == event)
        return cached->second;
    const QByteArray digest = SyncDigest(event);
    m_digests.insert(id, {event, digest});
    return digest;
}

qint64 Run::insert(const Event& event)
{
    const qint64 id = m_state.insertEvent(event);
    m_rows.insert(id, recordOf(event.row, id));
    return id;
}

void Run::keepCopy(const EventRecord& local)
{
    // The copy keeps the days the details give, or, where they can no longer be read, the row's.
    std::variant<Event, QString> copy = EventOf(local, m_state.detailsOf(local.id));
    insert(std::holds_alternative<Event>(copy) ? std::get<Event>(copy) : Event{local, {}, {}});
    ++summary.conflicts;
}

void Run::pull()
{
    reload();
    const QString token = m_state.syncToken();
    if (m_state.lacksSyncCollection())
        m_client.useSyncCollection = false;
    const bool asked = m_client.useSyncCollection;
    const DavListing listing = m_client.changes(token);
    // Remembered, so that later syncs go straight to the listing they can have.
    const bool learnedLack = asked && !m_client.useSyncCollection;
    summary.outside = listing.outside;
    QStringList wanted;
    QStringList gone;
    QHash<QString, QByteArray> listed; // the ETags, also of members too large to fetch
    for (const DavItem& item : listing.items) {
        listed.insert(item.href, item.etag);
        const auto link = m_links.constFind(item.href);
        if (item.status == 404) {
            if (link != m_links.constEnd())
                gone.append(item.href);
        } else if (link == m_links.constEnd() || link->etag.isEmpty() || link->etag != item.etag) {
            wanted.append(item.href);
        }
    }
    if (listing.complete) {
        for (const SyncLink& link : std::as_const(m_links)) {
            // A new event whose PUT was never confirmed is not on the server yet, not gone from it.
            if (!listed.contains(link.href) && !link.etag.isEmpty())
                gone.append(link.href);
        }
    }
    // A full listing without a token (by PROPFIND) replaces one the server no longer knows.
    m_token = listing.complete || !listing.syncToken.isEmpty() ? listing.syncToken : token;
    if (wanted.isEmpty() && gone.isEmpty() && m_token == token && !learnedLack)
        return;
    const QList<DavItem> fetched = wanted.isEmpty() ? QList<DavItem>() : m_client.fetch(wanted);

    inTransaction([&] {
        QSet<qint64> linked;
        for (const SyncLink& link : std::as_const(m_links)) {
            if (link.eventId)
                linked.insert(*link.eventId);
        }
        for (const EventRecord& r : std::as_const(m_rows)) {
            if (!linked.contains(r.id)) {
                const QByteArray digest = rowDigest(r.id);
                if (!digest.isEmpty())
                    m_unlinkedByDigest[digest].append(r.id);
            }
        }
        for (const DavItem& item : fetched)
            applyServer(item.href, item.etag.isEmpty() ? listed.value(item.href) : item.etag, item.data);
        for (const QString& href : gone)
            applyServerDelete(href);
        if (m_token != token)
            m_state.setSyncToken(m_token);
        if (learnedLack)
            m_state.setLacksSyncCollection();
    });
}

void Run::takeInOwnToken()
{
    if (!m_wrote || !m_client.useSyncCollection || m_token.isEmpty())
        return;
    DavListing listing;
    try {
        listing = m_client.changes(m_token);
    } catch (const SyncError&) {
        return; // all is done; the next sync lists these changes again
    }
    if (listing.complete || listing.syncToken.isEmpty() || listing.syncToken == m_token)
        return;
    for (const DavItem& item : listing.items) {
        const auto link = m_links.constFind(item.href);
        const bool ours =
            item.status == 404 ? link == m_links.constEnd() : link != m_links.constEnd() && link->etag == item.etag;
        if (!ours)
            return;
    }
    inTransaction([&] { m_state.setSyncToken(listing.syncToken); });
}

void Run::applyServer(const QString& href, const QByteArray& etag, const QByteArray& data)
{
    const ServerEvent server = readServer(data);
    const auto found = m_links.constFind(href);
    const std::optional<SyncLink> link = found == m_links.constEnd() ? std::nullopt : std::optional(*found);
    SyncLink next{href, server.uid.isEmpty() && link ? link->uid : server.uid, etag, std::nullopt, {}, data};
    const QByteArray serverDigest = server.fields ? digestOf(*server.fields) : QByteArray();
    const EventRecord* local = link ? row(link->eventId) : nullptr;
    const std::optional<EventRecord> base = link ? readServer(link->component).fields : std::nullopt;

    if (!local) {
        if (link && link->eventId && server.fields &&
            DecideSync(base, std::nullopt, server.fields).actions == QList{SyncAction::DeleteThere}) {
            // Deleted here, only re-saved there: the push deletes it, If-Match the new ETag.
            next.eventId = link->eventId;
            next.digest = link->digest;
        } else if (server.fields) {
            // An equal event already here (exported and imported by hand) is linked, not doubled.
            QList<qint64>* equal = link ? nullptr : &m_unlinkedByDigest[serverDigest];
            if (equal && !equal->isEmpty()) {
                next.eventId = equal->takeFirst();
                m_state.setDetails(*next.eventId, server.stored);
            } else {
                next.eventId = insert(server.stored);
                ++summary.down;
            }
            next.digest = serverDigest;
        }
    } else if (!server.fields) {
        // Now beyond what the calendar can show: left to the server, a changed row kept as a copy.
        const qint64 id = local->id; // insert() may move the rows
        if (rowDigest(id) != link->digest) {
            keepCopy(*local);
        } else {
            ++summary.down;
        }
        m_state.removeEvent(id);
        m_rows.remove(id);
    } else {
        const qint64 id = local->id;
        const std::optional<EventRecord> mine = canonical(recordOf(*local));
        SyncDecision decision{{SyncAction::ConflictCopy, SyncAction::UpdateHere}, *server.fields};
        if (mine)
            decision = DecideSync(base, mine, server.fields);
        // An Upload is left to the push: the link holds the server's version, the row differs.
        for (SyncAction action : std::as_const(decision.actions)) {
            if (action == SyncAction::ConflictCopy) {
                keepCopy(*local);
            } else if (action == SyncAction::UpdateHere) {
                m_state.updateEvent(id, decision.row);
                m_rows.insert(id, recordOf(decision.row, id));
                summary.down += decision.actions.contains(SyncAction::ConflictCopy) ? 0 : 1;
            }
        }
        // The server's times, span and exceptions, unless the user gave the event other days
        // here (the push then writes those).
        const std::optional<EventRecord> now =
            decision.actions.contains(SyncAction::UpdateHere) ? std::optional(decision.row) : mine;
        if (now && same(*now, *server.fields, Owned::Days))
            m_state.setDetails(id, server.stored);
        next.eventId = id;
        next.digest = serverDigest;
    }
    m_state.saveLink(next);
    m_links.insert(href, next);
}

void Run::applyServerDelete(const QString& href)
{
    const SyncLink link = m_links.value(href);
    if (const EventRecord* local = row(link.eventId)) {
        // A row changed since the last sync stays, and is pushed again as a new event; so does
        // one whose first upload was never confirmed.
        if (!link.etag.isEmpty() && rowDigest(local->id) == link.digest) {
            m_state.removeEvent(local->id);
            m_rows.remove(local->id);
            ++summary.deletedHere;
        }
    }
    m_state.removeLink(href);
    m_links.remove(href);
}

void Run::refetch(const QString& href)
{
    const DavResponse current = m_client.get(href);
    inTransaction([&] {
        if (current.status == 404)
            applyServerDelete(href);
        else
            applyServer(href, current.etag, current.body);
    });
}

QByteArray Run::etagAfterPut(const QString& href, const DavResponse& response)
{
    // A server may answer a PUT without an ETag (it may have changed what it stored).
    return response.etag.isEmpty() ? m_client.etagOf(href) : response.etag;
}

void Run::pushChanged(SyncLink link, EventRecord event)
{
    const QByteArray body = PatchedCalendar(link.component, event, m_now);
    const DavResponse response = m_client.put(link.href, body, link.etag);
    if (response.status == 412) {
        refetch(link.href);
    } else if (response.status == 404) {
        // Deleted on the server meanwhile: the user's change is kept and pushed as a new event.
        queue(link.href, std::nullopt);
    } else {
        m_wrote = true;
        link.etag = etagAfterPut(link.href, response);
        link.digest = SyncDigest(event);
        link.component = body;
        queue(link.href, link);
        ++summary.up;
    }
}

void Run::pushDeleted(const SyncLink& link)
{
    const DavResponse response = m_client.remove(link.href, link.etag);
    if (response.status == 412) {
        // Changed on the server since: its version comes back.
        refetch(link.href);
    } else {
        if (response.status != 404) {
            ++summary.deletedThere;
            m_wrote = true;
        }
        queue(link.href, std::nullopt);
    }
}

void Run::pushNew()
{
    // Each new event gets its UID and href in the database before its PUT, so that an
    // interrupted push is recognised on the server next time and not sent twice.
    inTransaction([&] { addLinksOfNewEvents(); });
    for (const SyncLink& link : QList<SyncLink>(m_links.cbegin(), m_links.cend())) {
        if (link.etag.isEmpty() && row(link.eventId))
            uploadNew(link, true);
    }
}

void Run::uploadNew(SyncLink link, bool again)
{
    const DavResponse response = m_client.put(link.href, link.component, {});
    if (response.status == 412) {
        // Something is there: an earlier push that was not confirmed, or another client's event.
        const DavResponse current = m_client.get(link.href);
        if (current.status != 404) {
            inTransaction([&] { applyServer(link.href, current.etag, current.body); });
            return;
        }
        // Refused, and yet nothing is there: never a reason to delete the event here.
        if (!again)
            return; // the next sync tries again
        std::optional<SyncLink> fresh;
        inTransaction([&] {
            m_state.removeLink(link.href);
            m_links.remove(link.href);
            // The rows were read afresh: the event may have been deleted meanwhile.
            const EventRecord* r = row(link.eventId);
            if (r && (fresh = freshLink(*r)))
                m_state.saveLink(*fresh);
        });
        if (fresh)
            uploadNew(*fresh, false);
    } else if (response.status != 404) {
        m_wrote = true;
        link.etag = etagAfterPut(link.href, response);
        queue(link.href, link);
        ++summary.up;
    }
}

std::optional<SyncLink> Run::freshLink(const EventRecord& r)
{
    const QString uuid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    const QByteArray uid = QStringLiteral("quillmoor-%1@%2").arg(uuid, m_uidDomain).toUtf8();
    QString warningLeftOut;
    // An event imported from another calendar goes up as it came, under its own UID.
    std::map<QByteArray, ComponentPtr> zones;
    std::variant<std::vector<ComponentPtr>, QString> vevents =
        ComponentsOf(r, m_state.detailsOf(r.id), uid, utcOf(m_now), zones, warningLeftOut);
    auto* parts = std::get_if<std::vector<ComponentPtr>>(&vevents);
    if (!parts)
        return std::nullopt;
    const char* own = icalcomponent_get_uid(parts->front().get());
    QHash<QByteArray, icalcomponent*> zoneByName;
    for (const auto& [name, zone] : zones)
        zoneByName.insert(name, zone.get());
    const QByteArray linkUid = own ? QByteArray(own) : uid;
    const ComponentPtr calendar = OneEventCalendar(std::move(*parts), zoneByName, kProductId);
    const SyncLink link{m_client.collection().path(QUrl::FullyEncoded) + uuid + QStringLiteral(".ics"),
                        linkUid,
                        {},
                        r.id,
                        rowDigest(r.id),
                        ICalTextOf(calendar.get())};
    m_links.insert(link.href, link);
    return link;
}

void Run::addLinksOfNewEvents()
{
    QSet<qint64> linked;
    for (const SyncLink& link : std::as_const(m_links)) {
        if (link.eventId)
            linked.insert(*link.eventId);
    }
    for (const EventRecord& r : std::as_const(m_rows)) {
        if (linked.contains(r.id))
            continue;
        if (const std::optional<SyncLink> link = freshLink(r))
            m_state.saveLink(*link);
    }
}

void Run::push()
{
    reload();
    try {
        pushAll();
    } catch (const SyncError&) {
        // What the server confirmed before the failure is kept, so the next sync need not find it.
        inTransaction({});
        throw;
    }
    if (!m_queued.isEmpty())
        inTransaction({});
}

void Run::pushAll()
{
    for (const SyncLink& link : QList<SyncLink>(m_links.cbegin(), m_links.cend())) {
        if (!link.eventId)
            continue;
        if (const EventRecord* local = row(link.eventId)) {
            const QByteArray digest = rowDigest(local->id);
            // A new event's unconfirmed PUT is sent again by pushNew.
            if (!link.etag.isEmpty() && !digest.isEmpty() && digest != link.digest)
                pushChanged(link, *local);
        } else {
            pushDeleted(link);
        }
    }
    pushNew();
}

void Run::countLeftAlone()
{
    for (const SyncLink& link : std::as_const(m_links)) {
        if (link.eventId)
            continue;
        ++summary.leftAlone;
        // Said on every sync: it stays so until someone mends it on the server.
        if (!isICalendar(link.component)) {
            ++summary.unreadable;
            if (summary.firstUnreadable.isEmpty() || link.href < summary.firstUnreadable)
                summary.firstUnreadable = link.href;
        }
    }
    for (const EventRecord& r : std::as_const(m_rows))
        summary.leftAlone += rowDigest(r.id).isEmpty() ? 1 : 0;
}

} // namespace

SyncDecision DecideSync(const std::optional<EventRecord>& base, const std::optional<EventRecord>& local,
                        const std::optional<EventRecord>& server)
{
    SyncDecision decision;
    const auto unchanged = [&](const std::optional<EventRecord>& side) { return base && sameMeaning(*side, *base); };
    if (!local && !server)
        return decision;
    if (!server) {
        decision.actions = {unchanged(local) ? SyncAction::DeleteHere : SyncAction::Upload};
        return decision;
    }
    if (!local) {
        if (unchanged(server)) {
            decision.actions = {SyncAction::DeleteThere};
        } else {
            decision.actions = {SyncAction::UpdateHere};
            decision.row = *server;
        }
        return decision;
    }
    // Never synced: any difference was made on both sides.
    EventRecord merged = *server;
    for (Owned what : kOwned) {
        if (same(*local, *server, what) || (base && same(*local, *base, what)))
            continue;
        if (!base || !same(*server, *base, what)) {
            decision.actions = {SyncAction::ConflictCopy, SyncAction::UpdateHere};
            decision.row = *server;
            return decision;
        }
        take(merged, *local, what);
    }
    if (!sameMeaning(merged, *local)) {
        decision.actions.append(SyncAction::UpdateHere);
        decision.row = merged;
    }
    if (!sameMeaning(merged, *server))
        decision.actions.append(SyncAction::Upload);
    return decision;
}

QByteArray SyncDigest(const EventRecord& event)
{
    const std::optional<EventRecord> c = canonical(event);
    return c ? digestOf(*c) : QByteArray();
}

QByteArray PatchedCalendar(const QByteArray& serverCalendar, const EventRecord& event, const QDateTime& now)
{
    ServerEvent server = readServer(serverCalendar);
    ComponentPtr written;
    const std::optional<EventRecord> local = canonical(event, &written);
    if (!server.fields || !local)
        throw SyncError("an event the calendar cannot show was about to be written; it was left as it is");
    icalcomponent* target = server.vevent;
    icalcomponent* source = written.get();
    if (local->title != server.fields->title)
        replaceProperty(target, source, ICAL_SUMMARY_PROPERTY);
    if (local->description != server.fields->description)
        replaceProperty(target, source, ICAL_DESCRIPTION_PROPERTY);
    if (!same(*local, *server.fields, Owned::Days)) {
        icalproperty* start = icalcomponent_get_first_property(target, ICAL_DTSTART_PROPERTY);
        icalproperty* newStart = icalcomponent_get_first_property(source, ICAL_DTSTART_PROPERTY);
        // The event keeps its place in time: the first day of the new rule from its old start on.
        const QDate old = dateOfProperty(start);
        QDate day = dateOfProperty(newStart);
        if (icalproperty* rule = icalcomponent_get_first_property(source, ICAL_RRULE_PROPERTY))
            day = firstOnOrAfter(icalproperty_get_rrule(rule), icalproperty_get_dtstart(newStart), old);
        const int days = int(old.daysTo(day));
        shiftDays(start, days);
        shiftDays(icalcomponent_get_first_property(target, ICAL_DTEND_PROPERTY), days);
        replaceProperty(target, source, ICAL_RRULE_PROPERTY);
        // The event is now what the editor said: the old rule's gaps and moved days go with it.
        for (icalproperty_kind kind : {ICAL_EXDATE_PROPERTY, ICAL_RDATE_PROPERTY, ICAL_EXRULE_PROPERTY})
            replaceProperty(target, source, kind);
        QList<icalcomponent*> changed;
        for (icalcomponent* e = icalcomponent_get_first_component(server.calendar.get(), ICAL_VEVENT_COMPONENT); e;
             e = icalcomponent_get_next_component(server.calendar.get(), ICAL_VEVENT_COMPONENT)) {
            if (e != target)
                changed.append(e);
        }
        for (icalcomponent* e : std::as_const(changed)) {
            icalcomponent_remove_component(server.calendar.get(), e);
            icalcomponent_free(e);
        }
    }
    if (!same(*local, *server.fields, Owned::Warning)) {
        // Only the alarm that is the calendar's warning; another client's other alarms stay.
        QList<icalcomponent*> warnings;
        for (icalcomponent* alarm = icalcomponent_get_first_component(target, ICAL_VALARM_COMPONENT); alarm;
             alarm = icalcomponent_get_next_component(target, ICAL_VALARM_COMPONENT)) {
            if (WarningDaysOf(alarm))
                warnings.append(alarm);
        }
        for (icalcomponent* alarm : std::as_const(warnings)) {
            icalcomponent_remove_component(target, alarm);
            icalcomponent_free(alarm);
        }
        for (icalcomponent* alarm = icalcomponent_get_first_component(source, ICAL_VALARM_COMPONENT); alarm;
             alarm = icalcomponent_get_next_component(source, ICAL_VALARM_COMPONENT))
            icalcomponent_add_component(target, icalcomponent_new_clone(alarm));
    }
    const icaltimetype stamp = utcOf(now);
    icalcomponent_set_dtstamp(target, stamp);
    if (icalproperty* modified = icalcomponent_get_first_property(target, ICAL_LASTMODIFIED_PROPERTY))
        icalproperty_set_lastmodified(modified, stamp);
    if (icalproperty* sequence = icalcomponent_get_first_property(target, ICAL_SEQUENCE_PROPERTY))
        icalproperty_set_sequence(sequence, icalproperty_get_sequence(sequence) + 1);
    return ICalTextOf(server.calendar.get());
}

SyncSummary Synchronize(LinkState& state, DavClient& client, const QDateTime& now, const QString& uidDomain)
{
    Run run(state, client, now, uidDomain);
    run.pull();
    run.push();
    run.takeInOwnToken();
    run.countLeftAlone();
    return run.summary;
}

#pragma once

#include "store/event_store.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <memory>
#include <optional>

namespace sqlite {
class Transaction;
}

/// How one server event is tied to one row of the event table.
struct SyncLink
{
    QString href;                  ///< the member's path in the collection
    QByteArray uid;                ///< the event's UID on the server
    QByteArray etag;               ///< as the server last gave it; empty while a new event's PUT is unconfirmed
    std::optional<qint64> eventId; ///< the row; none for a server event the calendar cannot show
    QByteArray digest;             ///< of the row's meaning at the last sync (SyncDigest)
    QByteArray component;          ///< the server's VCALENDAR as last seen, patched on each push
};

/// The event database file seen by a sync: its event rows (through the store) and, in tables of
/// its own on the store's connection (tblSyncCollections, tblSyncLinks, created on first use;
/// tblEvents is never altered), the link of each row to the collection's member. Failures are
/// thrown as StoreError with SQLite's message.
class LinkState
{
public:
    /// Opens the existing event database `fileName` as the store does, for the collection at
    /// `collectionUrl`.
    LinkState(const QString& fileName, const QString& collectionUrl);
    ~LinkState();
    LinkState(const LinkState&) = delete;
    LinkState& operator=(const LinkState&) = delete;

    /// Every event row, in ascending id.
    [[nodiscard]] QList<EventRecord> events() const;
    /// The collection's links by href.
    [[nodiscard]] QHash<QString, SyncLink> links() const;
    /// The sync token of the last completed pull; empty before the first.
    [[nodiscard]] QString syncToken() const;
    /// The server answered that it does not implement sync-collection.
    [[nodiscard]] bool lacksSyncCollection() const;

    /// All writes between begin() and commit() land together or not at all; begin() waits
    /// for another writer as long as the busy timeout. A LinkState destroyed inside one rolls back.
    void begin();
    void commit();

    qint64 insertEvent(const Event& event);
    /// The details of an event from another calendar (EventStore::detailsOf); empty: none.
    [[nodiscard]] QByteArray detailsOf(qint64 id) const;
    /// EventStore::setDetails.
    void setDetails(qint64 id, const Event& event);
    void updateEvent(qint64 id, const EventRecord& event);
    void removeEvent(qint64 id);
    void saveLink(const SyncLink& link);
    void removeLink(const QString& href);
    void setSyncToken(const QString& token);
    void setLacksSyncCollection();

private:
    EventStore m_store;
    qint64 m_collection = 0;
    QString m_url;
    std::unique_ptr<sqlite::Transaction> m_transaction; ///< destroyed (rolled back) before the store closes
};

#include "link_state.h"

#include "store/sqlite.h"

#include <sqlite3.h>

namespace {

constexpr auto kSchema = R"(
create table if not exists tblSyncCollections (
    id integer primary key,
    url text not null unique,
    synctoken text
);
create table if not exists tblSyncLinks (
    collection integer not null,
    href text not null,
    uid text not null,
    etag text not null,
    eventid integer,
    digest text,
    component text,
    primary key (collection, href)
);)";
// Added to tables made before it was needed.
constexpr auto kLackColumn = "nosynccollection";
constexpr auto kAddLackColumn = "alter table tblSyncCollections add column nosynccollection integer not null default 0";
constexpr auto kFindCollection = "select id, synctoken, nosynccollection from tblSyncCollections where url=?";
constexpr auto kSetLack = "update tblSyncCollections set nosynccollection=1 where id=?";
constexpr auto kAddCollection = "insert into tblSyncCollections (url) values (?)";
constexpr auto kSetToken = "update tblSyncCollections set synctoken=? where id=?";
constexpr auto kSelectLinks = "select href, uid, etag, eventid, digest, component from tblSyncLinks where collection=?";
constexpr auto kSaveLink =
    "insert or replace into tblSyncLinks (collection, href, uid, etag, eventid, digest, component)"
    " values (?,?,?,?,?,?,?)";
constexpr auto kRemoveLink = "delete from tblSyncLinks where collection=? and href=?";

QString text(const QByteArray& utf8)
{
    return QString::fromUtf8(utf8);
}

} // namespace

LinkState::LinkState(const QString& fileName, const QString& collectionUrl) : m_url(collectionUrl)
{
    m_store.open(fileName);
    const sqlite::Connection& db = m_store.connection();
    sqlite::Transaction transaction(db);
    db.exec(kSchema);
    bool hasLackColumn = false;
    {
        sqlite::Statement columns(db, "pragma table_info(tblSyncCollections)");
        while (columns.next())
            hasLackColumn = hasLackColumn || columns.textAt(1) == QLatin1String(kLackColumn);
    }
    if (!hasLackColumn)
        db.exec(kAddLackColumn);
    sqlite::Statement find(db, kFindCollection);
    find.bind(1, m_url);
    if (find.next()) {
        m_collection = find.numberAt(0);
    } else {
        sqlite::Statement add(db, kAddCollection);
        add.bind(1, m_url);
        add.run();
        m_collection = db.lastInsertId();
    }
    transaction.commit();
}

LinkState::~LinkState() = default;

void LinkState::begin()
{
    m_transaction = std::make_unique<sqlite::Transaction>(m_store.connection());
}

void LinkState::commit()
{
    m_transaction->commit();
    m_transaction.reset();
}

QList<EventRecord> LinkState::events() const
{
    QList<EventRecord> rows;
    m_store.forEachEvent([&](const EventRecord& r) { rows.append(r); });
    return rows;
}

QHash<QString, SyncLink> LinkState::links() const
{
    QHash<QString, SyncLink> links;
    sqlite::Statement s(m_store.connection(), kSelectLinks);
    s.bind(1, m_collection);
    while (s.next()) {
        SyncLink link{s.textAt(0),
                      s.utf8At(1).toByteArray(),
                      s.utf8At(2).toByteArray(),
                      std::nullopt,
                      QByteArray::fromHex(s.utf8At(4).toByteArray()),
                      s.utf8At(5).toByteArray()};
        if (s.typeAt(3) != SQLITE_NULL)
            link.eventId = s.numberAt(3);
        links.insert(link.href, link);
    }
    return links;
}

QString LinkState::syncToken() const
{
    sqlite::Statement s(m_store.connection(), kFindCollection);
    s.bind(1, m_url);
    return s.next() ? s.textAt(1) : QString();
}

bool LinkState::lacksSyncCollection() const
{
    sqlite::Statement s(m_store.connection(), kFindCollection);
    s.bind(1, m_url);
    return s.next() && s.numberAt(2) != 0;
}

void LinkState::setLacksSyncCollection()
{
    sqlite::Statement s(m_store.connection(), kSetLack);
    s.bind(1, m_collection);
    s.run();
}

qint64 LinkState::insertEvent(const Event& event)
{
    return m_store.insert(event);
}

QByteArray LinkState::detailsOf(qint64 id) const
{
    return m_store.detailsOf(id);
}

void LinkState::setDetails(qint64 id, const Event& event)
{
    m_store.setDetails(id, event);
}

void LinkState::updateEvent(qint64 id, const EventRecord& event)
{
    m_store.update(id, event);
}

void LinkState::removeEvent(qint64 id)
{
    m_store.remove(id);
}

void LinkState::saveLink(const SyncLink& link)
{
    sqlite::Statement s(m_store.connection(), kSaveLink);
    s.bind(1, m_collection);
    s.bind(2, link.href);
    s.bind(3, text(link.uid));
    s.bind(4, text(link.etag));
    if (link.eventId)
        s.bind(5, *link.eventId);
    else
        s.bindNull(5);
    s.bind(6, QString::fromLatin1(link.digest.toHex()));
    s.bind(7, text(link.component));
    s.run();
}

void LinkState::removeLink(const QString& href)
{
    sqlite::Statement s(m_store.connection(), kRemoveLink);
    s.bind(1, m_collection);
    s.bind(2, href);
    s.run();
}

void LinkState::setSyncToken(const QString& token)
{
    sqlite::Statement s(m_store.connection(), kSetToken);
    s.bind(1, token);
    s.bind(2, m_collection);
    s.run();
}

#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkAccessManager>
#include <QPair>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>

/// A failure of the sync that the user can act on; the message is one line.
class SyncError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

/// A reply that came whole but cannot be read: larger than DavClient::kMaxReplyBytes, or not the
/// XML it should be. One bad member spoils a reply that carries many, so this one is worth a retry
/// member by member.
class UnreadableReply : public SyncError
{
public:
    using SyncError::SyncError;
};

/// One answer of the server.
struct DavResponse
{
    int status = 0;  ///< the HTTP status
    QByteArray body; ///< at most DavClient::kMaxReplyBytes
    QByteArray etag; ///< the ETag header, quotes kept; empty when there is none
    QByteArray contentType;
};

/// One resource of a multistatus reply.
struct DavItem
{
    QString href;     ///< the path, percent-encoded as the server wrote it
    int status = 200; ///< 404 for a member a sync-collection report says is gone
    QByteArray etag;  ///< quotes kept
    QByteArray data;  ///< calendar-data, when asked for
    QString problem;  ///< why `data` could not be fetched (too large); empty: none
};

/// The members of a collection, or the changes since a sync token.
struct DavListing
{
    QList<DavItem> items;
    QString syncToken;    ///< empty when the server gave none
    bool complete = true; ///< every member is listed (not only changes): a known member not listed is gone
    int outside = 0;      ///< hrefs left out: not direct members of the collection on its origin
};

/// A WebDAV/CalDAV client (RFC 4918, 4791, 6578) over Qt Network, synchronous for the command line:
/// each request runs an event loop of its own, bounded by the timeout. Every failure other than
/// the statuses a caller asks for is thrown as SyncError naming the URL.
class DavClient
{
public:
    /// Replies beyond this are refused: no calendar needs them, and memory stays bounded.
    static constexpr qint64 kMaxReplyBytes = 40LL * 1024 * 1024;

    /// `collection` must end with "/". A non-empty `password` is sent (HTTP Basic) with `user`.
    DavClient(const QUrl& collection, const QString& user, const QString& password, int timeoutMs = 60000);
    ~DavClient();

    [[nodiscard]] const QUrl& collection() const { return m_collection; }
    /// The URL of a member path or name.
    [[nodiscard]] QUrl urlOf(const QString& href) const;

    /// Sends one request; statuses 2xx and those in `accepted` come back, others throw.
    DavResponse send(const QByteArray& verb, const QUrl& url, const QByteArray& body,
                     const QList<QPair<QByteArray, QByteArray>>& headers, const QList<int>& accepted = {});

    /// The changes since `token` (RFC 6578), or every member with its ETag when `token` is empty.
    /// A token the server no longer knows, or any other failure of the report, costs one full
    /// listing (by sync-collection without a token, else by PROPFIND); a server that does not
    /// implement sync-collection (501) is listed by PROPFIND from then on.
    DavListing changes(const QString& token);
    /// The ETag of one member (PROPFIND, depth 0), for a server that answers a PUT without one;
    /// empty when it gives none.
    QByteArray etagOf(const QString& href);
    /// The calendar data and ETags of `hrefs`, in batches (calendar-multiget); missing ones are left
    /// out. A batch whose reply cannot be read is fetched again member by member, and a member
    /// whose reply is still too large comes with its `problem` and no data.
    QList<DavItem> fetch(const QStringList& hrefs);
    /// One member, or status 404. Throws SyncError for a web page instead (a sign-in page).
    DavResponse get(const QString& href);
    /// Writes a member: If-Match `etag`, or If-None-Match: * when `etag` is empty. Returns the
    /// response (its status may be 412 or 404).
    DavResponse put(const QString& href, const QByteArray& ical, const QByteArray& etag);
    /// Deletes a member If-Match `etag` (unconditionally when empty); the status may be 412 or 404.
    DavResponse remove(const QString& href, const QByteArray& etag);
    /// Creates a calendar collection at `url` (and nothing else).
    void makeCalendar(const QUrl& url);

    /// Requests sent so far.
    [[nodiscard]] int requestCount() const { return m_requests; }
    /// False: changes() lists by PROPFIND and ETags, as for a server without sync-collection;
    /// set so when the server answers sync-collection with 501.
    bool useSyncCollection = true;
    /// Called after each completed request with its verb; tests stop the server half-way with it.
    std::function<void(const QByteArray& verb)> afterRequest;

private:
    DavListing propfindListing();
    /// The sync-collection report for `token`; nothing when the server refused it.
    std::optional<DavListing> syncReport(const QString& token);
    /// The multistatus of `response` to `verb`; throws UnreadableReply when it is none.
    [[nodiscard]] DavListing multistatusOf(const QByteArray& verb, const QUrl& url, const DavResponse& response) const;
    /// Keeps the direct members of the collection, by path; returns how many others it left out.
    int normalize(QList<DavItem>& items) const;

    QUrl m_collection;
    QByteArray m_authorization;
    int m_timeoutMs;
    int m_requests = 0;
    std::unique_ptr<QNetworkAccessManager> m_network;
};

/// Reads a multistatus body (RFC 4918): each response's href, status, ETag and calendar-data,
/// and the sync-token. Throws UnreadableReply for a body that is not such XML.
[[nodiscard]] DavListing ParseMultistatus(const QByteArray& body);

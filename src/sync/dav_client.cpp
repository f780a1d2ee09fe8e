#include "dav_client.h"

#include "core/console.h"

#include <QEventLoop>
#include <QNetworkReply>
#include <QTimer>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace {

constexpr auto kDav = "DAV:";
constexpr auto kCalDav = "urn:ietf:params:xml:ns:caldav";
// Enough hrefs in one multiget for few round trips (a server may read its whole collection for
// each), few enough for a reply of bounded size.
constexpr int kFetchBatch = 1000;

int statusOfLine(QStringView line)
{
    // "HTTP/1.1 404 Not Found"
    const QList<QStringView> parts = line.trimmed().split(u' ');
    return parts.size() >= 2 ? parts[1].toInt() : 0;
}

QString shown(const QUrl& url)
{
    return url.toDisplayString(QUrl::RemoveUserInfo);
}

QString whereOf(const QByteArray& verb, const QUrl& url)
{
    return QStringLiteral("%1 %2").arg(QString::fromLatin1(verb), shown(url));
}

// A sign-in page or a proxy's error page in place of calendar data says more than an XML error.
void refuseWebPage(const QByteArray& verb, const QUrl& url, const DavResponse& response)
{
    if (response.contentType.trimmed().startsWith("text/html"))
        throw SyncError(QStringLiteral("%1: the server answered with a web page, not calendar data; is this the "
                                       "calendar's URL, or is a sign-in page or proxy in the way?")
                            .arg(whereOf(verb, url))
                            .toStdString());
}

QString reasonOf(int status)
{
    switch (status) {
    case 401:
        return QStringLiteral("the server refused the user name or password (401)");
    case 403:
        return QStringLiteral("the server does not allow this (403)");
    case 404:
        return QStringLiteral("there is no such calendar collection (404)");
    case 507:
        return QStringLiteral("the server has no room left (507)");
    default:
        return QStringLiteral("the server answered %1").arg(status);
    }
}

bool sameOrigin(const QUrl& a, const QUrl& b)
{
    const auto port = [](const QUrl& u) { return u.port(u.scheme() == u"https" ? 443 : 80); };
    return a.scheme() == b.scheme() && a.host().compare(b.host(), Qt::CaseInsensitive) == 0 && port(a) == port(b);
}

QByteArray xmlOf(const std::function<void(QXmlStreamWriter&)>& write)
{
    QByteArray body;
    QXmlStreamWriter xml(&body);
    xml.writeStartDocument();
    xml.writeNamespace(QString::fromLatin1(kDav), QStringLiteral("d"));
    xml.writeNamespace(QString::fromLatin1(kCalDav), QStringLiteral("c"));
    write(xml);
    xml.writeEndDocument();
    return body;
}

} // namespace

DavListing ParseMultistatus(const QByteArray& body)
{
    DavListing listing;
    QXmlStreamReader xml(body);
    DavItem item;
    int propstatStatus = 0;
    bool inResponse = false;
    bool inPropstat = false;
    bool sawMultistatus = false;
    QByteArray etag;
    QByteArray data;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) {
            if (xml.isEndElement() && xml.namespaceUri() == QLatin1String(kDav)) {
                if (xml.name() == u"propstat") {
                    inPropstat = false;
                    // Only what a successful propstat holds counts.
                    if (propstatStatus == 0 || propstatStatus / 100 == 2) {
                        if (!etag.isEmpty())
                            item.etag = etag;
                        if (!data.isEmpty())
                            item.data = data;
                    }
                } else if (xml.name() == u"response") {
                    inResponse = false;
                    if (!item.href.isEmpty())
                        listing.items.append(item);
                }
            }
            continue;
        }
        const QStringView ns = xml.namespaceUri();
        const QStringView name = xml.name();
        if (ns == QLatin1String(kDav)) {
            if (name == u"multistatus") {
                sawMultistatus = true;
            } else if (name == u"response") {
                inResponse = true;
                item = DavItem{};
            } else if (name == u"propstat" && inResponse) {
                inPropstat = true;
                propstatStatus = 0;
                etag.clear();
                data.clear();
            } else if (name == u"href" && inResponse && !inPropstat) {
                item.href = xml.readElementText().trimmed();
            } else if (name == u"status" && inResponse) {
                const int status = statusOfLine(xml.readElementText());
                if (inPropstat)
                    propstatStatus = status;
                else
                    item.status = status;
            } else if (name == u"getetag" && inPropstat) {
                etag = xml.readElementText().trimmed().toUtf8();
            } else if (name == u"sync-token" && !inResponse) {
                listing.syncToken = xml.readElementText().trimmed();
            }
        } else if (ns == QLatin1String(kCalDav) && name == u"calendar-data" && inPropstat) {
            data = xml.readElementText().toUtf8();
        }
    }
    if (xml.hasError() || !sawMultistatus)
        throw UnreadableReply(QStringLiteral("the server's reply is not a WebDAV multistatus: %1")
                                  .arg(xml.hasError() ? xml.errorString() : QStringLiteral("no multistatus element"))
                                  .toStdString());
    return listing;
}

DavClient::DavClient(const QUrl& collection, const QString& user, const QString& password, int timeoutMs)
    : m_collection(collection), m_timeoutMs(timeoutMs), m_network(std::make_unique<QNetworkAccessManager>())
{
    if (!password.isEmpty())
        m_authorization = "Basic " + (user + u':' + password).toUtf8().toBase64();
    // Redirects only within the origin the user gave, which passed the https-or-loopback rule:
    // the credentials and the calendar go nowhere else, and nothing connects elsewhere.
    m_network->setRedirectPolicy(QNetworkRequest::SameOriginRedirectPolicy);
}

DavClient::~DavClient() = default;

QUrl DavClient::urlOf(const QString& href) const
{
    return m_collection.resolved(QUrl(href, QUrl::StrictMode));
}

DavResponse DavClient::send(const QByteArray& verb, const QUrl& url, const QByteArray& body,
                            const QList<QPair<QByteArray, QByteArray>>& headers, const QList<int>& accepted)
{
    QNetworkRequest request(url);
    request.setMaximumRedirectsAllowed(5);
    request.setTransferTimeout(m_timeoutMs);
    if (!m_authorization.isEmpty())
        request.setRawHeader("Authorization", m_authorization);
    for (const auto& [name, value] : headers)
        request.setRawHeader(name, value);

    ++m_requests;
    std::unique_ptr<QNetworkReply> reply(m_network->sendCustomRequest(request, verb, body));
    bool tooLarge = false;
    bool tooLong = false;
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(reply.get(), &QNetworkReply::downloadProgress, &loop, [&](qint64 received, qint64) {
        if (received > kMaxReplyBytes && !tooLarge) {
            tooLarge = true;
            reply->abort();
        }
    });
    // A second bound besides Qt's transfer timeout, which only counts silence.
    QTimer::singleShot(m_timeoutMs * 2, &loop, [&] {
        tooLong = true;
        reply->abort();
    });
    if (!reply->isFinished())
        loop.exec();

    const QString where = whereOf(verb, url);
    if (reply->error() == QNetworkReply::InsecureRedirectError) {
        const QUrl elsewhere = reply->url().resolved(QUrl::fromEncoded(reply->rawHeader("Location")));
        throw SyncError(QStringLiteral("%1: the server redirects to %2, away from %3; the sync follows redirects "
                                       "only within the calendar's own server")
                            .arg(where, OneLine(shown(elsewhere)), shown(m_collection.adjusted(QUrl::RemovePath)))
                            .toStdString());
    }
    if (tooLarge)
        throw UnreadableReply(QStringLiteral("%1: the reply is larger than %2 MB; no calendar needs that much")
                                  .arg(where)
                                  .arg(kMaxReplyBytes / (1024 * 1024))
                                  .toStdString());
    DavResponse response;
    response.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    // Errors below 200 are the connection's (refused, closed, timed out, redirected in circles),
    // also after the status came, and any error with a 2xx status is a reply cut short: its body
    // must not be read as a whole one.
    const QNetworkReply::NetworkError error = reply->error();
    // Qt refuses to unpack a reply that grows beyond 10 MB at more than 40 times its size.
    if (error == QNetworkReply::UnknownContentError && response.status / 100 == 2)
        throw UnreadableReply(QStringLiteral("%1: the reply is too large once unpacked; no calendar needs that much")
                                  .arg(where)
                                  .toStdString());
    if (response.status == 0 || (error != QNetworkReply::NoError && (error < 200 || response.status / 100 == 2))) {
        QString why = reply->errorString();
        if (tooLong)
            why = QStringLiteral("the answer did not end within %1 s").arg(m_timeoutMs * 2 / 1000);
        else if (error == QNetworkReply::OperationCanceledError)
            why = QStringLiteral("no answer within %1 s").arg(m_timeoutMs / 1000);
        else if (error == QNetworkReply::TooManyRedirectsError)
            why = QStringLiteral("the server redirects in a loop (more than 5 redirects)");
        throw SyncError(QStringLiteral("%1: %2").arg(where, OneLine(why)).toStdString());
    }
    response.body = reply->readAll();
    response.etag = reply->rawHeader("ETag");
    response.contentType = reply->rawHeader("Content-Type").toLower();
    if (afterRequest)
        afterRequest(verb);
    if (response.status / 100 != 2 && !accepted.contains(response.status))
        throw SyncError(QStringLiteral("%1: %2").arg(where, reasonOf(response.status)).toStdString());
    return response;
}

DavListing DavClient::multistatusOf(const QByteArray& verb, const QUrl& url, const DavResponse& response) const
{
    refuseWebPage(verb, url, response);
    try {
        DavListing listing = ParseMultistatus(response.body);
        listing.outside = normalize(listing.items);
        return listing;
    } catch (const UnreadableReply& e) {
        throw UnreadableReply(
            QStringLiteral("%1: %2").arg(whereOf(verb, url), QString::fromUtf8(e.what())).toStdString());
    }
}

int DavClient::normalize(QList<DavItem>& items) const
{
    // A server may write an href as a path or as a whole URL; links keep the path. Anything but
    // a direct member of the collection on its origin (another calendar, another server) is
    // never ours to store, change or delete. The collection itself is no member either.
    const QString folder = m_collection.path(QUrl::FullyEncoded);
    int outside = 0;
    QList<DavItem> members;
    for (DavItem& item : items) {
        const QUrl url = urlOf(item.href).adjusted(QUrl::NormalizePathSegments);
        const QString path = url.path(QUrl::FullyEncoded);
        const QStringView name = QStringView(path).mid(folder.size());
        if (sameOrigin(url, m_collection) && path == folder)
            continue;
        if (!sameOrigin(url, m_collection) || !path.startsWith(folder) || name.contains(u'/') ||
            name.contains(QLatin1String("%2f"), Qt::CaseInsensitive) || name == u"." || name == u"..") {
            ++outside;
            continue;
        }
        item.href = path;
        members.append(std::move(item));
    }
    items = std::move(members);
    return outside;
}

DavListing DavClient::changes(const QString& token)
{
    if (useSyncCollection) {
        if (std::optional<DavListing> listing = syncReport(token))
            return *listing;
        // A token the server no longer knows (RFC 6578 says 403 or 409; servers also answer 400,
        // 412, 500) costs one full listing, never the sync.
        if (!token.isEmpty() && useSyncCollection) {
            if (std::optional<DavListing> listing = syncReport(QString()))
                return *listing;
        }
    }
    return propfindListing();
}

std::optional<DavListing> DavClient::syncReport(const QString& token)
{
    const QByteArray body = xmlOf([&](QXmlStreamWriter& xml) {
        xml.writeStartElement(QString::fromLatin1(kDav), QStringLiteral("sync-collection"));
        xml.writeTextElement(QString::fromLatin1(kDav), QStringLiteral("sync-token"), token);
        xml.writeTextElement(QString::fromLatin1(kDav), QStringLiteral("sync-level"), QStringLiteral("1"));
        xml.writeStartElement(QString::fromLatin1(kDav), QStringLiteral("prop"));
        xml.writeEmptyElement(QString::fromLatin1(kDav), QStringLiteral("getetag"));
        xml.writeEndElement();
        xml.writeEndElement();
    });
    const DavResponse response =
        send("REPORT", m_collection, body, {{"Content-Type", "application/xml; charset=utf-8"}, {"Depth", "1"}},
             {400, 403, 405, 409, 412, 415, 500, 501});
    if (response.status == 501 || response.status == 405) {
        useSyncCollection = false;
        return std::nullopt;
    }
    if (response.status / 100 != 2)
        return std::nullopt;
    try {
        DavListing listing = multistatusOf("REPORT", m_collection, response);
        listing.complete = token.isEmpty();
        return listing;
    } catch (const UnreadableReply&) {
        return std::nullopt;
    }
}

// A PROPFIND that asks for the ETag alone.
static QByteArray EtagPropfind()
{
    return xmlOf([](QXmlStreamWriter& xml) {
        xml.writeStartElement(QString::fromLatin1(kDav), QStringLiteral("propfind"));
        xml.writeStartElement(QString::fromLatin1(kDav), QStringLiteral("prop"));
        xml.writeEmptyElement(QString::fromLatin1(kDav), QStringLiteral("getetag"));
        xml.writeEndElement();
        xml.writeEndElement();
    });
}

QByteArray DavClient::etagOf(const QString& href)
{
    const QByteArray body = EtagPropfind();
    const QUrl url = urlOf(href);
    const DavResponse response =
        send("PROPFIND", url, body, {{"Content-Type", "application/xml; charset=utf-8"}, {"Depth", "0"}}, {404});
    if (response.status == 404)
        return {};
    const DavListing listing = multistatusOf("PROPFIND", url, response);
    return listing.items.isEmpty() ? QByteArray() : listing.items.first().etag;
}

DavListing DavClient::propfindListing()
{
    const QByteArray body = EtagPropfind();
    const DavResponse response =
        send("PROPFIND", m_collection, body, {{"Content-Type", "application/xml; charset=utf-8"}, {"Depth", "1"}});
    DavListing listing = multistatusOf("PROPFIND", m_collection, response);
    listing.syncToken.clear();
    listing.items.removeIf([](const DavItem& item) { return item.etag.isEmpty(); });
    return listing;
}

QList<DavItem> DavClient::fetch(const QStringList& hrefs)
{
    QList<DavItem> items;
    for (qsizetype first = 0; first < hrefs.size(); first += kFetchBatch) {
        const QByteArray body = xmlOf([&](QXmlStreamWriter& xml) {
            xml.writeStartElement(QString::fromLatin1(kCalDav), QStringLiteral("calendar-multiget"));
            xml.writeStartElement(QString::fromLatin1(kDav), QStringLiteral("prop"));
            xml.writeEmptyElement(QString::fromLatin1(kDav), QStringLiteral("getetag"));
            xml.writeEmptyElement(QString::fromLatin1(kCalDav), QStringLiteral("calendar-data"));
            xml.writeEndElement();
            for (const QString& href : hrefs.mid(first, kFetchBatch))
                xml.writeTextElement(QString::fromLatin1(kDav), QStringLiteral("href"), href);
            xml.writeEndElement();
        });
        QList<DavItem> batch;
        try {
            const DavResponse response = send("REPORT", m_collection, body,
                                              {{"Content-Type", "application/xml; charset=utf-8"}, {"Depth", "1"}});
            batch = multistatusOf("REPORT", m_collection, response).items;
        } catch (const UnreadableReply&) {
            // A member too large, or with bytes XML cannot carry: alone, each spoils only itself.
            for (const QString& href : hrefs.mid(first, kFetchBatch)) {
                try {
                    const DavResponse response = get(href);
                    batch.append({href, response.status, response.etag, response.body, {}});
                } catch (const UnreadableReply& e) {
                    batch.append({href, 200, {}, {}, QString::fromUtf8(e.what())});
                }
            }
        }
        for (DavItem& item : batch) {
            if (item.status / 100 == 2 && (!item.data.isEmpty() || !item.problem.isEmpty()))
                items.append(std::move(item));
        }
    }
    return items;
}

DavResponse DavClient::get(const QString& href)
{
    const QUrl url = urlOf(href);
    DavResponse response = send("GET", url, {}, {}, {404});
    refuseWebPage("GET", url, response);
    return response;
}

DavResponse DavClient::put(const QString& href, const QByteArray& ical, const QByteArray& etag)
{
    QList<QPair<QByteArray, QByteArray>> headers{{"Content-Type", "text/calendar; charset=utf-8"}};
    headers.append(etag.isEmpty() ? qMakePair(QByteArray("If-None-Match"), QByteArray("*"))
                                  : qMakePair(QByteArray("If-Match"), etag));
    return send("PUT", urlOf(href), ical, headers, {404, 412});
}

DavResponse DavClient::remove(const QString& href, const QByteArray& etag)
{
    QList<QPair<QByteArray, QByteArray>> headers;
    if (!etag.isEmpty())
        headers.append({"If-Match", etag});
    return send("DELETE", urlOf(href), {}, headers, {404, 412});
}

void DavClient::makeCalendar(const QUrl& url)
{
    send("MKCALENDAR", url, {}, {});
}

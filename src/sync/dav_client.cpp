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
// Enough hrefs in one multiget for few round trips, few enough for a reply of bounded size.
constexpr int kFetchBatch = 200;

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
    m_network->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
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
        normalize(listing.items);
        return listing;
    } catch (const UnreadableReply& e) {
        throw UnreadableReply(
            QStringLiteral("%1: %2").arg(whereOf(verb, url), QString::fromUtf8(e.what())).toStdString());
    }
}

void DavClient::normalize(QList<DavItem>& items) const
{
    // A server may write an href as a path or as a whole URL; links keep the path.
    for (DavItem& item : items)
        item.href = urlOf(item.href).path(QUrl::FullyEncoded);
}

DavListing DavClient::changes(const QString& token)
{
    if (!useSyncCollection)
        return propfindListing();
    const QByteArray body = xmlOf([&](QXmlStreamWriter& xml) {
        xml.writeStartElement(QString::fromLatin1(kDav), QStringLiteral("sync-collection"));
        xml.writeTextElement(QString::fromLatin1(kDav), QStringLiteral("sync-token"), token);
        xml.writeTextElement(QString::fromLatin1(kDav), QStringLiteral("sync-level"), QStringLiteral("1"));
        xml.writeStartElement(QString::fromLatin1(kDav), QStringLiteral("prop"));
        xml.writeEmptyElement(QString::fromLatin1(kDav), QStringLiteral("getetag"));
        xml.writeEndElement();
        xml.writeEndElement();
    });
    // 403/409: the token is no longer valid (valid-sync-token); 400, 405, 501: no sync-collection.
    const DavResponse response =
        send("REPORT", m_collection, body, {{"Content-Type", "application/xml; charset=utf-8"}, {"Depth", "1"}},
             {400, 403, 405, 409, 415, 501});
    if (response.status / 100 != 2) {
        if (!token.isEmpty() && (response.status == 403 || response.status == 409))
            return changes(QString());
        return propfindListing();
    }
    DavListing listing = multistatusOf("REPORT", m_collection, response);
    listing.complete = token.isEmpty();
    // The collection itself may be listed; it is no member.
    listing.items.removeIf([&](const DavItem& item) { return urlOf(item.href) == m_collection; });
    return listing;
}

DavListing DavClient::propfindListing()
{
    const QByteArray body = xmlOf([](QXmlStreamWriter& xml) {
        xml.writeStartElement(QString::fromLatin1(kDav), QStringLiteral("propfind"));
        xml.writeStartElement(QString::fromLatin1(kDav), QStringLiteral("prop"));
        xml.writeEmptyElement(QString::fromLatin1(kDav), QStringLiteral("getetag"));
        xml.writeEndElement();
        xml.writeEndElement();
    });
    const DavResponse response =
        send("PROPFIND", m_collection, body, {{"Content-Type", "application/xml; charset=utf-8"}, {"Depth", "1"}});
    DavListing listing = multistatusOf("PROPFIND", m_collection, response);
    listing.syncToken.clear();
    listing.items.removeIf(
        [&](const DavItem& item) { return urlOf(item.href) == m_collection || item.etag.isEmpty(); });
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

#include "calendar/occurrence.h"
#include "dav_server.h"
#include "event_builder.h"
#include "store/event_store.h"
#include "sync/sync_tool.h"
#include "test_env.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTest>
#include <QTimeZone>

#include <csignal>

#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QDateTime kNow(QDate(2026, 12, 8), QTime(12, 0), Qt::UTC);

Events rows(const QString& db)
{
    EventStore store;
    store.open(db);
    return AllEvents(store);
}

QStringList titles(const QString& db)
{
    QStringList all;
    for (const EventRecord& e : rows(db))
        all.append(e.title);
    all.sort();
    return all;
}

QByteArray fileHash(const QString& name)
{
    QFile file(name);
    file.open(QIODevice::ReadOnly);
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1);
}

} // namespace

class TestSync : public QObject
{
    Q_OBJECT

    TestEnv* m_env = nullptr;
    DavServer* m_server = nullptr;
    QString m_a, m_b; // two machines
    int m_requests = 0;
    bool m_useToken = true;

    DavServer::Kind kind() const
    {
        QFETCH_GLOBAL(int, server);
        return DavServer::Kind(server);
    }
    // Started on first use: a case that needs none, or is skipped, costs no start.
    DavServer& server()
    {
        if (!m_server)
            m_server = new DavServer(m_env->path(QStringLiteral("server")), {}, {}, false, kind());
        return *m_server;
    }
    // The test's server from now on: one reached through the fault-acting proxy.
    void useFaultyServer()
    {
        delete std::exchange(m_server, nullptr);
        m_server = new DavServer(m_env->path(QStringLiteral("faulty")), {}, {}, true, kind());
    }
    void setToken(const QString& db, const QString& token)
    {
        LinkState state(db, server().url().toString());
        state.begin();
        state.setSyncToken(token);
        state.commit();
    }
    SyncSummary sync(const QString& db, const std::function<void(DavClient&)>& hook = {})
    {
        LinkState state(db, server().url().toString());
        DavClient client(server().url(), {}, {});
        client.useSyncCollection = m_useToken;
        if (hook)
            hook(client);
        const SyncSummary summary = Synchronize(state, client, kNow, QStringLiteral("test"));
        m_requests = client.requestCount();
        return summary;
    }
    qint64 add(const QString& db, const EventRecord& fields)
    {
        EventStore store;
        store.open(db);
        return store.insert(fields);
    }
    // The tool's status and the one line it showed (on standard error for status 2).
    std::pair<int, QByteArray> runTool(const QStringList& arguments, SyncEnvironment env)
    {
        std::FILE* files[] = {std::tmpfile(), std::tmpfile()};
        env.tool = {.arguments = QStringList{QStringLiteral("--db"), m_a} + arguments,
                    .now = kNow,
                    .hostName = QStringLiteral("test"),
                    .out = files[0],
                    .err = files[1]};
        const int status = RunSync(env);
        QByteArray text[2];
        for (int i = 0; i < 2; ++i) {
            QFile read;
            read.open(files[i], QIODevice::ReadOnly);
            read.seek(0);
            text[i] = read.readAll();
            read.close();
            std::fclose(files[i]);
        }
        return {status, text[status == 2 ? 1 : 0]};
    }
    QList<DavItem> serverItems()
    {
        DavClient client(server().url(), {}, {});
        return client.fetch([&] {
            QStringList hrefs;
            for (const DavItem& item : client.changes({}).items)
                hrefs.append(item.href);
            return hrefs;
        }());
    }
    void putRaw(const QString& name, const QByteArray& vevent)
    {
        DavClient client(server().url(), {}, {});
        client.put(name, "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:test\r\n" + vevent + "END:VCALENDAR\r\n", {});
    }

private slots:
    void initTestCase_data()
    {
        QTest::addColumn<int>("server");
        QTest::newRow("Radicale") << int(DavServer::Kind::Radicale);
        QTest::newRow("Xandikos") << int(DavServer::Kind::Xandikos);
    }
    void init()
    {
        m_useToken = true;
        m_env = new TestEnv;
        m_a = m_env->path(QStringLiteral("a.mdb"));
        m_b = m_env->path(QStringLiteral("b.mdb"));
        CreateEventDatabase(m_a);
        CreateEventDatabase(m_b);
    }
    void cleanup()
    {
        delete std::exchange(m_server, nullptr);
        delete m_env;
    }

    void firstSyncPushesPullsAndLinksEqualEvents()
    {
        add(m_a, AnEvent("Dentist").once(QDate(2026, 12, 17)));
        add(m_a, AnEvent("Meeting").description("room 4").weekly(kMonday).date(1, 1, 2026).week(1, kMonday).warn(2));
        add(m_a, AnEvent("Never").description("x").codes(kByDate, kWeekly).date(1, 1, 2026).week(1, 1));
        add(m_b, AnEvent("Dentist").once(QDate(2026, 12, 17))); // imported by hand once
        QCOMPARE(sync(m_a), (SyncSummary{0, 2, 0, 0, 0, 1, 0, {}}));
        QCOMPARE(sync(m_b), (SyncSummary{1, 0, 0, 0, 0, 0, 0, {}}));
        QCOMPARE(titles(m_b), (QStringList{QStringLiteral("Dentist"), QStringLiteral("Meeting")}));
        QCOMPARE(serverItems().size(), 2);
        QStringList digests[2];
        for (int i = 0; i < 2; ++i) {
            for (const EventRecord& e : rows(i ? m_b : m_a))
                digests[i].append(QString::fromLatin1(SyncDigest(e).toHex()));
            digests[i].removeAll(QString());
            digests[i].sort();
        }
        QCOMPARE(digests[1], digests[0]);
    }

    void changesDeletesAndConflictsBothWays_data()
    {
        QTest::addColumn<bool>("token");
        QTest::newRow("sync token") << true;
        QTest::newRow("ETags only") << false;
    }
    void changesDeletesAndConflictsBothWays()
    {
        QFETCH(bool, token);
        m_useToken = token;
        const qint64 title = add(m_a, AnEvent("Title").once(QDate(2026, 12, 1)));
        const qint64 day = add(m_a, AnEvent("Day").once(QDate(2026, 12, 2)));
        const qint64 goneHere = add(m_a, AnEvent("GoneA").once(QDate(2026, 12, 3)));
        add(m_a, AnEvent("GoneB").once(QDate(2026, 12, 4)));
        const qint64 both = add(m_a, AnEvent("Both").once(QDate(2026, 12, 5)));
        sync(m_a);
        sync(m_b);
        EventStore a, b;
        a.open(m_a);
        b.open(m_b);
        const auto idOf = [&](const QString& t) {
            for (const EventRecord& e : rows(m_b))
                if (e.title == t)
                    return e.id;
            return qint64(-1);
        };
        const qint64 dayInB = idOf(QStringLiteral("Day"));
        a.update(title, AnEvent("Title2").once(QDate(2026, 12, 1)));
        a.remove(goneHere);
        a.update(both, AnEvent("BothA").once(QDate(2026, 12, 5)));
        b.update(dayInB, AnEvent("Day").once(QDate(2026, 12, 9)));
        b.remove(idOf(QStringLiteral("GoneB")));
        b.update(idOf(QStringLiteral("Both")), AnEvent("BothB").once(QDate(2026, 12, 5)));
        QCOMPARE(sync(m_a), (SyncSummary{0, 2, 0, 1, 0, 0, 0, {}}));
        QCOMPARE(sync(m_b), (SyncSummary{1, 2, 1, 1, 1, 0, 0, {}})); // the copy of BothB goes up
        QCOMPARE(sync(m_a), (SyncSummary{2, 0, 1, 0, 0, 0, 0, {}}));
        const QStringList expected{QStringLiteral("BothA"), QStringLiteral("BothB"), QStringLiteral("Day"),
                                   QStringLiteral("Title2")};
        QCOMPARE(titles(m_a), expected);
        QCOMPARE(titles(m_b), expected);
        QCOMPARE(*a.eventById(day)->eventday, 9); // changed in place, same id
        QCOMPARE(serverItems().size(), 4);
    }

    void writeRefusedWith412BecomesConflict()
    {
        const qint64 id = add(m_a, AnEvent("Mine").once(QDate(2026, 12, 1)));
        sync(m_a);
        sync(m_b);
        EventStore a;
        a.open(m_a);
        a.update(id, AnEvent("MineA").once(QDate(2026, 12, 1)));
        // Machine B writes its change between A's look at the server and A's write.
        bool changed = false;
        const SyncSummary summary = sync(m_a, [&](DavClient& client) {
            client.afterRequest = [&](const QByteArray& verb) {
                if (verb != "REPORT" || std::exchange(changed, true))
                    return;
                EventStore b;
                b.open(m_b);
                b.update(rows(m_b).first().id, AnEvent("MineB").once(QDate(2026, 12, 1)));
                sync(m_b);
            };
        });
        QCOMPARE(summary.conflicts, 1);
        QCOMPARE(titles(m_a), (QStringList{QStringLiteral("MineA"), QStringLiteral("MineB")}));
    }

    void timedServerEventKeepsItsTime()
    {
        putRaw(QStringLiteral("timed.ics"), "BEGIN:VEVENT\r\nUID:timed-1\r\nDTSTAMP:20261201T000000Z\r\n"
                                            "DTSTART:20261210T093000Z\r\nDTEND:20261210T103000Z\r\nSUMMARY:Call\r\n"
                                            "LOCATION:Room 5\r\nX-OTHER-CLIENT:keep me\r\nEND:VEVENT\r\n");
        QCOMPARE(sync(m_a).down, 1);
        EventStore a;
        a.open(m_a);
        EventRecord call = rows(m_a).first();
        QCOMPARE(*call.eventday, 10);
        a.update(call.id, AnEvent("Call Bob").description({}).once(QDate(2026, 12, 12)));
        QCOMPARE(sync(m_a).up, 1);
        const QByteArray server = serverItems().first().data;
        for (const char* kept : {"DTSTART:20261212T093000Z", "DTEND:20261212T103000Z", "LOCATION:Room 5",
                                 "X-OTHER-CLIENT:keep me", "SUMMARY:Call Bob", "UID:timed-1"})
            QVERIFY2(server.contains(kept), kept);
    }

    void unsupportedRuleIsLeftUntouched()
    {
        putRaw(QStringLiteral("hourly.ics"), "BEGIN:VEVENT\r\nUID:hourly-1\r\nDTSTAMP:20261201T000000Z\r\n"
                                             "DTSTART:20261201T100000Z\r\nRRULE:FREQ=HOURLY;COUNT=5\r\n"
                                             "SUMMARY:Course\r\nEND:VEVENT\r\n");
        const DavItem before = serverItems().first();
        QCOMPARE(sync(m_a), (SyncSummary{0, 0, 0, 0, 0, 1, 0, {}}));
        QCOMPARE(sync(m_a).leftAlone, 1);
        QVERIFY(rows(m_a).isEmpty());
        const DavItem after = serverItems().first();
        QCOMPARE(after.etag, before.etag);
        QCOMPARE(after.data, before.data);
    }

    void otherClientsSeriesIsShownAndKeptWhole()
    {
        qputenv("TZ", "UTC");
        const QByteArray moved = "RECURRENCE-ID:20261223T190000Z\r\nDTSTART:20261222T180000Z\r\n";
        putRaw(QStringLiteral("course.ics"), "BEGIN:VEVENT\r\nUID:course-1\r\nDTSTAMP:20261201T000000Z\r\n"
                                             "DTSTART:20261216T190000Z\r\nRRULE:FREQ=WEEKLY;COUNT=4\r\n"
                                             "EXDATE:20261230T190000Z\r\nSUMMARY:Course\r\nEND:VEVENT\r\n"
                                             "BEGIN:VEVENT\r\nUID:course-1\r\nDTSTAMP:20261201T000000Z\r\n" +
                                                 moved + "SUMMARY:Course\r\nEND:VEVENT\r\n");
        QCOMPARE(sync(m_a).down, 1);
        EventStore a;
        a.open(m_a);
        const auto shown = [&] {
            QStringList titles;
            ForEachOccurrence(a, {QDate(2026, 12, 1), QDate(2027, 1, 31), QDate()}, [&](const Occurrence& o) {
                titles << o.day.toString(Qt::ISODate) + ' ' + ShownTitle(o);
            });
            return titles;
        };
        QCOMPARE(shown(),
                 QStringList({"2026-12-16 19:00 Course", "2026-12-22 18:00 Course", "2027-01-06 19:00 Course"}));
        EventRecord row = rows(m_a).first();
        row.title = QStringLiteral("Swimming");
        a.update(row.id, row);
        QCOMPARE(sync(m_a).up, 1);
        QCOMPARE(shown().last(), QStringLiteral("2027-01-06 19:00 Swimming"));
        const QByteArray server = serverItems().first().data;
        for (const QByteArray& kept : {QByteArray("RRULE:FREQ=WEEKLY;COUNT=4"), QByteArray("EXDATE:20261230T190000Z"),
                                       moved.left(30), QByteArray("SUMMARY:Swimming")})
            QVERIFY2(server.contains(kept), kept);
        QCOMPARE(sync(m_a), SyncSummary{});
    }

    void interruptedSyncConvergesWithoutDuplicates()
    {
        for (int day = 1; day <= 30; ++day)
            add(m_a, AnEvent(QStringLiteral("Event %1").arg(day)).once(QDate(2026, 11, day)));
        int puts = 0;
        QVERIFY_THROWS_EXCEPTION(SyncError, sync(m_a, [&](DavClient& client) {
                                     client.afterRequest = [&](const QByteArray& verb) {
                                         if (verb == "PUT" && ++puts == 10)
                                             server().stop();
                                     };
                                 }));
        server().start();
        QCOMPARE(sync(m_a).up, 20);
        QCOMPARE(serverItems().size(), 30);
        QCOMPARE(sync(m_b).down, 30);
        QCOMPARE(rows(m_a).size(), 30);
    }

    void nothingChangedTransfersNothing()
    {
        add(m_a, AnEvent("Quiet").once(QDate(2026, 12, 1)));
        sync(m_a); // takes in the sync token that follows its own writes
        const QByteArray before = fileHash(m_a);
        QCOMPARE(sync(m_a), SyncSummary{});
        QCOMPARE(m_requests, 1);
        QCOMPARE(fileHash(m_a), before);
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments"); // @open, @auth: the two servers' calendars
        QTest::addColumn<QString>("secret");        // what the Secret Service holds
        QTest::addColumn<int>("lock");              // 1: a dead sync's lock file, 2: another sync holds it
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("line"); // on standard error for status 2, else on standard output
        const QString up = QStringLiteral("1 went up");
        QTest::newRow("no authentication") << QStringList{QStringLiteral("@open")} << QString() << 0 << 0 << up;
        QTest::newRow("password command") << QStringList{QStringLiteral("--password-command=echo s3cret"),
                                                         QStringLiteral("--user=alice"), QStringLiteral("@auth")}
                                          << QString() << 0 << 0 << up;
        QTest::newRow("secret service, user in the URL")
            << QStringList{QStringLiteral("@alice@auth")} << QStringLiteral("s3cret") << 0 << 0 << up;
        QTest::newRow("calendar from sync.conf")
            << QStringList{QStringLiteral("conf:url=@auth"), QStringLiteral("conf:user=alice"),
                           QStringLiteral("conf:password-command=echo s3cret")}
            << QString() << 0 << 0 << up;
        QTest::newRow("wrong password") << QStringList{QStringLiteral("--password-command=echo nope"),
                                                       QStringLiteral("--user=alice"), QStringLiteral("@auth")}
                                        << QString() << 0 << 2 << QStringLiteral("(401)");
        QTest::newRow("password command fails")
            << QStringList{QStringLiteral("--password-command=false"), QStringLiteral("@auth")} << QString() << 0 << 2
            << QStringLiteral("password command failed");
        QTest::newRow("password command prints nothing")
            << QStringList{QStringLiteral("--password-command=true"), QStringLiteral("@auth")} << QString() << 0 << 2
            << QStringLiteral("printed no password");
        QTest::newRow("no such collection")
            << QStringList{QStringLiteral("@open/../missing/")} << QString() << 0 << 2 << QStringLiteral("(404)");
        QTest::newRow("server down") << QStringList{QStringLiteral("http://127.0.0.1:1/u/cal/")} << QString() << 0 << 2
                                     << QStringLiteral("Connection refused");
        QTest::newRow("plain http elsewhere") << QStringList{QStringLiteral("http://cal.example/u/cal/")} << QString()
                                              << 0 << 2 << QStringLiteral("use https://");
        QTest::newRow("another sync running")
            << QStringList{QStringLiteral("@open")} << QString() << 2 << 2 << QStringLiteral("another sync");
        QTest::newRow("lock file of a sync that died")
            << QStringList{QStringLiteral("@open")} << QString() << 1 << 0 << up;
    }
    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, secret);
        QFETCH(int, lock);
        QFETCH(int, status);
        QFETCH(QString, line);
        add(m_a, AnEvent("Kept").once(QDate(2026, 12, 1)));
        if (kind() != DavServer::Kind::Radicale)
            QSKIP("Radicale's authentication is enough");
        DavServer secured(m_env->path(QStringLiteral("secured")), QStringLiteral("alice"), QStringLiteral("s3cret"));
        QFile config(m_env->path(QStringLiteral("sync.conf")));
        QVERIFY(config.open(QIODevice::WriteOnly));
        for (QString& a : arguments) {
            const bool inConfig = a.startsWith(QStringLiteral("conf:"));
            const qsizetype at = a.indexOf(u'@');
            if (at >= 0 && !a.contains(QStringLiteral("://"))) {
                const QString place = a.mid(at);
                QUrl url = place.contains(QStringLiteral("auth")) ? secured.url() : server().url();
                url.setUserName(place.startsWith(QStringLiteral("@alice")) ? QStringLiteral("alice") : QString());
                a = a.left(at) + url.resolved(QUrl(place.section(u'/', 1))).toString();
            }
            if (inConfig)
                config.write(a.mid(5).toUtf8() + '\n');
        }
        arguments.removeIf([](const QString& a) { return a.startsWith(QStringLiteral("conf:")); });
        config.close();
        QFile lockFile(m_a + QStringLiteral(".sync-lock"));
        QVERIFY(!lock || lockFile.open(QIODevice::WriteOnly));
        QVERIFY(lock < 2 || ::flock(lockFile.handle(), LOCK_EX) == 0);
        SyncEnvironment env{{}, config.fileName(), {}, {}, 0, 5000};
        env.readSecret = [&](const QUrl&, const QString& user) { return user == u"alice" ? secret : QString(); };
        const auto [shownStatus, shown] = runTool(arguments, env);
        QVERIFY2(shownStatus == status, shown.constData());
        QCOMPARE(shown.count('\n'), 1);
        QVERIFY2(shown.contains(line.toUtf8()), shown.constData());
        QCOMPARE(titles(m_a), QStringList{QStringLiteral("Kept")});
    }

    void faultsEndInOneLine_data()
    {
        QTest::addColumn<QByteArray>("fault");    // acted out by the proxy or the storage; "freeze": SIGSTOP
        QTest::addColumn<QStringList>("planted"); // server events written straight into its storage
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("next"); // in the next sync's line, without the fault
        const QString pushed = QStringLiteral("0 came down, 1 went up");
        const QString nothing = QStringLiteral("0 came down, 0 went up");
        QTest::newRow("500") << QByteArray("500") << QStringList() << 2 << QStringLiteral("answered 500") << pushed;
        QTest::newRow("507") << QByteArray("507") << QStringList() << 2 << QStringLiteral("no room left (507)")
                             << pushed;
        QTest::newRow("redirect loop") << QByteArray("redirect") << QStringList() << 2
                                       << QStringLiteral("redirects in a loop") << pushed;
        QTest::newRow("web page, not XML")
            << QByteArray("html") << QStringList() << 2 << QStringLiteral("answered with a web page") << pushed;
        QTest::newRow("timeout") << QByteArray("freeze") << QStringList() << 2 << QStringLiteral("no answer within 1 s")
                                 << pushed;
        QTest::newRow("not iCalendar") << QByteArray() << QStringList{QStringLiteral("2"), QStringLiteral("nul")} << 1
                                       << QStringLiteral("1 of them not iCalendar or too large to read (the first: "
                                                         "/u/cal/nul.ics)")
                                       << nothing;
        QTest::newRow("50 MB event") << QByteArray() << QStringList{QStringLiteral("2"), QStringLiteral("big")} << 1
                                     << QStringLiteral("(the first: /u/cal/big.ics)") << nothing;
        QTest::newRow("10,000 events in one reply") << QByteArray() << QStringList{QStringLiteral("10000")} << 0
                                                    << QStringLiteral("10000 came down, 1 went up") << nothing;
    }
    void faultsEndInOneLine()
    {
        QFETCH(QByteArray, fault);
        QFETCH(QStringList, planted);
        QFETCH(int, status);
        QFETCH(QString, line);
        QFETCH(QString, next);
        if (kind() != DavServer::Kind::Radicale)
            QSKIP("planted in Radicale's storage");
        // Planted events need no proxy: Python's would cut a 50 MB reply short.
        DavServer server(m_env->path(QStringLiteral("faulty")), {}, {}, planted.isEmpty());
        add(m_a, AnEvent("Kept").once(QDate(2026, 12, 1)));
        if (!planted.isEmpty()) {
            const QString planter = QStringLiteral(QUILLMOOR_TEST_SUPPORT_DIR "/radicale_items.py");
            QCOMPARE(QProcess::execute(QStringLiteral("/usr/bin/python3"),
                                       QStringList{planter, server.collectionFolder()} + planted),
                     0);
        }
        const bool freeze = fault == "freeze";
        if (freeze)
            ::kill(pid_t(server.pid()), SIGSTOP);
        else
            server.fault(fault);
        // Generous where the answer's speed is not what is tested: a busy machine is slow.
        SyncEnvironment env{{}, {}, {}, {}, 0, freeze ? 1000 : 600000};
        const QStringList url{server.url().toString()};
        const auto [shownStatus, shown] = runTool(url, env);
        if (freeze)
            ::kill(pid_t(server.pid()), SIGCONT);
        QVERIFY2(shownStatus == status, shown.constData());
        QCOMPARE(shown.count('\n'), 1);
        QVERIFY2(shown.contains(line.toUtf8()), shown.constData());
        // What failed changed no row; what synced is all there.
        QCOMPARE(titles(m_a).size(), 1 + (status == 2 || planted.isEmpty() ? 0 : planted[0].toInt()));
        server.fault({});
        env.timeoutMs = 600000;
        const auto [nextStatus, nextLine] = runTool(url, env);
        QVERIFY2(nextStatus < 2 && nextLine.contains(next.toUtf8()), nextLine.constData());
    }

    void aFifoInTheConfigsPlaceEndsInOneLine()
    {
        const QString fifo = m_env->path(QStringLiteral("fifo.conf"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, ParseSyncArguments({}, fifo));
    }

    void decisions_data()
    {
        // Each side "title|description|day|days before" ("-": no warning); empty: none.
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("local");
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("actions"); // U: update here, P: upload, C: copy, H/T: delete here/there
        QTest::addColumn<QString>("row");     // after U
        const QString b = QStringLiteral("A|d|5|-");
        QTest::newRow("nothing the calendar owns changed") << b << b << b << ""
                                                           << "";
        QTest::newRow("renamed here") << b << "B|d|5|-" << b << "P"
                                      << "";
        QTest::newRow("renamed there") << b << b << "B|d|5|-"
                                       << "U"
                                       << "B|d|5|-";
        QTest::newRow("renamed here, warning there") << b << "B|d|5|-"
                                                     << "A|d|5|1"
                                                     << "UP"
                                                     << "B|d|5|1";
        QTest::newRow("day here, title and text there") << b << "A|d|9|-"
                                                        << "B|e|5|-"
                                                        << "UP"
                                                        << "B|e|9|-";
        QTest::newRow("same rename on both") << b << "B|d|5|-"
                                             << "B|d|5|-"
                                             << ""
                                             << "";
        QTest::newRow("renamed apart") << b << "B|d|5|-"
                                       << "C|d|5|-"
                                       << "CU"
                                       << "C|d|5|-";
        QTest::newRow("never synced, unequal") << ""
                                               << "B|d|5|-"
                                               << "C|d|5|-"
                                               << "CU"
                                               << "C|d|5|-";
        QTest::newRow("deleted there") << b << b << ""
                                       << "H"
                                       << "";
        QTest::newRow("deleted there, changed here") << b << "B|d|5|-"
                                                     << ""
                                                     << "P"
                                                     << "";
        QTest::newRow("deleted here") << b << "" << b << "T"
                                      << "";
        QTest::newRow("deleted here, changed there") << b << ""
                                                     << "B|d|5|-"
                                                     << "U"
                                                     << "B|d|5|-";
    }
    void decisions()
    {
        if (kind() != DavServer::Kind::Radicale)
            QSKIP("no server");
        const auto event = [](const QString& sides) -> std::optional<EventRecord> {
            const QStringList f = sides.split(u'|');
            if (f.size() < 4)
                return std::nullopt;
            const bool warns = f[3] != u"-";
            return AnEvent(f[0])
                .description(f[1])
                .codes(kByDate, kOnce)
                .date(12, f[2].toInt(), 2026)
                .week(1, 1)
                .warn(warns ? f[3].toInt() : 0, int(warns));
        };
        QFETCH(QString, base);
        QFETCH(QString, local);
        QFETCH(QString, server);
        QFETCH(QString, actions);
        QFETCH(QString, row);
        const SyncDecision decision = DecideSync(event(base), event(local), event(server));
        QString shown;
        for (SyncAction a : decision.actions)
            shown += QStringLiteral("UPCHT").at(int(a));
        QCOMPARE(shown, actions);
        QCOMPARE(decision.row, event(row).value_or(EventRecord{}));
    }

    void membersOutsideTheCollectionAreIgnored()
    {
        useFaultyServer();
        add(m_a, AnEvent("Ours").once(QDate(2026, 12, 1)));
        server().fault("outside");
        for (int i = 0; i < 2; ++i) // listed in full, then by token
            QCOMPARE(sync(m_a).outside, 3);
        SyncEnvironment env{{}, {}, {}, {}, 0, 60000};
        const auto [status, line] = runTool({server().url().toString()}, env);
        QVERIFY2(status == 0 &&
                     line.contains("0 came down, 0 went up, 0 deleted here, 0 deleted on the server, 0 kept "
                                   "as conflict copies, 0 left as they are, 3 ignored, outside the calendar"),
                 line.constData());
        QCOMPARE(titles(m_a), QStringList{QStringLiteral("Ours")});
    }

    void redirectElsewhereIsRefused_data()
    {
        QTest::addColumn<QString>("target"); // PORT: another loopback port, listened on
        QTest::newRow("another port") << QStringLiteral("http://127.0.0.1:PORT");
        QTest::newRow("another name for this machine") << QStringLiteral("http://localhost:PORT");
        QTest::newRow("https on another port") << QStringLiteral("https://127.0.0.1:PORT");
        QTest::newRow("a name that resolves nowhere") << QStringLiteral("http://calendar.invalid");
    }
    void redirectElsewhereIsRefused()
    {
        QFETCH(QString, target);
        QTcpServer elsewhere;
        QVERIFY(elsewhere.listen(QHostAddress::LocalHost));
        target.replace(QStringLiteral("PORT"), QString::number(elsewhere.serverPort()));
        useFaultyServer();
        server().fault("307 " + target.toUtf8());
        SyncEnvironment env{{}, {}, {}, {}, 0, 60000};
        const auto [status, line] = runTool({QStringLiteral("--password-command=echo s3cret"),
                                             QStringLiteral("--user=alice"), server().url().toString()},
                                            env);
        QCOMPARE(status, 2);
        QVERIFY2(line.contains("redirects to " + target.toUtf8() + "/u/cal/, away from http://127.0.0.1:"),
                 line.constData());
        QVERIFY(!elsewhere.waitForNewConnection(300));
    }

    void lostTokenCostsOneListing_data()
    {
        QTest::addColumn<QByteArray>("fault"); // empty: a token the real server never gave
        QTest::newRow("unknown token") << QByteArray();
        for (const char* status : {"400", "403", "409", "412", "500", "501", "xml"})
            QTest::newRow(status) << QByteArray("token ") + status;
    }
    void lostTokenCostsOneListing()
    {
        QFETCH(QByteArray, fault);
        if (kind() != DavServer::Kind::Radicale && fault.startsWith("token 4"))
            QSKIP("acted out by the proxy alike for every server");
        useFaultyServer();
        add(m_a, AnEvent("A").once(QDate(2026, 12, 1)));
        add(m_b, AnEvent("B").once(QDate(2026, 12, 2)));
        sync(m_a);
        sync(m_b);
        if (fault.isEmpty())
            setToken(m_a, server().url().toString() + QStringLiteral("never-given"));
        server().fault(fault);
        QCOMPARE(sync(m_a), (SyncSummary{1, 0, 0, 0, 0, 0, 0, {}}));
        QCOMPARE(m_requests, 3); // the refused report, one full listing, the fetch
        QCOMPARE(titles(m_a), (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
        // A server without sync-collection is remembered; a recovered token serves again.
        if (!fault.endsWith("501"))
            server().fault({});
        const QByteArray before = fileHash(m_a);
        QCOMPARE(sync(m_a), SyncSummary{});
        QCOMPARE(m_requests, 1);
        QCOMPARE(fileHash(m_a), before);
    }

    void editsOnBothSidesMerge_data()
    {
        QTest::addColumn<QByteArray>("from"); // the other client's edit of the server's text
        QTest::addColumn<QByteArray>("to");
        QTest::addColumn<bool>("warnHere"); // here: the warning ticked, else renamed "Walk"
        QTest::addColumn<QByteArray>("kept");
        QTest::newRow("location there") << QByteArray("SUMMARY:") << QByteArray("LOCATION:Park\r\nSUMMARY:") << false
                                        << QByteArray("LOCATION:Park");
        QTest::newRow("only re-saved there") << QByteArray("DTSTAMP:20261208T120000Z")
                                             << QByteArray("DTSTAMP:20261209T080000Z\r\nSEQUENCE:4\r\nX-PHONE:saved")
                                             << false << QByteArray("X-PHONE:saved");
        QTest::newRow("10-minute alarm there")
            << QByteArray("END:VEVENT")
            << QByteArray(
                   "BEGIN:VALARM\r\nACTION:DISPLAY\r\nDESCRIPTION:Go\r\nTRIGGER:-PT10M\r\nEND:VALARM\r\nEND:VEVENT")
            << false << QByteArray("TRIGGER:-PT10M");
        QTest::newRow("renamed there, warning here")
            << QByteArray("SUMMARY:Dog") << QByteArray("SUMMARY:Walk") << true << QByteArray("TRIGGER:-P1D");
    }
    void editsOnBothSidesMerge()
    {
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, to);
        QFETCH(bool, warnHere);
        QFETCH(QByteArray, kept);
        const qint64 id = add(m_a, AnEvent("Dog").once(QDate(2026, 12, 1)));
        sync(m_a);
        DavItem item = serverItems().first();
        QVERIFY(item.data.contains(from));
        DavClient other(server().url(), {}, {});
        QCOMPARE(other.put(item.href, item.data.replace(from, to), item.etag).status / 100, 2);
        const EventRecord mine = AnEvent(warnHere ? "Dog" : "Walk").once(QDate(2026, 12, 1)).warn(warnHere, warnHere);
        EventStore a;
        a.open(m_a);
        a.update(id, mine);
        const SyncSummary summary = sync(m_a);
        QCOMPARE(summary.conflicts, 0);
        QCOMPARE(summary.up, 1);
        QCOMPARE(titles(m_a), QStringList{QStringLiteral("Walk")});
        const QByteArray server = serverItems().first().data;
        QVERIFY2(server.contains("SUMMARY:Walk") && server.contains(kept), server.constData());
        QCOMPARE(serverItems().size(), 1);
    }

    void oddAnswersToUploads_data()
    {
        QTest::addColumn<QByteArray>("fault");
        QTest::newRow("no ETag on PUT") << QByteArray("noetag");
        QTest::newRow("412 on a new event, nothing there") << QByteArray("412new");
    }
    void oddAnswersToUploads()
    {
        QFETCH(QByteArray, fault);
        useFaultyServer();
        const qint64 id = add(m_a, AnEvent("New").once(QDate(2026, 12, 1)));
        server().fault(fault);
        QCOMPARE(sync(m_a), (SyncSummary{0, 1, 0, 0, 0, 0, 0, {}}));
        EventStore a;
        a.open(m_a);
        a.update(id, AnEvent("Renamed").once(QDate(2026, 12, 1)));
        QCOMPARE(sync(m_a), (SyncSummary{0, 1, 0, 0, 0, 0, 0, {}}));
        QCOMPARE(sync(m_b), (SyncSummary{1, 0, 0, 0, 0, 0, 0, {}}));
        QCOMPARE(titles(m_b), QStringList{QStringLiteral("Renamed")});
        QCOMPARE(titles(m_a), QStringList{QStringLiteral("Renamed")});
    }

    void otherClientsRepeatingEventKeepsItsPlace()
    {
        putRaw(QStringLiteral("phone.ics"), "BEGIN:VEVENT\r\nUID:phone-1\r\nDTSTAMP:20261201T000000Z\r\n"
                                            "DTSTART:20261216T190000Z\r\nDTEND:20261216T200000Z\r\n"
                                            "RRULE:FREQ=WEEKLY\r\nSUMMARY:Choir\r\nBEGIN:VALARM\r\nACTION:DISPLAY\r\n"
                                            "DESCRIPTION:Choir\r\nTRIGGER:-PT30M\r\nEND:VALARM\r\nEND:VEVENT\r\n");
        QCOMPARE(sync(m_a).down, 1);
        EventRecord choir = rows(m_a).first();
        choir.eventweekday = kThursday + 1; // Wednesday to Friday
        choir.warnevent = 1;
        choir.daysbefore = 1;
        EventStore a;
        a.open(m_a);
        a.update(choir.id, choir);
        QCOMPARE(sync(m_a).up, 1);
        const QByteArray server = serverItems().first().data;
        for (const char* kept :
             {"DTSTART:20261218T190000Z", "DTEND:20261218T200000Z", "TRIGGER:-PT30M", "TRIGGER:-P1D"})
            QVERIFY2(server.contains(kept), server.constData());
    }

    void hungPasswordCommandIsEndedWithItsChildren()
    {
        if (kind() != DavServer::Kind::Radicale)
            QSKIP("no server");
        const QString pidFile = m_env->path(QStringLiteral("pid"));
        QElapsedTimer waited;
        waited.start();
        QVERIFY_THROWS_EXCEPTION(
            SyncError, PasswordFromCommand(QStringLiteral("sleep 60 & echo $! > %1; wait").arg(pidFile), 500));
        QVERIFY(waited.elapsed() < 5000);
        QFile file(pidFile);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const auto sleeper = pid_t(file.readAll().trimmed().toInt());
        QVERIFY(sleeper > 0);
        QTRY_VERIFY(::kill(sleeper, 0) != 0);
    }
};

QTEST_GUILESS_MAIN(TestSync)
#include "tst_sync.moc"

// quillmoor-sync against a local Radicale or Xandikos: the first sync of N events next to the floor, a plain
// client putting the same events one by one in the same run, and a sync with nothing changed.
// Each is timed on the wall clock and as CPU time of both processes (this one and Radicale's),
// which a machine shared with other work disturbs far less.
// Run in a Release build: build/bin/bench_sync [xandikos] [N ...] (default 300 2000).
#include "dav_server.h"
#include "event_generator.h"
#include "ical/event_mapping.h"
#include "sync/sync_engine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace {

const QDateTime kNow(QDate(2026, 12, 8), QTime(12, 0), Qt::UTC);

struct Cost
{
    double wall = 1e9;
    double cpu = 1e9;
};

// CPU seconds this process and the server have used so far.
double cpuSeconds(qint64 serverPid)
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    double seconds =
        usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(serverPid));
    if (stat.open(QIODevice::ReadOnly)) {
        // utime and stime are fields 14 and 15, after the parenthesised command name.
        const QList<QByteArray> fields = stat.readAll().split(')').last().trimmed().split(' ');
        seconds += (fields.value(11).toLongLong() + fields.value(12).toLongLong()) / double(sysconf(_SC_CLK_TCK));
    }
    return seconds;
}

class Meter
{
public:
    explicit Meter(qint64 pid) : m_pid(pid), m_cpu(cpuSeconds(pid)) { m_timer.start(); }
    [[nodiscard]] Cost cost() const { return {m_timer.nsecsElapsed() / 1e9, cpuSeconds(m_pid) - m_cpu}; }

private:
    qint64 m_pid;
    double m_cpu;
    QElapsedTimer m_timer;
};

QUrl collection(const DavServer& server, const QString& name)
{
    return server.url().resolved(QUrl(QStringLiteral("../%1/").arg(name)));
}

// The floor: each event the sync would send, PUT one by one by the same HTTP client.
Cost floorCost(const DavServer& server, const QString& db, const QString& name)
{
    QList<QByteArray> bodies;
    EventStore store;
    store.open(db);
    const icaltimetype now = icaltime_from_timet_with_zone(kNow.toSecsSinceEpoch(), 0, icaltimezone_get_utc_timezone());
    store.forEachEvent([&](const EventRecord& e) {
        QString warning;
        const QByteArray uid = "floor-" + QByteArray::number(e.id);
        auto vevent = EventComponent(e, uid, now, warning);
        if (auto* component = std::get_if<ComponentPtr>(&vevent)) {
            const ComponentPtr calendar(icalcomponent_new_vcalendar());
            icalcomponent_add_property(calendar.get(), icalproperty_new_version("2.0"));
            icalcomponent_add_property(calendar.get(), icalproperty_new_prodid("-//bench//EN"));
            icalcomponent_add_component(calendar.get(), component->release());
            bodies.append(ICalTextOf(calendar.get()));
        }
    });
    const QUrl url = collection(server, name);
    DavClient client(url, {}, {});
    client.makeCalendar(url);
    const Meter meter(server.pid());
    int n = 0;
    for (const QByteArray& body : bodies)
        client.put(QStringLiteral("e%1.ics").arg(n++), body, {});
    return meter.cost();
}

struct Timed
{
    SyncSummary summary;
    Cost cost;
    int requests;
};

Timed timedSync(const DavServer& server, const QString& db, const QUrl& url)
{
    LinkState state(db, url.toString());
    DavClient client(url, {}, {});
    const Meter meter(server.pid());
    const SyncSummary summary = Synchronize(state, client, kNow, QStringLiteral("bench"));
    return {summary, meter.cost(), client.requestCount()};
}

long peakMiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QList<int> sizes;
    QStringList arguments = app.arguments().mid(1);
    const bool xandikos = arguments.removeAll(QStringLiteral("xandikos")) > 0;
    for (const QString& a : std::as_const(arguments))
        sizes.append(a.toInt());
    if (sizes.isEmpty())
        sizes = {300, 2000};
    QTemporaryDir dir;
    DavServer server(dir.filePath(QStringLiteral("server")), {}, {}, false,
                     xandikos ? DavServer::Kind::Xandikos : DavServer::Kind::Radicale);
    std::printf("%7s %18s %18s %12s %5s %20s %8s %8s\n", "events", "floor wall/cpu s", "sync wall/cpu s", "ratio w/cpu",
                "sent", "unchanged wall/cpu s", "requests", "peak MiB");
    for (int count : sizes) {
        // Floor and sync alternate, up to three times each on fresh collections, and the cheapest of
        // each counts: the machine is shared, and Radicale's cost drifts as its storage grows.
        Cost floor;
        Timed first{{}, {}, 0};
        QString a, b;
        QUrl url;
        // Radicale's cost per PUT grows with the collection, so large sizes get one round.
        const int rounds = count <= 500 ? 3 : 1;
        for (int round = 0; round < rounds; ++round) {
            const QString name = QStringLiteral("%1-%2").arg(count).arg(round);
            a = dir.filePath(QStringLiteral("a%1.mdb").arg(name));
            b = dir.filePath(QStringLiteral("b%1.mdb").arg(name));
            GenerateEvents(a, count);
            GenerateEvents(b, 0);
            const Cost f = floorCost(server, a, QStringLiteral("floor") + name);
            floor = {std::min(floor.wall, f.wall), std::min(floor.cpu, f.cpu)};
            url = collection(server, QStringLiteral("sync") + name);
            DavClient(url, {}, {}).makeCalendar(url);
            const Timed sync = timedSync(server, a, url);
            first.summary = sync.summary;
            first.cost = {std::min(first.cost.wall, sync.cost.wall), std::min(first.cost.cpu, sync.cost.cpu)};
        }
        timedSync(server, b, url);
        const Timed quiet = timedSync(server, a, url);
        std::printf("%7d %8.2f / %7.2f %8.2f / %7.2f %5.2f / %4.2f %5d %9.3f / %8.3f %8d %8ld\n", count, floor.wall,
                    floor.cpu, first.cost.wall, first.cost.cpu, first.cost.wall / floor.wall,
                    first.cost.cpu / floor.cpu, first.summary.up, quiet.cost.wall, quiet.cost.cpu, quiet.requests,
                    peakMiB());
        std::fflush(stdout);
    }
    return 0;
}

// quillmoor-sync against a local Radicale: the first sync of N events next to the floor, a plain
// client putting the same events one by one in the same run, and a sync with nothing changed.
// Run in a Release build: build/bin/bench_sync [N ...] (default 300 2000).
#include "event_generator.h"
#include "ical/event_mapping.h"
#include "radicale.h"
#include "sync/sync_engine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>

namespace {

const QDateTime kNow(QDate(2026, 12, 8), QTime(12, 0), Qt::UTC);

QUrl collection(const Radicale& server, const QString& name)
{
    return server.url().resolved(QUrl(QStringLiteral("../%1/").arg(name)));
}

// The floor: each event the sync would send, PUT one by one by the same HTTP client.
double floorSeconds(const Radicale& server, const QString& db, const QString& name)
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
    QElapsedTimer timer;
    timer.start();
    int n = 0;
    for (const QByteArray& body : bodies)
        client.put(QStringLiteral("e%1.ics").arg(n++), body, {});
    return timer.nsecsElapsed() / 1e9;
}

struct Timed
{
    SyncSummary summary;
    double seconds;
    int requests;
};

Timed timedSync(const QString& db, const QUrl& url)
{
    LinkState state(db, url.toString());
    DavClient client(url, {}, {});
    QElapsedTimer timer;
    timer.start();
    const SyncSummary summary = Synchronize(state, client, kNow, QStringLiteral("bench"));
    return {summary, timer.nsecsElapsed() / 1e9, client.requestCount()};
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
    for (const QString& a : app.arguments().mid(1))
        sizes.append(a.toInt());
    if (sizes.isEmpty())
        sizes = {300, 2000};
    QTemporaryDir dir;
    Radicale server(dir.filePath(QStringLiteral("radicale")));
    std::printf("%8s %10s %10s %6s %9s %18s %9s %9s\n", "events", "floor s", "sync s", "ratio", "sent",
                "unchanged sync s", "requests", "peak MiB");
    for (int count : sizes) {
        // Floor and sync alternate, twice each on fresh collections, and the faster of each
        // counts: the machine is shared, and Radicale's cost drifts as its storage grows.
        double floor = 1e9;
        Timed first{{}, 1e9, 0};
        QString a, b;
        QUrl url;
        for (int round = 0; round < 2; ++round) {
            const QString name = QStringLiteral("%1-%2").arg(count).arg(round);
            a = dir.filePath(QStringLiteral("a%1.mdb").arg(name));
            b = dir.filePath(QStringLiteral("b%1.mdb").arg(name));
            GenerateEvents(a, count);
            GenerateEvents(b, 0);
            floor = std::min(floor, floorSeconds(server, a, QStringLiteral("floor") + name));
            url = collection(server, QStringLiteral("sync") + name);
            DavClient(url, {}, {}).makeCalendar(url);
            const Timed sync = timedSync(a, url);
            if (sync.seconds < first.seconds)
                first = sync;
        }
        timedSync(b, url);
        timedSync(a, url); // takes in the token that follows its own writes
        timedSync(b, url);
        const Timed quiet = timedSync(a, url);
        std::printf("%8d %10.2f %10.2f %6.2f %9d %18.3f %9d %9ld\n", count, floor, first.seconds, first.seconds / floor,
                    first.summary.up, quiet.seconds, quiet.requests, peakMiB());
        std::fflush(stdout);
    }
    return 0;
}

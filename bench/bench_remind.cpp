// One look of the reminder agent at a generated event database: reading every row, the
// occurrence rule over the year ahead, the record of what was sent, and the notifications
// (to a service that takes everything, so the bus plays no part).
#include "core/clock.h"
#include "event_generator.h"
#include "remind/remind_agent.h"
#include "store/event_store.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

const QDate kToday(2024, 3, 20);

class TakesEverything final : public NotificationService
{
public:
    bool isThere() override { return true; }
    std::optional<quint32> show(const Notification&, QString&) override { return ++m_shown; }

private:
    quint32 m_shown = 0;
};

std::unique_ptr<RemindAgent> agentOver(const QString& database, const QTemporaryDir& state, const Clock& clock,
                                       NotificationService& service)
{
    return std::make_unique<RemindAgent>(
        RemindAgent::Setup{[database] { return database; }, state.path(), &clock, &service, stderr, false, QLocale()});
}

// What is due, without the record and the notifications.
void BM_FindDue(benchmark::State& state)
{
    EventStore store;
    store.open(GeneratedDatabase(int(state.range(0))));
    std::size_t due = 0;
    for (auto _ : state)
        due = std::size_t(FindDue(store, kToday).due.size());
    state.counters["due"] = double(due);
}

// The look every 15 minutes: everything due was sent and recorded before.
void BM_LookAgain(benchmark::State& state)
{
    const QString database = GeneratedDatabase(int(state.range(0)));
    const QTemporaryDir dir;
    const FixedClock clock(kToday);
    TakesEverything service;
    const auto agent = agentOver(database, dir, clock, service);
    agent->look();
    for (auto _ : state)
        benchmark::DoNotOptimize(agent->look());
}

// The look every 15 minutes at events from other calendars that carry alarms, none of them due:
// their leads are kept with their starts, so no details text is read.
void BM_LookAtAlarms(benchmark::State& state)
{
    const QTemporaryDir dir;
    const QString database = dir.filePath(QStringLiteral("alarms.mdb"));
    GenerateEvents(database, 0);
    AddDetailedEvents(database, int(state.range(0)), 2, kToday, false, true);
    FixedClock clock(kToday);
    clock.setTime(QTime(3, 0));
    TakesEverything service;
    const auto agent = agentOver(database, dir, clock, service);
    agent->look();
    for (auto _ : state)
        benchmark::DoNotOptimize(agent->look());
}

// The first look of a day: everything due is sent and the record written.
void BM_FirstLook(benchmark::State& state)
{
    const QString database = GeneratedDatabase(int(state.range(0)));
    const FixedClock clock(kToday);
    TakesEverything service;
    for (auto _ : state) {
        state.PauseTiming();
        const QTemporaryDir dir;
        const auto agent = agentOver(database, dir, clock, service);
        state.ResumeTiming();
        benchmark::DoNotOptimize(agent->look());
    }
}

} // namespace

BENCHMARK(BM_FindDue)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LookAgain)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstLook)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LookAtAlarms)->Arg(5000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

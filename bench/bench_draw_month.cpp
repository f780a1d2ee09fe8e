// One complete month drawing on an open event database: reading every row, the
// occurrence rule and the filling of the cells (no painting on screen).
#include "agenda/agenda.h"
#include "calendar/month_grid.h"
#include "core/settings_store.h"
#include "event_generator.h"
#include "store/event_store.h"

#include <QDate>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

const ViewedMonth kMonth{3, 2024};
const QDate kToday(2024, 3, 20);

void BM_ReadAllEvents(benchmark::State& state)
{
    EventStore store;
    store.open(GeneratedDatabase(int(state.range(0))));
    for (auto _ : state) {
        qint64 rows = 0;
        store.forEachEvent([&](const EventRecord&) { ++rows; });
        benchmark::DoNotOptimize(rows);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_DrawMonth(benchmark::State& state)
{
    QTemporaryDir folder;
    const SettingsStore settings(folder.filePath(QStringLiteral("settings.conf")));
    EventStore store;
    store.open(GeneratedDatabase(int(state.range(0))));
    MonthGrid grid;
    PassedEventIds passed;
    for (auto _ : state) {
        passed.clear();
        DrawMonth(grid, kMonth, kToday, settings, store, passed);
        benchmark::DoNotOptimize(grid.cells.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_AgendaText(benchmark::State& state)
{
    EventStore store;
    store.open(GeneratedDatabase(int(state.range(0))));
    for (auto _ : state) {
        const QByteArray text = AgendaText(kMonth, store);
        benchmark::DoNotOptimize(text.constData());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

} // namespace

BENCHMARK(BM_ReadAllEvents)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawMonth)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AgendaText)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

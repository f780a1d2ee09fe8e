// iCalendar export and import of large event databases, in process: writing every event,
// reading the file, and storing it into an empty database and into one that already
// holds every event (the duplicate check).
#include "event_generator.h"
#include "ics/export.h"
#include "ics/import.h"
#include "store/event_store.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <map>

namespace {

const ExportStamp kStamp{QDateTime(QDate(2024, 3, 20), QTime(12, 0), Qt::UTC), QStringLiteral("bench.example")};

QByteArray exportOf(const EventSource& events)
{
    return ExportCalendar(events, kStamp, [](const EventRecord&, Omission, const QString&) {});
}

// The export of each generated database, made once per size.
const QByteArray& exportedText(int count)
{
    static std::map<int, QByteArray> texts;
    auto [it, added] = texts.try_emplace(count);
    if (added) {
        EventStore store;
        store.open(GeneratedDatabase(count));
        it->second = exportOf(store);
    }
    return it->second;
}

void BM_ExportCalendar(benchmark::State& state)
{
    EventStore store;
    store.open(GeneratedDatabase(int(state.range(0))));
    for (auto _ : state) {
        const QByteArray text = exportOf(store);
        benchmark::DoNotOptimize(text.constData());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_ReadCalendar(benchmark::State& state)
{
    const QByteArray& text = exportedText(int(state.range(0)));
    for (auto _ : state) {
        const ImportedCalendar calendar = ReadCalendar(text);
        benchmark::DoNotOptimize(calendar.events.constData());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// Reading and storing; with `already` every event is in the database before.
void importInto(benchmark::State& state, bool already)
{
    const QByteArray& text = exportedText(int(state.range(0)));
    const QTemporaryDir folder;
    const QString original = folder.filePath(QStringLiteral("original.mdb"));
    CreateEventDatabase(original);
    if (already) {
        EventStore store;
        store.open(original);
        store.insertNew(ReadCalendar(text).events);
    }
    const QString file = folder.filePath(QStringLiteral("events.mdb"));
    for (auto _ : state) {
        state.PauseTiming();
        QFile::remove(file);
        QFile::copy(original, file);
        state.ResumeTiming();
        EventStore store;
        store.open(file);
        const qsizetype stored = store.insertNew(ReadCalendar(text).events);
        benchmark::DoNotOptimize(stored);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_ImportIntoEmpty(benchmark::State& state)
{
    importInto(state, false);
}

void BM_ImportAllPresent(benchmark::State& state)
{
    importInto(state, true);
}

} // namespace

BENCHMARK(BM_ExportCalendar)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadCalendar)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImportIntoEmpty)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImportAllPresent)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

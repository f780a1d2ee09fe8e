// One complete month drawing on an open event database: reading every row, the
// occurrence rule and the filling of the cells (no painting on screen); the start-up
// alert's read of one day's events; and the filling of the event management list.
#include "agenda/agenda.h"
#include "calendar/month_grid.h"
#include "calendar/occurrence.h"
#include "core/prompts.h"
#include "core/services.h"
#include "core/settings_store.h"
#include "dialogs/event_alert.h"
#include "dialogs/event_management.h"
#include "event_generator.h"
#include "store/event_store.h"
#include "store/event_table.h"

#include <QApplication>
#include <QCollator>
#include <QDate>
#include <QLocale>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTreeView>

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
    store.open(GeneratedDatabase(int(state.range(0)), false, int(state.range(1))));
    MonthGrid grid;
    // As the window does at start-up: the drawings timed are the ones after it.
    (void)DrawMonth(grid, kMonth, kToday, settings.snapshot(), store);
    for (auto _ : state) {
        const MonthFindings found = DrawMonth(grid, kMonth, kToday, settings.snapshot(), store);
        benchmark::DoNotOptimize(found.passed.size());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// The first drawing after opening the file, as at start-up, and the agenda's one drawing.
void BM_DrawMonthFirst(benchmark::State& state)
{
    QTemporaryDir folder;
    const SettingsStore settings(folder.filePath(QStringLiteral("settings.conf")));
    const QString file = GeneratedDatabase(int(state.range(0)), false, int(state.range(1)));
    MonthGrid grid;
    for (auto _ : state) {
        EventStore store;
        store.open(file);
        const MonthFindings found = DrawMonth(grid, kMonth, kToday, settings.snapshot(), store);
        benchmark::DoNotOptimize(found.passed.size());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// The alert's read at start-up, after the month drawing: the events of one day.
void BM_EventsOnDay(benchmark::State& state)
{
    EventStore store;
    store.open(GeneratedDatabase(int(state.range(0))));
    for (auto _ : state)
        benchmark::DoNotOptimize(EventsOn(store, QDate(kMonth.year, kMonth.month, kToday.day())));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_AgendaText(benchmark::State& state)
{
    EventStore store;
    store.open(GeneratedDatabase(int(state.range(0)), false, int(state.range(1))));
    for (auto _ : state) {
        const QByteArray text = AgendaText(kMonth, store);
        benchmark::DoNotOptimize(text.constData());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_ReadEventsByTitle(benchmark::State& state)
{
    EventStore store;
    store.open(GeneratedDatabase(int(state.range(0)), state.range(1) != 0));
    EventTable rows;
    for (auto _ : state) {
        store.readEventsByTitle(rows);
        benchmark::DoNotOptimize(rows.size());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));

    // The order must be the collator's own, whatever shortcut the sort takes.
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::vector<std::pair<QString, qint64>> expected;
    store.forEachEvent([&](const EventRecord& e) { expected.emplace_back(e.title, e.id); });
    std::stable_sort(expected.begin(), expected.end(),
                     [&](const auto& a, const auto& b) { return collator.compare(a.first, b.first) < 0; });
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (rows.id(i) != expected[std::size_t(i)].second) {
            state.SkipWithError("the rows are not in the collator's order");
            break;
        }
    }
}

// Any failure would show a message box; a benchmark that meets one is void.
class FailingPrompts final : public Prompts
{
public:
    Answer message(const QString& text, const QString&, Buttons, Icon) override { qFatal("%s", qPrintable(text)); }
    std::optional<ColorRef> pickColor(ColorRef) override { return std::nullopt; }
};

// What a dialog takes, over a generated database of `count` events.
struct DialogSeams
{
    QTemporaryDir folder;
    SettingsStore settings{folder.filePath(QStringLiteral("settings.conf"))};
    FixedClock clock{kToday};
    FailingPrompts prompts;
    AppServices services{clock, prompts, settings, {folder.path(), folder.path(), folder.path()}};
    EventStore store;

    explicit DialogSeams(int count, bool distinctTitles = false)
    {
        store.open(GeneratedDatabase(count, distinctTitles));
    }
};

// Form4's load: its columns and the rows of every event in title order (not shown on screen).
void BM_ManagementList(benchmark::State& state)
{
    DialogSeams seams(int(state.range(0)), state.range(1) != 0);
    Form4 dialog(seams.services, seams.store);
    for (auto _ : state)
        dialog.Form_Load();
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// Form8's load, "Event Alert!": today's titles into the list and the first description (not shown).
void BM_AlertLoad(benchmark::State& state)
{
    DialogSeams seams(int(state.range(0)));
    Form8 alert(seams.services, seams.store, kToday);
    for (auto _ : state)
        alert.Form_Load();
    if (alert.noEventsToday())
        state.SkipWithError("nothing falls on the day");
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// Scrolling the filled list by a page and painting the rows that come into view.
void BM_ManagementListPage(benchmark::State& state)
{
    DialogSeams seams(int(state.range(0)));
    Form4 dialog(seams.services, seams.store);
    dialog.Form_Load();
    dialog.show();
    auto* list = dialog.findChild<QTreeView*>(QStringLiteral("ListView1"));
    QScrollBar* bar = list->verticalScrollBar();
    for (auto _ : state) {
        bar->setValue(bar->value() + bar->pageStep() > bar->maximum() ? 0 : bar->value() + bar->pageStep());
        const QPixmap page = list->viewport()->grab();
        benchmark::DoNotOptimize(page.cacheKey());
    }
}

} // namespace

BENCHMARK(BM_ReadAllEvents)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
// {events, of which from other calendars}: the second figure beside the first shows what they cost.
BENCHMARK(BM_DrawMonth)
    ->Args({1000, 0})
    ->Args({10000, 0})
    ->Args({100000, 0})
    ->Args({100000, 10000})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawMonthFirst)->Args({100000, 0})->Args({100000, 10000})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EventsOnDay)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AgendaText)
    ->Args({1000, 0})
    ->Args({10000, 0})
    ->Args({100000, 0})
    ->Args({100000, 10000})
    ->Unit(benchmark::kMillisecond);

BENCHMARK(BM_ReadEventsByTitle)
    ->ArgNames({"events", "distinct"})
    ->Args({10000, 0})
    ->Args({100000, 0})
    ->Args({100000, 1})
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ManagementList)
    ->ArgNames({"events", "distinct"})
    ->Args({10000, 0})
    ->Args({100000, 0})
    ->Args({100000, 1})
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AlertLoad)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ManagementListPage)->Arg(100000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    // The list is built without a screen; the titles sort as in an English-speaking desktop.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

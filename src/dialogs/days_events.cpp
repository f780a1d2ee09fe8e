#include "days_events.h"

#include "calendar/occurrence.h"
#include "core/error_report.h"
#include "ui/look.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QTreeWidget>

using namespace kit;

namespace {

constexpr Place kPlaces[] = {
    {"ListView1", 120, 120, 3120, 3030},
    {"Frame1", 120, 3180, 3120, 2415},
    {"Text1", 240, 300, 2655, 1935},
};

} // namespace

Form6::Form6(AppServices& services, const EventStore& store, ViewedMonth view, QWidget* parent)
    : FormDialog(parent), m_services(services), m_store(store), m_view(view), ListedEvents(store)
{
    setObjectName(QStringLiteral("Form6"));
    MakeFixedWindow(*this, 3360, 5700);
    setWindowTitle(QStringLiteral("Day's Event"));

    ListView1 = Make<QTreeWidget>(this, "ListView1");
    ListView1->setRootIsDecorated(false);
    ListView1->setHeaderHidden(true); // its one column has no heading
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    auto* frame = Make<QGroupBox>(this, "Frame1", "Description");
    Text1 = Make<QPlainTextEdit>(frame, "Text1");
    Text1->setReadOnly(true);
    // Neither has a label of its own to name it for screen readers.
    ListView1->setAccessibleName(QStringLiteral("Events"));
    Text1->setAccessibleName(frame->title());
    PlaceControls(*this, kPlaces);
    hover().arrowOver({this, frame, ListView1->viewport(), Text1->viewport()});

    // Keys move the selection as well as clicks do; either shows the description.
    connect(ListView1, &QTreeWidget::itemSelectionChanged, this, &Form6::ListView1_Click);
}

Form6::~Form6() = default;

void Form6::Form_Load()
{
    ErrorTrap trap(m_services.prompts, QStringLiteral("Form6.Form_Load"));
    trap(100, [&] { PrepareDialog(*this, m_services.paths); });
    trap(102, [&] {
        ListView1->setColumnCount(1);
        ListView1->setColumnWidth(0, Pixels(3000));
        const QSignalBlocker quiet(ListView1);
        ListView1->clear();
        ListedEvents.set({});
    });
    trap(104, [&] {
        const QSignalBlocker quiet(ListView1);
        const QDate day(m_view.year, m_view.month, m_Day.toInt()); // invalid for a blank cell
        for (const QString& title : ListedEvents.set(EventsOn(m_store, day)))
            new QTreeWidgetItem(ListView1, {title});
    });
    trap(106, [&] {
        if (ListView1->topLevelItemCount() == 0) {
            reject();
            return;
        }
        ListView1->setCurrentItem(ListView1->topLevelItem(0)); // shows its description
    });
}

void Form6::ListView1_Click()
{
    const QList<QTreeWidgetItem*> selected = ListView1->selectedItems();
    if (selected.isEmpty())
        return;
    const int position = ListView1->indexOfTopLevelItem(selected.first());
    // Read afresh: an event deleted meanwhile leaves the description as it was.
    ErrorTrap trap(m_services.prompts, QStringLiteral("Form6.ListView1_Click"));
    trap(100, [&] { ListedEvents.showDescription(position, *Text1); });
}

#include "event_management.h"

#include "core/error_report.h"
#include "event_editor.h"
#include "event_list_model.h"
#include "ui/grid_label.h"
#include "ui/look.h"

#include <QHeaderView>
#include <QPushButton>
#include <QScopeGuard>
#include <QTreeView>

#include <iterator>

using namespace kit;

namespace {

constexpr int kWidth = 8040;
constexpr int kHeight = 3165;

constexpr Place kPlaces[] = {
    {"ListView1", 120, 120, 7800, 2430},
    {"PushButton1", 120, 2640, 2520, 405},
    {"PushButton2", 2760, 2640, 2520, 405},
    {"PushButton3", 5400, 2640, 2520, 405},
};

} // namespace

Form4::Form4(AppServices& services, EventStore& store, QWidget* parent)
    : FormDialog(parent), m_services(services), m_store(store)
{
    setObjectName(QStringLiteral("Form4"));
    MakeFixedWindow(*this, kWidth, kHeight);
    setWindowTitle(QStringLiteral("Event Management"));
    buildControls();
    m_editor = new Form3(services, store, this);
}

Form4::~Form4() = default;

void Form4::buildControls()
{
    m_rows = new EventListModel(this);
    ListView1 = Make<QTreeView>(this, "ListView1");
    ListView1->setAccessibleName(QStringLiteral("Events")); // it has no label to name it
    ListView1->setRootIsDecorated(false);
    ListView1->setItemsExpandable(false);
    ListView1->setExpandsOnDoubleClick(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    // A row that merely has the focus must not look chosen, as only a highlighted row is
    // acted on.
    ListView1->setAllColumnsShowFocus(false);
    // Nor does the current cell show a focus frame before a key is pressed.
    FramesFocusAfterKeys(*ListView1);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setSortingEnabled(false);
    QHeaderView* header = ListView1->header();
    header->setSectionsClickable(false);
    header->setSectionsMovable(false);
    header->setStretchLastSection(false);
    header->setMinimumSectionSize(0);

    auto* add = MakePushButton(this, hover(), "PushButton1", "Add");
    auto* remove = MakePushButton(this, hover(), "PushButton2", "Delete");
    auto* update = MakePushButton(this, hover(), "PushButton3", "Update");
    connect(add, &QPushButton::clicked, this, &Form4::PushButton1_Click);
    connect(remove, &QPushButton::clicked, this, &Form4::PushButton2_Click);
    connect(update, &QPushButton::clicked, this, &Form4::PushButton3_Click);

    PlaceControls(*this, kPlaces);
    hover().arrowOver({this, ListView1->viewport(), header});
}

void Form4::Form_Load()
{
    ErrorTrap trap(m_services.prompts, QStringLiteral("Form4.Form_Load"));
    trap(100, [&] { PrepareDialog(*this, m_services.paths); });
    // The model brings the twelve headings.
    trap(102, [&] {
        if (ListView1->model() != m_rows)
            ListView1->setModel(m_rows);
    });
    trap(104, [&] {
        for (int i = 0; i < int(std::size(EventListModel::kColumns)); ++i)
            ListView1->setColumnWidth(i, Pixels(EventListModel::kColumns[i].twips));
        // The id is there for the buttons: hidden, the keyboard and screen readers start
        // on the title.
        ListView1->setColumnHidden(0, true);
    });
    trap(106, [&] { fillList(); });
}

void Form4::fillList()
{
    EventTable rows;
    // The rows read are shown also when the read fails part-way.
    const auto show = qScopeGuard([&] { m_rows->reset(std::move(rows)); });
    m_store.readEventsByTitle(rows);
}

QString Form4::selectedId() const
{
    const QModelIndexList selected = ListView1->selectionModel()->selectedRows();
    return selected.isEmpty() ? QString() : QString::number(m_rows->idAt(selected.first().row()));
}

void Form4::PushButton1_Click()
{
    ErrorTrap trap(m_services.prompts, QStringLiteral("Form4.PushButton1_Click"));
    trap(100, [&] { m_editor->m_ID.clear(); });
    trap(102, [&] { ShowModal(*m_editor); });
    trap(104, [&] { fillList(); });
}

void Form4::PushButton2_Click()
{
    ErrorTrap trap(m_services.prompts, QStringLiteral("Form4.PushButton2_Click"));
    // Only the row the user sees highlighted may go.
    QString id;
    trap(100, [&] { id = selectedId(); });
    if (id.isEmpty())
        return;
    trap(102, [&] { m_store.remove(EventIdFrom(id)); });
    trap(104, [&] { fillList(); });
}

void Form4::PushButton3_Click()
{
    ErrorTrap trap(m_services.prompts, QStringLiteral("Form4.PushButton3_Click"));
    QString id;
    trap(100, [&] { id = selectedId(); });
    if (id.isEmpty())
        return;
    trap(102, [&] { m_editor->m_ID = id; });
    trap(104, [&] { m_editor->useUpdateCaption(); });
    trap(106, [&] { ShowModal(*m_editor); });
    trap(108, [&] { fillList(); });
}

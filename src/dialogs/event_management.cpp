#include "event_management.h"

#include "calendar/dates.h"
#include "core/error_report.h"
#include "event_editor.h"
#include "ui/look.h"

#include <QHeaderView>
#include <QLocale>
#include <QPushButton>
#include <QTreeWidget>

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

struct Column
{
    const char* heading;
    int twips;
};
// The id column is one twip wide: there for Delete and Update, not for the eye.
constexpr Column kColumns[] = {
    {"Event ID", 1},      {"Title", 2000},  {"Description", 2000}, {"Type", 700},
    {"Consistancy", 700}, {"Month", 700},   {"Day", 700},          {"Year", 700},
    {"Week", 700},        {"Weekday", 700}, {"Warn Event", 700},   {"Days Before", 700},
};

QString NumberText(const std::optional<int>& value)
{
    return value ? QString::number(*value) : QString();
}

// A row is one line high; the whole description is in the cell's tool tip.
QString DescriptionOnOneLine(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    text.replace(u'\r', u' ');
    text.replace(u'\n', u' ');
    return text;
}

QString TypeText(const std::optional<int>& timetype)
{
    if (timetype == int(TimeType::ByDate))
        return QStringLiteral("By Date");
    if (timetype == int(TimeType::ByDayOfWeek))
        return QStringLiteral("By Day of Week");
    return {};
}

QString ConsistancyText(const std::optional<int>& consistancy)
{
    static const char* const names[] = {"Once", "Weekly", "Monthly", "Annually"};
    if (consistancy >= 1 && consistancy <= 4)
        return QString::fromLatin1(names[*consistancy - 1]);
    return {};
}

QString MonthText(const std::optional<int>& month)
{
    if (month >= 1 && month <= 12)
        return QLocale().standaloneMonthName(*month, QLocale::LongFormat);
    return {};
}

} // namespace

QStringList EventRowTexts(const EventRecord& event)
{
    return {
        QString::number(event.id),
        event.title,
        DescriptionOnOneLine(event.description),
        TypeText(event.timetype),
        ConsistancyText(event.consistancy),
        MonthText(event.eventmonth),
        NumberText(event.eventday),
        NumberText(event.eventyear),
        NumberText(event.eventweekdate),
        event.eventweekday ? WeekdayNameOf(*event.eventweekday) : QString(),
        event.warnevent == 1 ? QStringLiteral("Yes") : QStringLiteral("No"),
        NumberText(event.daysbefore),
    };
}

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
    ListView1 = Make<QTreeWidget>(this, "ListView1");
    ListView1->setRootIsDecorated(false);
    ListView1->setItemsExpandable(false);
    ListView1->setExpandsOnDoubleClick(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    // The keyboard cursor stays in the hidden id column: a row that merely has the
    // focus must not look chosen, as only a highlighted row is acted on.
    ListView1->setAllColumnsShowFocus(false);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setSortingEnabled(false);
    QHeaderView* header = ListView1->header();
    header->setSectionsClickable(false);
    header->setSectionsMovable(false);
    header->setStretchLastSection(false);
    header->setMinimumSectionSize(0);

    auto* add = Make<QPushButton>(this, "PushButton1", "Add");
    auto* remove = Make<QPushButton>(this, "PushButton2", "Delete");
    auto* update = Make<QPushButton>(this, "PushButton3", "Update");
    for (QPushButton* button : {add, remove, update}) {
        button->setFont(ArialBold(11.25));
        button->setAutoDefault(false);
    }
    connect(add, &QPushButton::clicked, this, &Form4::PushButton1_Click);
    connect(remove, &QPushButton::clicked, this, &Form4::PushButton2_Click);
    connect(update, &QPushButton::clicked, this, &Form4::PushButton3_Click);

    PlaceControls(*this, kPlaces);
    hover().handOver({add, remove, update});
    hover().arrowOver({this, ListView1->viewport(), header});
}

void Form4::Form_Load()
{
    ErrorTrap trap(m_services.prompts, QStringLiteral("Form4.Form_Load"));
    trap(100, [&] { PrepareDialog(*this, m_services.paths); });
    trap(102, [&] {
        QStringList headings;
        for (const Column& column : kColumns)
            headings << QString::fromLatin1(column.heading);
        ListView1->setHeaderLabels(headings);
    });
    trap(104, [&] {
        for (int i = 0; i < int(std::size(kColumns)); ++i)
            ListView1->setColumnWidth(i, Pixels(kColumns[i].twips));
    });
    trap(106, [&] { fillList(); });
}

void Form4::fillList()
{
    ListView1->clear();
    m_store.forEachEventByTitle([this](const EventRecord& event) {
        auto* row = new QTreeWidgetItem(ListView1, EventRowTexts(event));
        row->setToolTip(2, DisplayText(event.description));
    });
}

QString Form4::selectedId() const
{
    const QList<QTreeWidgetItem*> selected = ListView1->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text(0);
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

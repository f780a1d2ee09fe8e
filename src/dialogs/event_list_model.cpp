#include "event_list_model.h"

#include "calendar/dates.h"
#include "ui/window_kit.h"

#include <QLocale>

#include <limits>

namespace {

constexpr int kColumnCount = int(std::size(EventListModel::kColumns));
static_assert(kColumnCount == kEventColumnCount, "one list column for each column of the table");

QString NumberText(NumberValue value)
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

QString TypeText(NumberValue timetype)
{
    if (timetype == int(TimeType::ByDate))
        return QStringLiteral("By Date");
    if (timetype == int(TimeType::ByDayOfWeek))
        return QStringLiteral("By Day of Week");
    return {};
}

QString ConsistancyText(NumberValue consistancy)
{
    static const char* const names[] = {"Once", "Weekly", "Monthly", "Annually"};
    if (consistancy && *consistancy >= 1 && *consistancy <= 4)
        return QString::fromLatin1(names[*consistancy - 1]);
    return {};
}

QString MonthText(NumberValue month)
{
    if (month && *month >= 1 && *month <= 12)
        return QLocale().standaloneMonthName(*month, QLocale::LongFormat);
    return {};
}

// A cell of one of the nine number columns: a code or a month by its name, a number as it is.
QString NumberCellText(const EventRecord& event, const EventColumn& column)
{
    const NumberValue value = event.*column.number;
    if (column.number == &EventRecord::timetype)
        return TypeText(value);
    if (column.number == &EventRecord::consistancy)
        return ConsistancyText(value);
    if (column.number == &EventRecord::eventmonth)
        return MonthText(value);
    if (column.number == &EventRecord::eventweekday)
        return value ? WeekdayNameOf(*value) : QString();
    if (column.number == &EventRecord::warnevent)
        return value == 1 ? QStringLiteral("Yes") : QStringLiteral("No");
    return NumberText(value);
}

} // namespace

int EventListModel::rowCount(const QModelIndex& parent) const
{
    // A view asks a table for the children of its cells: there are none.
    return parent.isValid() ? 0 : int(qMin(m_rows.size(), qsizetype(std::numeric_limits<int>::max())));
}

int EventListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant EventListModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const int row = index.row();
    if (role == Qt::AccessibleTextRole && index.column() > 0) {
        // A screen reader reads a row cell by cell: each with its column's name.
        return QStringLiteral("%1: %2").arg(QLatin1String(kColumns[index.column()].heading),
                                            data(index, Qt::DisplayRole).toString());
    }
    if (role == Qt::ToolTipRole && kEventColumns[index.column()].text == &EventRecord::description)
        return kit::DisplayText(m_rows.description(row));
    if (role != Qt::DisplayRole)
        return {};
    const EventColumn& column = kEventColumns[index.column()]; // the list shows the table's columns
    switch (column.type) {
    case ColumnType::Id:
        return QString::number(m_rows.id(row));
    case ColumnType::Text:
        return column.text == &EventRecord::title ? m_rows.title(row) : DescriptionOnOneLine(m_rows.description(row));
    case ColumnType::Number:
        return NumberCellText(m_rows.numbers(row), column);
    }
    return {};
}

QVariant EventListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= kColumnCount)
        return {};
    return QString::fromLatin1(kColumns[section].heading);
}

Qt::ItemFlags EventListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
}

void EventListModel::reset(EventTable rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

#include "event_list_model.h"

#include "calendar/dates.h"
#include "ui/window_kit.h"

#include <QLocale>

#include <limits>

namespace {

constexpr int kColumnCount = int(std::size(EventListModel::kColumns));

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

// The cells made of the row's numbers: columns 3 .. 11.
QString NumberCellText(const EventRecord& event, int column)
{
    switch (column) {
    case 3:
        return TypeText(event.timetype);
    case 4:
        return ConsistancyText(event.consistancy);
    case 5:
        return MonthText(event.eventmonth);
    case 6:
        return NumberText(event.eventday);
    case 7:
        return NumberText(event.eventyear);
    case 8:
        return NumberText(event.eventweekdate);
    case 9:
        return event.eventweekday ? WeekdayNameOf(*event.eventweekday) : QString();
    case 10:
        return event.warnevent == 1 ? QStringLiteral("Yes") : QStringLiteral("No");
    case 11:
        return NumberText(event.daysbefore);
    }
    return {};
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
    if (role == Qt::ToolTipRole && index.column() == 2)
        return kit::DisplayText(m_rows.description(row));
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case 0:
        return QString::number(m_rows.id(row));
    case 1:
        return m_rows.title(row);
    case 2:
        return DescriptionOnOneLine(m_rows.description(row));
    }
    return NumberCellText(m_rows.numbers(row), index.column());
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

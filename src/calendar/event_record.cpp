#include "event_record.h"

#include "occurrence.h"

#include <QHash>

bool UsesColumn(const EventRecord& e, const EventColumn& column)
{
    if (column.type != ColumnType::Number)
        return column.type == ColumnType::Text;
    const NumberValue EventRecord::*member = column.number;
    if (member == &EventRecord::timetype || member == &EventRecord::consistancy || member == &EventRecord::warnevent)
        return true;
    if (member == &EventRecord::daysbefore)
        return e.warnevent == 1;

    const bool byDate = e.is(TimeType::ByDate);
    const bool byWeekday = e.is(TimeType::ByDayOfWeek);
    const bool once = e.is(Consistancy::Once);
    const bool weekly = e.is(Consistancy::Weekly);
    const bool annually = e.is(Consistancy::Annually);
    if (!(byDate || byWeekday) || !(once || weekly || annually || e.is(Consistancy::Monthly)))
        return true; // a kind nobody knows: every value may matter to someone
    if (byDate && weekly)
        return false; // never occurs, whatever its date says
    if (member == &EventRecord::eventmonth)
        return once || annually;
    if (member == &EventRecord::eventyear)
        return once;
    if (member == &EventRecord::eventday)
        return byDate;
    if (member == &EventRecord::eventweekday)
        return byWeekday;
    return byWeekday && !weekly; // eventweekdate
}

namespace {

// Line breaks as LF alone: CR LF (typed in the program on another system, written by a tool)
// and LF (iCalendar's) are the same break.
QString lineBreaksAsLf(const QString& text)
{
    if (!text.contains(u'\r'))
        return text;
    QString lf = text;
    lf.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    lf.replace(u'\r', u'\n');
    return lf;
}

// Whether every column the kind of `e` uses holds a whole number.
bool comparable(const EventRecord& e)
{
    for (const EventColumn& column : kNumberColumns) {
        if (!(e.*column.number).has_value() && UsesColumn(e, column))
            return false;
    }
    return true;
}

// The one day of a once-only event, given by date or as the n-th weekday of its month;
// invalid for any other event, or one that never occurs.
QDate onceDay(const EventRecord& e)
{
    if (!e.is(Consistancy::Once) || !(e.is(TimeType::ByDate) || e.is(TimeType::ByDayOfWeek)) || !e.eventmonth ||
        !e.eventyear || *e.eventmonth < 1 || *e.eventmonth > 12 || *e.eventyear < 1 || *e.eventyear > 9999)
        return {};
    const QVarLengthArray<int, 5> days = OccurrenceDays(e, MonthFrame(*e.eventmonth, *e.eventyear));
    return days.isEmpty() ? QDate() : QDate(*e.eventyear, *e.eventmonth, days.front());
}

bool sameWarning(const EventRecord& a, const EventRecord& b)
{
    return a.warnevent == b.warnevent && (a.warnevent != 1 || a.daysbefore == b.daysbefore);
}

} // namespace

bool SameEvent(const EventRecord& a, const EventRecord& b)
{
    if (a.title != b.title || lineBreaksAsLf(a.description) != lineBreaksAsLf(b.description) || !comparable(a) ||
        !comparable(b))
        return false;
    // A day given by date or as "the second Tuesday" is the same day (an export writes dates).
    const QDate day = onceDay(a);
    if (day.isValid() || onceDay(b).isValid())
        return day == onceDay(b) && sameWarning(a, b);
    // The codes come first in the table, so both kinds agree before any date field is compared.
    for (const EventColumn& column : kNumberColumns) {
        const bool used = UsesColumn(a, column);
        if (used != UsesColumn(b, column) || (used && a.*column.number != b.*column.number))
            return false;
    }
    return true;
}

size_t SameEventHash(const EventRecord& e, size_t seed)
{
    seed = qHashMulti(seed, e.title, lineBreaksAsLf(e.description));
    if (const QDate day = onceDay(e); day.isValid())
        return qHashMulti(seed, day.toJulianDay(), e.warnevent.value_or(0), e.warnevent == 1 ? *e.daysbefore : 0);
    for (const EventColumn& column : kNumberColumns) {
        if (UsesColumn(e, column))
            seed = qHashMulti(seed, column.position, (e.*column.number).value_or(0));
    }
    return seed;
}

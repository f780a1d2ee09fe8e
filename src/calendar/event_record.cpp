#include "event_record.h"

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

// Whether every column the kind of `e` uses holds a whole number.
bool comparable(const EventRecord& e)
{
    for (const EventColumn& column : kNumberColumns) {
        if (!(e.*column.number).has_value() && UsesColumn(e, column))
            return false;
    }
    return true;
}

} // namespace

bool SameEvent(const EventRecord& a, const EventRecord& b)
{
    if (a.title != b.title || a.description != b.description || !comparable(a) || !comparable(b))
        return false;
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
    seed = qHashMulti(seed, e.title, e.description);
    for (const EventColumn& column : kNumberColumns) {
        if (UsesColumn(e, column))
            seed = qHashMulti(seed, column.position, (e.*column.number).value_or(0));
    }
    return seed;
}

#include "detailed_days.h"

#include <QDateTime>
#include <QTimeZone>

#include <algorithm>
#include <limits>
#include <optional>

namespace {

constexpr qint64 kDay = 24 * 3600;

// The offset from UTC here at `seconds` since the epoch. The zone is looked up once (the C
// library's local time looks at the system's zone files on every call), and the offset is
// kept for the stretch between two changes of it, where nearly every start of a drawing lies.
qint64 offsetHere(qint64 seconds)
{
    static const QTimeZone here = QTimeZone::systemTimeZone();
    // A zone Qt cannot name (TZ given as a path, say) is the C library's to convert.
    if (!here.isValid())
        return QDateTime::fromSecsSinceEpoch(seconds).offsetFromUtc();
    struct Stretch
    {
        qint64 from = 1, to = 0; // [from, to), seconds since the epoch
        qint64 offset = 0;
    };
    static Stretch known;
    if (seconds >= known.from && seconds < known.to)
        return known.offset;
    const QDateTime at = QDateTime::fromSecsSinceEpoch(seconds, QTimeZone::utc());
    known.offset = here.offsetFromUtc(at);
    const QTimeZone::OffsetData before = here.previousTransition(at.addSecs(1));
    const QTimeZone::OffsetData after = here.nextTransition(at);
    // No change before or after: in a zone without changes the offset holds that way for ever;
    // in another, Qt may know none near the first or last it lists, so this one is not kept.
    const bool constant = !here.hasTransitions();
    known.from = before.atUtc.isValid() ? before.atUtc.toSecsSinceEpoch()
                 : constant             ? std::numeric_limits<qint64>::min()
                                        : seconds;
    known.to = after.atUtc.isValid() ? after.atUtc.toSecsSinceEpoch()
               : constant            ? std::numeric_limits<qint64>::max()
                                     : seconds;
    return known.offset;
}

// The wall-clock time of `seconds` since the epoch, shifted by `offset`, as a UTC value so
// that no later step converts it again.
QDateTime wallClock(qint64 seconds, qint64 offset)
{
    const qint64 local = seconds + offset;
    const qint64 day = local >= 0 ? local / kDay : (local - kDay + 1) / kDay;
    constexpr qint64 kEpochDay = 2440588; // 1970-01-01
    return QDateTime(QDate::fromJulianDay(kEpochDay + day), QTime(0, 0).addSecs(int(local - day * kDay)),
                     QTimeZone::utc());
}

// The days one start touches here: from `day` (at `time`) to `end` (until `ends`).
struct Touched
{
    QDate day;
    QDate end;
    QTime time;
    QTime ends; // on the last day, when it ends there before midnight
};

// None when it lies far from [first, last].
std::optional<Touched> touched(const DetailedStart& s, QDate first, QDate last)
{
    QDate day;
    QDate end;
    QTime time;
    QTime ends;
    if (s.kind == DetailedStart::Kind::Day) {
        day = QDate::fromJulianDay(s.begins);
        end = day.addDays(s.length - 1);
    } else {
        // Two zones are at most 26 hours apart: a start two days outside the days asked for, as
        // written, touches none of them here, and costs no conversion.
        if (s.writtenDay > last.toJulianDay() + 2 || s.writtenDay + s.length / kDay + 3 < first.toJulianDay())
            return std::nullopt;
        const auto at = [&](qint64 seconds) {
            return wallClock(seconds, s.kind == DetailedStart::Kind::Instant ? offsetHere(seconds) : 0);
        };
        const QDateTime start = at(s.begins);
        const QDateTime stop = at(s.begins + s.length);
        day = start.date();
        time = start.time();
        // An end at midnight does not touch the day it begins.
        end = s.length > 0 && stop.time() == QTime(0, 0) ? stop.date().addDays(-1) : stop.date();
        end = std::max(end, day);
        if (end == stop.date())
            ends = stop.time();
    }
    return Touched{day, end, time, ends};
}

void addDays(const DetailedStart& s, QDate first, QDate last, QList<DetailedDay>& out)
{
    const std::optional<Touched> t = touched(s, first, last);
    if (!t)
        return;
    const bool timed = s.kind != DetailedStart::Kind::Day;
    for (QDate d = std::max(t->day, first); d <= t->end && d <= last; d = d.addDays(1)) {
        const bool goesOn = timed && d != t->day;
        out.append({d, d == t->day ? t->time : QTime(), s.title, goesOn, goesOn && d == t->end ? t->ends : QTime()});
    }
}

} // namespace

std::pair<QDate, QDate> DaysTouched(const DetailedStart& start)
{
    const std::optional<Touched> t =
        touched(start, QDate::fromJulianDay(start.writtenDay - 2), QDate::fromJulianDay(start.writtenDay + 2));
    return t ? std::pair(t->day, std::max(t->day, t->end)) : std::pair(QDate(), QDate());
}

QList<DetailedDay> DetailedDays(const QList<DetailedStart>& starts, QDate first, QDate last)
{
    QList<DetailedDay> out;
    if (!first.isValid() || !last.isValid() || last < first)
        return out;
    for (const DetailedStart& s : starts)
        addDays(s, first, last, out);
    std::stable_sort(out.begin(), out.end(), [](const DetailedDay& a, const DetailedDay& b) {
        return a.day != b.day ? a.day < b.day : a.start < b.start;
    });
    return out;
}

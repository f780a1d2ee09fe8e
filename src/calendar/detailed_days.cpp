#include "detailed_days.h"

#include <QDateTime>
#include <QTimeZone>

#include <algorithm>

namespace {

// The wall-clock time here at `seconds` since the epoch, as a UTC value so that no later
// step converts it again. The zone is looked up once: the C library's local time looks at
// the system's zone files on every call.
QDateTime localAt(qint64 seconds)
{
    static const QTimeZone here = QTimeZone::systemTimeZone();
    const QDateTime local = QDateTime::fromSecsSinceEpoch(seconds, here);
    return QDateTime(local.date(), local.time(), QTimeZone::utc());
}

void addDays(const DetailedStart& s, QDate first, QDate last, QList<DetailedDay>& out)
{
    QDate day;
    QDate end;
    QTime time;
    if (s.kind == DetailedStart::Kind::Day) {
        day = QDate::fromJulianDay(s.begins);
        end = day.addDays(s.length - 1);
    } else {
        const auto at = [&](qint64 seconds) {
            return s.kind == DetailedStart::Kind::Instant ? localAt(seconds)
                                                          : QDateTime::fromSecsSinceEpoch(seconds, QTimeZone::utc());
        };
        const QDateTime start = at(s.begins);
        const QDateTime stop = at(s.begins + s.length);
        day = start.date();
        time = start.time();
        // An end at midnight does not touch the day it begins.
        end = s.length > 0 && stop.time() == QTime(0, 0) ? stop.date().addDays(-1) : stop.date();
        end = std::max(end, day);
    }
    for (QDate d = std::max(day, first); d <= end && d <= last; d = d.addDays(1))
        out.append({d, d == day ? time : QTime(), s.title});
}

} // namespace

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

#include "due.h"

#include <QSet>

#include <algorithm>

QList<DueReminder> DueAlarms(const EventSource& events, const QDateTime& after, const QDateTime& upTo, QDateTime* next)
{
    QList<std::pair<QDateTime, DueReminder>> found;
    if (next)
        *next = QDateTime();
    if (!after.isValid() || !upTo.isValid() || upTo < after)
        return {};
    const QDateTime horizon = upTo.addDays(1);
    // An alarm goes off at most a week before its start: the days asked for reach that far.
    ForEachOccurrence(
        events, {after.date(), horizon.date().addDays(8), after.date(), {}, true}, [&](const Occurrence& o) {
            if (!o.start.isValid())
                return;
            const QDateTime start(o.day, o.start);
            for (qint64 lead : o.alarmLeads) {
                const QDateTime at = start.addSecs(-lead);
                if (at > after && at <= horizon)
                    found.append({at, {o.event->id, o.day, ReminderKind::Alarm, ShownTitle(o), o.event->description}});
            }
        });
    std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    QList<DueReminder> due;
    for (auto& [at, reminder] : found) {
        if (at <= upTo)
            due.append(std::move(reminder));
        else if (next && !next->isValid())
            *next = at;
    }
    return due;
}

DueFindings FindDue(const EventSource& events, QDate today)
{
    DueFindings findings;
    // Each event is asked about the days its warning reaches, decided on its numbers alone.
    const auto reach = [&](const EventRecord& event) {
        if (event.warnevent != 1)
            return today;
        if (event.daysbefore && *event.daysbefore >= 0 && *event.daysbefore <= kMaxDaysBefore)
            return today.addDays(*event.daysbefore);
        ++findings.ignoredWarnings;
        return today;
    };
    QSet<std::pair<qint64, qint64>> reminded; // two starts on one day are one reminder
    ForEachOccurrence(events, {today, today.addDays(kMaxDaysBefore), today, reach}, [&](const Occurrence& o) {
        if (reminded.contains({o.event->id, o.day.toJulianDay()}))
            return;
        reminded.insert({o.event->id, o.day.toJulianDay()});
        findings.due.append({o.event->id, o.day, o.day == today ? ReminderKind::Today : ReminderKind::Ahead,
                             ShownTitle(o), o.event->description});
    });
    std::stable_sort(findings.due.begin(), findings.due.end(),
                     [](const DueReminder& a, const DueReminder& b) { return a.day < b.day; });
    return findings;
}

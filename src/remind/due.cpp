#include "due.h"

#include "ical/event_details.h"

#include <algorithm>

ReminderWindow::ReminderWindow(QDate today) : m_today(today.toJulianDay())
{
    const QDate last = today.addDays(kMaxDaysBefore);
    for (QDate first(today.year(), today.month(), 1); first <= last; first = first.addMonths(1))
        m_months.push_back({MonthFrame::of(first.month(), first.year()), first.toJulianDay()});
}

bool ReminderWindow::collect(const EventRecord& event, QList<DueReminder>& due) const
{
    bool usable = true;
    int daysBefore = 0;
    if (event.warnevent == 1) {
        if (event.daysbefore && *event.daysbefore >= 0 && *event.daysbefore <= kMaxDaysBefore)
            daysBefore = *event.daysbefore;
        else
            usable = false;
    }
    const qint64 last = m_today + daysBefore;
    for (const Month& month : m_months) {
        if (month.firstDay > last)
            break;
        for (int day : OccurrenceDays(event, month.frame)) {
            const qint64 julian = month.firstDay + day - 1;
            if (julian < m_today || julian > last)
                continue;
            due.append({event.id,
                        QDate::fromJulianDay(julian),
                        julian == m_today ? ReminderKind::Today : ReminderKind::Ahead,
                        {},
                        {}});
        }
    }
    return usable;
}

QList<DueReminder> DueAlarms(const EventSource& events, const QDateTime& after, const QDateTime& upTo, QDateTime* next)
{
    QList<std::pair<QDateTime, DueReminder>> found;
    const QDateTime horizon = upTo.addDays(1);
    // An alarm goes off at most a week before its start: the days asked for reach that far.
    events.forEachDetailedEvent(
        after.date(), horizon.date().addDays(8),
        [&](const EventRecord& event, const EventDetails* details, const DetailsSpan&, const QList<DetailedDay>&) {
            if (!details)
                return;
            for (const EventDetails::Alarm& alarm : details->alarmsWithin(after, horizon))
                found.append({alarm.at,
                              {event.id, alarm.occurrence.day, ReminderKind::Alarm,
                               ShownTitle(alarm.occurrence.title.isEmpty() ? event.title : alarm.occurrence.title,
                                          alarm.occurrence.start),
                               event.description}});
        },
        true);
    std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    QList<DueReminder> due;
    if (next)
        *next = QDateTime();
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
    const ReminderWindow window(today);
    DueFindings findings;
    // Decided on the numbers alone, so that the texts are read only for the rows that are due.
    qsizetype firstOfRow = 0;
    events.forEachEventWhere(
        [&](const EventRecord& event) {
            firstOfRow = findings.due.size();
            if (!window.collect(event, findings.due))
                ++findings.ignoredWarnings;
            return findings.due.size() > firstOfRow;
        },
        [&](const EventRecord& event) {
            for (qsizetype i = firstOfRow; i < findings.due.size(); ++i) {
                findings.due[i].title = event.title;
                findings.due[i].description = event.description;
            }
        });
    // Events from other calendars warn at most kMaxWarningDays ahead, as the editor and an
    // import write the warning.
    constexpr int kMaxWarningDays = 9;
    events.forEachDetailedEvent(
        today, today.addDays(kMaxWarningDays),
        [&](const EventRecord& event, const EventDetails*, const DetailsSpan&, const QList<DetailedDay>& days) {
            QDate last;
            for (const DetailedDay& d : days) {
                const qint64 ahead = today.daysTo(d.day);
                const bool warned = event.warnevent == 1 && ahead >= 1 && ahead <= event.daysbefore.value_or(0);
                if (d.day == last || (ahead != 0 && !warned))
                    continue;
                last = d.day;
                findings.due.append({event.id, d.day, ahead == 0 ? ReminderKind::Today : ReminderKind::Ahead,
                                     ShownTitle(d.title.isEmpty() ? event.title : d.title, d.start),
                                     event.description});
            }
        });
    std::stable_sort(findings.due.begin(), findings.due.end(),
                     [](const DueReminder& a, const DueReminder& b) { return a.day < b.day; });
    return findings;
}

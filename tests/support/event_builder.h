#pragma once

// The one way the tests write an event, as a user would say it:
//   AnEvent("Dentist").once(QDate(2021, 11, 10))       by date, once
//   AnEvent("Rent").id(2).monthlyOn(10)                 by date, on the 10th of every month
//   AnEvent("Party").annuallyOn(12, 25)                 by date, every 25 December
//   AnEvent("Gym").weekly(kMonday)                      every Monday
//   AnEvent("Vote").once(2, kTuesday, 11, 2021)         the 2nd Tuesday of November 2021
//   AnEvent("Council").monthly(2, kTuesday)             the 2nd Tuesday of every month
//   AnEvent("Dinner").annually(4, kThursday, 11)        the 4th Thursday of every November
// A column the kind does not use stays empty (NULL), the warning unticked; date() and week()
// fill such columns as a window may leave them, codes() and set() write any value, for the
// kinds and rows no window makes.

#include "calendar/event_record.h"
#include "event_codes.h"

#include <QDate>
#include <QList>

#include <stdexcept>

class AnEvent
{
public:
    explicit AnEvent(const QString& title = QStringLiteral("Event"))
    {
        m_event.title = title;
        m_event.description = title + QStringLiteral(" notes");
        m_event.warnevent = 0;
        m_event.daysbefore = 0;
    }

    AnEvent& id(qint64 id) { return m_event.id = id, *this; }
    AnEvent& description(const QString& text) { return m_event.description = text, *this; }
    /// "Warn you of event", `daysBefore` days before; a `ticked` of 0 keeps the days unticked.
    AnEvent& warn(int daysBefore, NumberValue ticked = 1)
    {
        m_event.warnevent = ticked;
        m_event.daysbefore = daysBefore;
        return *this;
    }

    AnEvent& once(QDate date) { return codes(kByDate, kOnce).date(date.month(), date.day(), date.year()); }
    AnEvent& monthlyOn(NumberValue day) { return codes(kByDate, kMonthly).set(&EventRecord::eventday, day); }
    AnEvent& annuallyOn(NumberValue month, NumberValue day)
    {
        return codes(kByDate, kAnnually).set(&EventRecord::eventmonth, month).set(&EventRecord::eventday, day);
    }

    /// Weekdays Sunday = 1 .. Saturday = 7; the n-th 1 .. 5; {} leaves a column empty.
    AnEvent& weekly(NumberValue weekday)
    {
        return codes(kByDayOfWeek, kWeekly).set(&EventRecord::eventweekday, weekday);
    }
    AnEvent& once(NumberValue nth, NumberValue weekday, NumberValue month, NumberValue year)
    {
        return monthly(nth, weekday)
            .codes(kByDayOfWeek, kOnce)
            .set(&EventRecord::eventmonth, month)
            .set(&EventRecord::eventyear, year);
    }
    AnEvent& monthly(NumberValue nth, NumberValue weekday) { return codes(kByDayOfWeek, kMonthly).week(nth, weekday); }
    AnEvent& annually(NumberValue nth, NumberValue weekday, NumberValue month)
    {
        return monthly(nth, weekday).codes(kByDayOfWeek, kAnnually).set(&EventRecord::eventmonth, month);
    }

    /// The month, day and year columns as given, a date or not, the codes left as they are.
    AnEvent& date(NumberValue month, NumberValue day, NumberValue year)
    {
        return set(&EventRecord::eventmonth, month).set(&EventRecord::eventday, day).set(&EventRecord::eventyear, year);
    }
    /// The n-th and weekday columns as given, the codes left as they are.
    AnEvent& week(NumberValue nth, NumberValue weekday)
    {
        return set(&EventRecord::eventweekdate, nth).set(&EventRecord::eventweekday, weekday);
    }

    AnEvent& codes(NumberValue timetype, NumberValue consistancy)
    {
        m_event.timetype = timetype;
        m_event.consistancy = consistancy;
        return *this;
    }
    AnEvent& set(NumberValue EventRecord::*column, NumberValue value) { return m_event.*column = value, *this; }

    operator EventRecord() const { return m_event; }
    [[nodiscard]] const EventRecord& record() const { return m_event; }

private:
    EventRecord m_event;
};

using Events = QList<EventRecord>;

/// Every row of `source`, in its order.
inline Events AllEvents(const EventSource& source)
{
    Events rows;
    source.forEachEvent([&](const EventRecord& r) { rows.append(r); });
    return rows;
}

// The event table as the engine sees it: rows in the order given. A source can be
// made to fail before a given row, as the database does when it becomes unreachable.
class ListSource final : public EventSource
{
public:
    explicit ListSource(Events rows, int failBeforeRow = -1) : m_rows(std::move(rows)), m_failBeforeRow(failBeforeRow)
    {}
    /// An event from another calendar as a store hands it on: its row and its starts.
    struct Detailed
    {
        EventRecord row;
        DetailsSpan span;
        QList<DetailedStart> starts;
        QList<qint64> alarmLeads = {};
    };
    ListSource(Events rows, QList<Detailed> detailed) : m_rows(std::move(rows)), m_detailed(std::move(detailed)) {}

    void forEachEvent(const std::function<void(const EventRecord&)>& visit) const override
    {
        for (int row = 0; row < m_rows.size(); ++row) {
            if (row == m_failBeforeRow)
                throw std::runtime_error("disk I/O error");
            visit(m_rows[row]);
        }
        if (m_failBeforeRow == m_rows.size())
            throw std::runtime_error("disk I/O error");
    }

    void forEachDetailedEvent(QDate first, QDate last, const Reach& reach, const DetailedVisit& visit) const override
    {
        for (const Detailed& d : m_detailed) {
            const QList<DetailedDay> days = DetailedDays(d.starts, first, reach ? std::min(last, reach(d.row)) : last);
            if (!days.isEmpty())
                visit({d.row, d.span, days, d.alarmLeads});
        }
    }

private:
    Events m_rows;
    QList<Detailed> m_detailed;
    int m_failBeforeRow = -1;
};

#pragma once

// The one way the tests write an event, as a user would say it:
//   Event("Dentist").once(QDate(2021, 11, 10))       by date, once
//   Event("Rent").id(2).monthlyOn(10)                 by date, on the 10th of every month
//   Event("Party").annuallyOn(12, 25)                 by date, every 25 December
//   Event("Gym").weekly(kMonday)                      every Monday
//   Event("Vote").once(2, kTuesday, 11, 2021)         the 2nd Tuesday of November 2021
//   Event("Council").monthly(2, kTuesday)             the 2nd Tuesday of every month
//   Event("Dinner").annually(4, kThursday, 11)        the 4th Thursday of every November
// A column the kind does not use stays empty (NULL), the warning unticked; codes() and
// set() write any value, for the kinds and rows no window makes.

#include "calendar/event_record.h"
#include "event_codes.h"

#include <QDate>

class Event
{
public:
    explicit Event(const QString& title = QStringLiteral("Event"))
    {
        m_event.title = title;
        m_event.description = title + QStringLiteral(" notes");
        m_event.warnevent = 0;
        m_event.daysbefore = 0;
    }

    Event& id(qint64 id) { return m_event.id = id, *this; }
    Event& description(const QString& text) { return m_event.description = text, *this; }
    /// "Warn you of event", `daysBefore` days before.
    Event& warn(int daysBefore)
    {
        m_event.warnevent = 1;
        m_event.daysbefore = daysBefore;
        return *this;
    }

    Event& once(QDate date)
    {
        codes(kByDate, kOnce);
        return set(&EventRecord::eventmonth, date.month())
            .set(&EventRecord::eventday, date.day())
            .set(&EventRecord::eventyear, date.year());
    }
    Event& monthlyOn(int day) { return codes(kByDate, kMonthly).set(&EventRecord::eventday, day); }
    Event& annuallyOn(int month, int day)
    {
        return codes(kByDate, kAnnually).set(&EventRecord::eventmonth, month).set(&EventRecord::eventday, day);
    }

    /// Weekdays Sunday = 1 .. Saturday = 7; the n-th 1 .. 5.
    Event& weekly(int weekday) { return codes(kByDayOfWeek, kWeekly).set(&EventRecord::eventweekday, weekday); }
    Event& once(int nth, int weekday, int month, int year)
    {
        return monthly(nth, weekday)
            .codes(kByDayOfWeek, kOnce)
            .set(&EventRecord::eventmonth, month)
            .set(&EventRecord::eventyear, year);
    }
    Event& monthly(int nth, int weekday)
    {
        return codes(kByDayOfWeek, kMonthly)
            .set(&EventRecord::eventweekdate, nth)
            .set(&EventRecord::eventweekday, weekday);
    }
    Event& annually(int nth, int weekday, int month)
    {
        return monthly(nth, weekday).codes(kByDayOfWeek, kAnnually).set(&EventRecord::eventmonth, month);
    }

    Event& codes(NumberValue timetype, NumberValue consistancy)
    {
        m_event.timetype = timetype;
        m_event.consistancy = consistancy;
        return *this;
    }
    Event& set(NumberValue EventRecord::*column, NumberValue value) { return m_event.*column = value, *this; }

    operator EventRecord() const { return m_event; }
    [[nodiscard]] const EventRecord& record() const { return m_event; }

private:
    EventRecord m_event;
};

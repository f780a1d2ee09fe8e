#include "event_generator.h"

#include "calendar/dates.h"
#include "store/event_rows.h"
#include "store/event_store.h"

#include <QTemporaryDir>

#include <array>
#include <map>
#include <random>

namespace {

constexpr std::array kNames = {"Mom",  "Dad",   "Anna",   "Zoë",   "José",  "Björn", "Priya",
                               "Liam", "Grace", "O'Neil", "Chloé", "Kenji", "Fatima"};
constexpr std::array kAppointments = {"Dentist appointment",  "Team meeting",     "Pay rent",       "Book club",
                                      "Yoga class",           "Car service",      "Choir practice", "Trash pickup",
                                      "Parent-teacher night", "Quarterly review", "Recycling day",  "Water the plants"};
constexpr std::array kPlaces = {"the office", "Room 4", "the community hall", "Café Lumière", "home"};

class Dice
{
public:
    explicit Dice(unsigned seed) : m_engine(seed) {}
    int between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_engine); }
    template <typename List> QString pick(const List& list)
    {
        return QString::fromUtf8(list[std::size_t(between(0, int(list.size()) - 1))]);
    }

private:
    std::mt19937 m_engine;
};

QString titleFor(Dice& dice)
{
    switch (dice.between(0, 3)) {
    case 0:
        return QStringLiteral("%1's birthday").arg(dice.pick(kNames));
    case 1:
        return QStringLiteral("Call %1").arg(dice.pick(kNames));
    default:
        return dice.pick(kAppointments);
    }
}

QString descriptionFor(Dice& dice)
{
    const int hour = dice.between(7, 20);
    const int minute = dice.between(0, 3) * 15;
    QString text =
        QStringLiteral("At %1, %2:%3.").arg(dice.pick(kPlaces)).arg(hour).arg(minute, 2, 10, QLatin1Char('0'));
    if (dice.between(0, 2) == 0)
        text += QStringLiteral("\r\nBring the papers for %1.").arg(dice.pick(kNames));
    return text;
}

// The values the editor would store for one event of the given kind; the fields the
// kind does not use keep plausible leftovers, as the editor's disabled fields do.
EventRecord eventOfKind(int timetype, int consistancy, Dice& dice)
{
    EventRecord f;
    f.title = titleFor(dice);
    f.description = descriptionFor(dice);
    f.timetype = timetype;
    f.consistancy = consistancy;
    f.eventyear = dice.between(2018, 2030);
    f.eventmonth = dice.between(1, 12);
    f.eventday = dice.between(1, DaysInMonth(*f.eventmonth, *f.eventyear));
    f.eventweekday = dice.between(1, 7);
    f.eventweekdate = dice.between(1, 10) == 1 ? 5 : dice.between(1, 4);
    f.warnevent = dice.between(0, 1);
    f.daysbefore = dice.between(0, 14);
    return f;
}

} // namespace

void GenerateEvents(const QString& fileName, int count, unsigned seed, bool distinctTitles)
{
    CreateEventDatabase(fileName);
    const sqlite::Connection db(fileName, sqlite::Connection::Mode::ReadWrite);
    sqlite::Transaction transaction(db);
    sqlite::Statement insert(db, rows::statements().insert);
    Dice dice(seed);
    for (int i = 0; i < count; ++i) {
        // Eight kinds in turn: by date, then by weekday, each once, weekly, monthly, annually.
        rows::bindValues(insert, eventOfKind(1 + (i / 4) % 2, 1 + i % 4, dice));
        insert.run();
        insert.reset();
    }
    if (distinctTitles)
        db.exec("update tblEvents set title = title || ' ' || (id * 7919 % 100003)");
    transaction.commit();
}

namespace {

// The zones of the timed events, as phones write them: a TZID and its VTIMEZONE in the same
// text, with the rules of recent years only. Most in Europe/Berlin, some in other zones (one
// without summer time, one in the south), some in UTC and some floating (no zone at all).
struct Zone
{
    const char* id; // empty: UTC; null: floating
    const char* vtimezone;
};

constexpr char kBerlin[] = "BEGIN:VTIMEZONE\r\nTZID:Europe/Berlin\r\nBEGIN:DAYLIGHT\r\nTZOFFSETFROM:+0100\r\n"
                           "RRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU\r\nDTSTART:19810329T020000\r\nTZNAME:CEST\r\n"
                           "TZOFFSETTO:+0200\r\nEND:DAYLIGHT\r\nBEGIN:STANDARD\r\nTZOFFSETFROM:+0200\r\n"
                           "RRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU\r\nDTSTART:19961027T030000\r\nTZNAME:CET\r\n"
                           "TZOFFSETTO:+0100\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n";
constexpr char kNewYork[] = "BEGIN:VTIMEZONE\r\nTZID:America/New_York\r\nBEGIN:DAYLIGHT\r\nTZOFFSETFROM:-0500\r\n"
                            "RRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=2SU\r\nDTSTART:20070311T020000\r\nTZNAME:EDT\r\n"
                            "TZOFFSETTO:-0400\r\nEND:DAYLIGHT\r\nBEGIN:STANDARD\r\nTZOFFSETFROM:-0400\r\n"
                            "RRULE:FREQ=YEARLY;BYMONTH=11;BYDAY=1SU\r\nDTSTART:20071104T020000\r\nTZNAME:EST\r\n"
                            "TZOFFSETTO:-0500\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n";
constexpr char kSydney[] = "BEGIN:VTIMEZONE\r\nTZID:Australia/Sydney\r\nBEGIN:STANDARD\r\nTZOFFSETFROM:+1100\r\n"
                           "RRULE:FREQ=YEARLY;BYMONTH=4;BYDAY=1SU\r\nDTSTART:20080406T030000\r\nTZNAME:AEST\r\n"
                           "TZOFFSETTO:+1000\r\nEND:STANDARD\r\nBEGIN:DAYLIGHT\r\nTZOFFSETFROM:+1000\r\n"
                           "RRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=1SU\r\nDTSTART:20081005T020000\r\nTZNAME:AEDT\r\n"
                           "TZOFFSETTO:+1100\r\nEND:DAYLIGHT\r\nEND:VTIMEZONE\r\n";
constexpr char kTokyo[] = "BEGIN:VTIMEZONE\r\nTZID:Asia/Tokyo\r\nBEGIN:STANDARD\r\nTZOFFSETFROM:+0900\r\n"
                          "DTSTART:19510908T230000\r\nTZNAME:JST\r\nTZOFFSETTO:+0900\r\nEND:STANDARD\r\n"
                          "END:VTIMEZONE\r\n";
constexpr std::array<Zone, 10> kZones = {{{"Europe/Berlin", kBerlin},
                                          {"America/New_York", kNewYork},
                                          {"Europe/Berlin", kBerlin},
                                          {"", nullptr},
                                          {"Europe/Berlin", kBerlin},
                                          {"Australia/Sydney", kSydney},
                                          {"Europe/Berlin", kBerlin},
                                          {nullptr, nullptr},
                                          {"America/New_York", kNewYork},
                                          {"Asia/Tokyo", kTokyo}}};

// One event as a phone or another desktop makes it, as iCalendar text; in turn: one-off
// appointments at a time of day (six in ten), trips of several days, weekly courses with a
// COUNT and a gap, Monday-and-Wednesday classes until a date, fortnightly meetings without
// end, the last Friday of each month, a few days in a row, and yearly days. Each kind takes
// the zones in turn, by the event's group of 20; `utc` writes every time of day in UTC instead,
// and with `alarms` each timed one has an alarm a quarter of an hour before it.
QByteArray detailedEvent(int i, Dice& dice, QDate& start, bool utc, bool alarms)
{
    start = QDate(dice.between(2018, 2030), dice.between(1, 12), dice.between(1, 28));
    const QByteArray day = start.toString(u"yyyyMMdd").toLatin1();
    const QByteArray time = QStringLiteral("T%1%2")
                                .arg(dice.between(7, 20), 2, 10, QLatin1Char('0'))
                                .arg(dice.between(0, 3) * 15, 2, 10, QLatin1Char('0'))
                                .toLatin1() +
                            "00";
    const Zone zone = utc ? Zone{"", nullptr} : kZones[std::size_t(i / 20) % kZones.size()];
    // A time of day as the zone writes it, after the property's name.
    const auto at = [&](const QByteArray& date) {
        if (!zone.id)
            return ":" + date + time;
        return *zone.id ? ";TZID=" + QByteArray(zone.id) + ":" + date + time : ":" + date + time + "Z";
    };
    const QByteArray until = start.addMonths(3).toString(u"yyyyMMdd").toLatin1() + (zone.id ? "T235959Z" : "T235959");
    const QByteArray timed = "DTSTART" + at(day) + "\r\nDURATION:PT1H\r\n";
    QByteArray lines;
    bool allDay = false;
    switch (i % 20) {
    case 12:
    case 13:
        allDay = true;
        lines = "DTSTART;VALUE=DATE:" + day + "\r\nDURATION:P" + QByteArray::number(dice.between(2, 14)) + "D\r\n";
        break;
    case 14:
    case 15:
        lines = timed + "RRULE:FREQ=WEEKLY;COUNT=10\r\nEXDATE" +
                at(start.addDays(14).toString(u"yyyyMMdd").toLatin1()) + "\r\n";
        break;
    case 16:
        lines = timed + "RRULE:FREQ=WEEKLY;BYDAY=MO,WE;UNTIL=" + until + "\r\n";
        break;
    case 17:
        lines = timed + "RRULE:FREQ=WEEKLY;INTERVAL=2\r\n";
        break;
    case 18:
        lines = timed + "RRULE:FREQ=MONTHLY;BYDAY=-1FR\r\n";
        break;
    case 19:
        allDay = i % 40 != 19;
        lines = (allDay ? "DTSTART;VALUE=DATE:" + day + "\r\nRRULE:FREQ=YEARLY"
                        : timed + "RRULE:FREQ=DAILY;COUNT=" + QByteArray::number(dice.between(3, 30))) +
                "\r\n";
        break;
    default:
        lines = timed;
    }
    if (alarms && !allDay)
        lines += "BEGIN:VALARM\r\nACTION:DISPLAY\r\nDESCRIPTION:Reminder\r\nTRIGGER:-PT15M\r\nEND:VALARM\r\n";
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//bench//EN\r\n" +
           QByteArray(allDay || !zone.vtimezone ? "" : zone.vtimezone) + "BEGIN:VEVENT\r\nUID:bench-" +
           QByteArray::number(i) + "@example.org\r\nDTSTAMP:20261201T000000Z\r\nSUMMARY:" + titleFor(dice).toUtf8() +
           "\r\n" + lines + "END:VEVENT\r\nEND:VCALENDAR\r\n";
}

} // namespace

void AddDetailedEvents(const QString& fileName, int count, unsigned seed, QDate today, bool utc, bool alarms)
{
    Dice dice(seed);
    QList<Event> events;
    for (int i = 0; i < count; ++i) {
        QDate start;
        const QByteArray details = detailedEvent(i, dice, start, utc, alarms);
        // The row an import would store beside it: the nearest kind, here once on its first day.
        EventRecord row = eventOfKind(1, 1, dice);
        row.eventyear = start.year();
        row.eventmonth = start.month();
        row.eventday = start.day();
        std::variant<Event, QString> event = EventOf(row, details);
        if (const QString* why = std::get_if<QString>(&event))
            throw std::runtime_error(why->toStdString());
        events.append(std::get<Event>(std::move(event)));
    }
    EventStore store;
    store.open(fileName);
    store.keepDaysAround(today.isValid() ? today : QDate::currentDate());
    store.insertNew(events);
}

QString GeneratedDatabase(int count, bool distinctTitles, int detailed)
{
    static QTemporaryDir folder;
    static std::map<std::tuple<int, bool, int>, QString> files;
    const QString name = QStringLiteral("events-%1%2%3.mdb")
                             .arg(count)
                             .arg(distinctTitles ? "-distinct" : "")
                             .arg(detailed ? QStringLiteral("-%1-detailed").arg(detailed) : QString());
    auto [it, added] = files.try_emplace({count, distinctTitles, detailed}, folder.filePath(name));
    if (added) {
        GenerateEvents(it->second, count, 1, distinctTitles);
        if (detailed)
            AddDetailedEvents(it->second, detailed, 2, QDate(2024, 3, 20)); // the day the benchmarks draw
    }
    return it->second;
}

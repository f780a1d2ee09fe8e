// Events that other calendars make (times of day, several days, repeats with ends, gaps and
// moved occurrences): imported, stored and shown on the days they fall on, and written back.
#include "calendar/occurrence.h"
#include "ics/export.h"
#include "ics/import.h"
#include "store/event_store.h"
#include "test_env.h"

#include <QDateTime>
#include <QFile>
#include <QTest>
#include <QTimeZone>

#include <libical/ical.h>

namespace {

const QDate kFrom(2026, 1, 1);
const QDate kTo(2027, 12, 31);

QByteArray calendarOf(const QByteArray& events)
{
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\n" + events + "END:VCALENDAR\r\n";
}

QByteArray veventOf(const QByteArray& lines)
{
    return "BEGIN:VEVENT\r\nUID:u1\r\nDTSTAMP:20261201T000000Z\r\nSUMMARY:Swim\r\n" + lines + "END:VEVENT\r\n";
}

// Every day the store shows for its events in the two years, "yyyy-MM-dd" or "yyyy-MM-dd HH:mm".
// The starts are kept for the days around this; the months before it are read by libical.
const QDate kKeptAround(2027, 3, 1);

// Month by month, as the calendar draws them.
QStringList shownDays(const EventStore& store)
{
    QStringList days;
    for (QDate month = kFrom; month <= kTo; month = month.addMonths(1)) {
        ForEachOccurrence(store, {month, month.addMonths(1).addDays(-1), kFrom}, [&](const Occurrence& o) {
            if (!store.detailsOf(o.event->id).isEmpty())
                days << o.day.toString(Qt::ISODate) + (o.start.isValid() ? o.start.toString(u" HH:mm") : QString());
        });
    }
    return days;
}

// libical's own expansion of the component, apart from the code under test: its start days.
QStringList libicalDays(const QByteArray& vevent)
{
    QStringList days;
    icalcomponent* c = icalcomponent_new_from_string(vevent.constData());
    icalcomponent_foreach_recurrence(
        c, icaltime_from_string("20260101"), icaltime_from_string("20280101"),
        [](icalcomponent* e, icaltime_span* span, void* data) {
            const QDateTime start = QDateTime::fromSecsSinceEpoch(span->start, QTimeZone::utc());
            const bool allDay = icalcomponent_get_dtstart(e).is_date;
            static_cast<QStringList*>(data)->append(start.toString(allDay ? u"yyyy-MM-dd" : u"yyyy-MM-dd HH:mm"));
        },
        &days);
    icalcomponent_free(c);
    return days;
}

} // namespace

class TestOtherCalendars : public QObject
{
    Q_OBJECT

    TestEnv m_env;
    QString m_db;
    int m_made = 0;

    std::unique_ptr<EventStore> imported(const QByteArray& text)
    {
        m_db = m_env.path(QStringLiteral("events-%1.mdb").arg(++m_made));
        CreateEventDatabase(m_db);
        auto store = std::make_unique<EventStore>();
        store->open(m_db);
        store->keepDaysAround(kKeptAround);
        const ImportedCalendar calendar = ReadCalendar(text);
        store->insertNew(calendar.events);
        return store;
    }

private slots:
    void initTestCase() { qputenv("TZ", "UTC"); }

    void eachKindFallsOnItsDays_data()
    {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<QStringList>("days"); // empty: libical's expansion of the VEVENT
        QTest::newRow("every day") << QByteArray("DTSTART;VALUE=DATE:20271220\r\nRRULE:FREQ=DAILY\r\n")
                                   << QStringList();
        QTest::newRow("Monday and Wednesday")
            << QByteArray("DTSTART;VALUE=DATE:20270104\r\nRRULE:FREQ=WEEKLY;BYDAY=MO,WE;UNTIL=20270301\r\n")
            << QStringList();
        QTest::newRow("every 2 weeks from mid-December")
            << QByteArray("DTSTART;VALUE=DATE:20261216\r\nRRULE:FREQ=WEEKLY;INTERVAL=2\r\n") << QStringList();
        QTest::newRow("every 2 weeks since 2019, at 18:00 in Berlin")
            << QByteArray("DTSTART;TZID=Europe/Berlin:20190107T180000\r\nRRULE:FREQ=WEEKLY;INTERVAL=2;BYDAY=MO\r\n")
            << QStringList();
        QTest::newRow("every 3 months since 2015, on the 31st")
            << QByteArray("DTSTART;VALUE=DATE:20150131\r\nRRULE:FREQ=MONTHLY;INTERVAL=3\r\n") << QStringList();
        QTest::newRow("every 5 months since 2011, second Tuesday")
            << QByteArray("DTSTART;VALUE=DATE:20110208\r\nRRULE:FREQ=MONTHLY;INTERVAL=5;BYDAY=2TU\r\n")
            << QStringList();
        QTest::newRow("every 2 years since 2008")
            << QByteArray("DTSTART;VALUE=DATE:20080617\r\nRRULE:FREQ=YEARLY;INTERVAL=2\r\n") << QStringList();
        QTest::newRow("last Friday") << QByteArray("DTSTART;VALUE=DATE:20260130\r\nRRULE:FREQ=MONTHLY;BYDAY=-1FR\r\n")
                                     << QStringList();
        QTest::newRow("second-to-last weekday, every 3 months")
            << QByteArray("DTSTART;VALUE=DATE:20260227\r\nRRULE:FREQ=MONTHLY;INTERVAL=3;BYDAY=MO,TU,WE,TH,FR;"
                          "BYSETPOS=-2\r\n")
            << QStringList();
        QTest::newRow("yearly, ten times")
            << QByteArray("DTSTART;VALUE=DATE:20260704\r\nRRULE:FREQ=YEARLY;COUNT=10\r\n") << QStringList();
        QTest::newRow("weekly course, COUNT=4, a gap")
            << QByteArray("DTSTART:20261216T190000Z\r\nDTEND:20261216T200000Z\r\nRRULE:FREQ=WEEKLY;COUNT=4\r\n"
                          "EXDATE:20261230T190000Z\r\n")
            << QStringList{"2026-12-16 19:00", "2026-12-23 19:00", "2027-01-06 19:00"};
        QTest::newRow("moved occurrence")
            << QByteArray(
                   "DTSTART;VALUE=DATE:20260105\r\nRRULE:FREQ=WEEKLY;COUNT=3\r\nEND:VEVENT\r\n"
                   "BEGIN:VEVENT\r\nUID:u1\r\nRECURRENCE-ID;VALUE=DATE:20260112\r\nDTSTART;VALUE=DATE:20260114\r\n")
            << QStringList{"2026-01-05", "2026-01-14", "2026-01-19"};
        QTest::newRow("added starts it has already, an occurrence changed twice")
            << QByteArray("DTSTART;VALUE=DATE:20260105\r\nRRULE:FREQ=WEEKLY;COUNT=3\r\nRDATE;VALUE=DATE:20260105,"
                          "20260119\r\nEND:VEVENT\r\nBEGIN:VEVENT\r\nUID:u1\r\nRECURRENCE-ID;VALUE=DATE:20260112\r\n"
                          "DTSTART;VALUE=DATE:20260114\r\nEND:VEVENT\r\nBEGIN:VEVENT\r\nUID:u1\r\n"
                          "RECURRENCE-ID;VALUE=DATE:20260112\r\nDTSTART;VALUE=DATE:20260114\r\n")
            << QStringList{"2026-01-05", "2026-01-14", "2026-01-19"};
        QTest::newRow("an empty place, an unknown property, a value of another type")
            << QByteArray("DTSTART:20261210T100000Z\r\nLOCATION:\r\nSUBCALENDAR-ID:abc\r\nRELATED-TO;VALUE=UID:x\r\n")
            << QStringList{"2026-12-10 10:00"};
        QTest::newRow("a trip over New Year")
            << QByteArray("DTSTART;VALUE=DATE:20261230\r\nDTEND;VALUE=DATE:20270102\r\n")
            << QStringList{"2026-12-30", "2026-12-31", "2027-01-01"};
        QTest::newRow("23:30 to 01:00, both days") << QByteArray("DTSTART:20261211T233000\r\nDTEND:20261212T010000\r\n")
                                                   << QStringList{"2026-12-11 23:30", "2026-12-12"};
        QTest::newRow("a zone of its own inside the event")
            << QByteArray("BEGIN:VTIMEZONE\r\nTZID:Far/East\r\nBEGIN:STANDARD\r\nDTSTART:19700101T000000\r\n"
                          "TZOFFSETFROM:+0900\r\nTZOFFSETTO:+0900\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n"
                          "DTSTART;TZID=Far/East:20261210T010000\r\nRRULE:FREQ=WEEKLY;COUNT=3\r\n")
            << QStringList();
        QTest::newRow("in Tokyo's time, on the user's days")
            << QByteArray("DTSTART;TZID=Asia/Tokyo:20261211T083000\r\nDTEND;TZID=Asia/Tokyo:20261211T100000\r\n")
            << QStringList{"2026-12-10 23:30", "2026-12-11"};
        QTest::newRow("a span of 100 years, shown on each day")
            << QByteArray("DTSTART;VALUE=DATE:19500101\r\nDTEND;VALUE=DATE:20500101\r\n") << QStringList();
        QTest::newRow("a COUNT of a billion")
            << QByteArray("DTSTART;VALUE=DATE:20271225\r\nRRULE:FREQ=DAILY;COUNT=1000000000\r\n") << QStringList();
    }
    void eachKindFallsOnItsDays()
    {
        QFETCH(QByteArray, lines);
        QFETCH(QStringList, days);
        const QByteArray vevent = veventOf(lines);
        if (QByteArray(QTest::currentDataTag()).contains("100 years")) {
            for (QDate d = kFrom; d <= kTo; d = d.addDays(1))
                days << d.toString(Qt::ISODate);
        } else if (days.isEmpty()) {
            days = libicalDays(vevent);
        }
        const auto store = imported(calendarOf(vevent));
        QCOMPARE(shownDays(*store), days);
    }

    void aZoneIsTheRulesItsFileGivesIt()
    {
        // Two files in one run, one TZID with other rules in each (no summer time); June 2026 is
        // read from the stored text, June 2027 from the starts kept at the import.
        const QString zone = "BEGIN:VTIMEZONE\r\nTZID:Europe/Berlin\r\nBEGIN:STANDARD\r\nDTSTART:19700101T000000\r\n"
                             "TZOFFSETFROM:%1\r\nTZOFFSETTO:%1\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n";
        const QByteArray event =
            veventOf("DTSTART;TZID=Europe/Berlin:20260610T120000\r\nRRULE:FREQ=YEARLY;COUNT=2\r\n");
        for (const auto& [offset, shown] : {std::pair{"+0100", "11:00"}, {"+0500", "07:00"}, {"+0100", "11:00"}}) {
            const auto store = imported(calendarOf(zone.arg(offset).toLatin1() + event));
            QCOMPARE(shownDays(*store), (QStringList{"2026-06-10 " + QString(shown), "2027-06-10 " + QString(shown)}));
        }
    }

    void badInputIsKeptOutWithItsReason_data()
    {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<QString>("reason");
        QTest::newRow("UNTIL before DTSTART")
            << QByteArray("DTSTART;VALUE=DATE:20260105\r\nRRULE:FREQ=WEEKLY;UNTIL=20250101\r\n") << "never occurs";
        QTest::newRow("BYSETPOS out of range")
            << QByteArray("DTSTART;VALUE=DATE:20260105\r\nRRULE:FREQ=MONTHLY;BYDAY=MO;BYSETPOS=9\r\n")
            << "libical refuses";
        QTest::newRow("unknown TZID") << QByteArray("DTSTART;TZID=Mars/Olympus:20260105T100000\r\n")
                                      << "\"Mars/Olympus\" is unknown";
        QTest::newRow("hourly") << QByteArray("DTSTART:20260105T100000Z\r\nRRULE:FREQ=HOURLY\r\n")
                                << "more often than daily";
        QTest::newRow("a repeat libical cannot read")
            << QByteArray("DTSTART:20260105T100000Z\r\nRRULE:FREQ=SOMETIMES\r\n") << "RRULE";
    }
    void badInputIsKeptOutWithItsReason()
    {
        QFETCH(QByteArray, lines);
        QFETCH(QString, reason);
        const ImportedCalendar read = ReadCalendar(calendarOf(veventOf(lines)));
        QVERIFY(read.events.isEmpty());
        QCOMPARE(read.notes.size(), 1);
        QVERIFY2(read.notes[0].event && read.notes[0].reason.contains(reason), qPrintable(read.notes[0].reason));
    }

    void tenThousandGapsLeaveTheRestShown()
    {
        QByteArray gaps;
        for (QDate d(2000, 1, 1); gaps.count("EXDATE") < 10000; d = d.addDays(1))
            gaps += "EXDATE;VALUE=DATE:" + d.toString(u"yyyyMMdd").toLatin1() + "\r\n";
        const auto store = imported(calendarOf(veventOf("DTSTART;VALUE=DATE:20000101\r\nRRULE:FREQ=DAILY\r\n" + gaps)));
        // 10,000 days from 1 January 2000 end on 18 May 2027.
        QCOMPARE(shownDays(*store).first(), QStringLiteral("2027-05-19"));
    }

    void aRoundTripKeepsEveryOccurrenceAndUid()
    {
        QFile khal(QFINDTESTDATA("support/khal_made.ics"));
        QVERIFY(khal.open(QIODevice::ReadOnly));
        const QByteArray original = khal.readAll();
        const auto first = imported(original);
        const QByteArray exported = ExportCalendar(
            *first, {QDateTime(kFrom, QTime(0, 0), QTimeZone::utc()), "here"},
            [](const EventRecord& e, Omission, const QString& why) { QFAIL(qPrintable(e.title + ": " + why)); },
            first->allDetails());
        const auto second = imported(exported);
        QCOMPARE(shownDays(*second), shownDays(*first));
        QCOMPARE(shownDays(*first).size(), 16);
        for (const char* uid : {"UID:dentist-7f3a@khal", "UID:course-91b2@khal", "UID:trip-0c4d@khal"})
            QVERIFY2(exported.contains(uid), uid);
    }

    void editingTheDaysDropsTheDetailsATitleKeepsThem()
    {
        const auto store = imported(calendarOf(veventOf("DTSTART:20261216T190000Z\r\nRRULE:FREQ=WEEKLY;COUNT=4\r\n")));
        EventRecord row = *store->eventById(1);
        row.title = QStringLiteral("Swimming");
        QVERIFY(store->update(1, row));
        QCOMPARE(shownDays(*store).size(), 4);
        row.eventday = 17;
        QVERIFY(store->update(1, row));
        QVERIFY(store->detailsOf(1).isEmpty());
        QVERIFY(shownDays(*store).isEmpty());
    }

    void aMovedOccurrenceKeepsItsOwnTitle()
    {
        // One in the months libical reads, one in the kept ones; the third says the event's title.
        const QByteArray moved = "END:VEVENT\r\nBEGIN:VEVENT\r\nUID:u1\r\nSUMMARY:%1\r\nRECURRENCE-ID;VALUE=DATE:%2\r\n"
                                 "DTSTART;VALUE=DATE:%3\r\n";
        const auto store = imported(
            calendarOf(veventOf("DTSTART;VALUE=DATE:20260107\r\nRRULE:FREQ=MONTHLY;COUNT=14\r\n" +
                                QString::fromLatin1(moved).arg("At the lake", "20260207", "20260208").toLatin1() +
                                QString::fromLatin1(moved).arg("At the lake", "20270107", "20270108").toLatin1() +
                                QString::fromLatin1(moved).arg("Swim", "20260307", "20260309").toLatin1())));
        QStringList lake;
        for (QDate month = kFrom; month <= kTo; month = month.addMonths(1)) {
            ForEachOccurrence(*store, {month, month.addMonths(1).addDays(-1), kFrom}, [&](const Occurrence& o) {
                if (o.title != u"Swim")
                    lake << o.day.toString(Qt::ISODate) + u' ' + o.title.toString();
            });
        }
        QCOMPARE(lake, (QStringList{"2026-02-08 At the lake", "2027-01-08 At the lake"}));
    }

    void keptStartsFollowWhatOthersWrite()
    {
        const QByteArray weekly = veventOf("DTSTART;VALUE=DATE:20260114\r\nRRULE:FREQ=WEEKLY\r\n");
        const auto store = imported(calendarOf(weekly));
        const sqlite::Connection other(m_db, sqlite::Connection::Mode::ReadWrite);
        // A file whose starts were never kept (an older copy wrote it) is drawn by libical.
        other.exec("delete from tblEventDays; delete from tblEventDaysKept");
        QCOMPARE(shownDays(*store), libicalDays(weekly));

        // Details another program changed are kept again for what they say now.
        const QByteArray daily = veventOf("DTSTART;VALUE=DATE:20260105\r\nRRULE:FREQ=DAILY;INTERVAL=3\r\n");
        store->keepDaysAround(kKeptAround);
        sqlite::Statement change(other, "update tblEventDetails set details = ?1");
        change.bind(1, QString::fromUtf8(calendarOf(daily)));
        change.run();
        {
            // Never a wait for another program's lock, nor a failure.
            sqlite::Transaction busy(other);
            store->setBusyTimeout(60'000);
            store->keepDaysAround(kKeptAround);
        }
        store->keepDaysAround(kKeptAround);
        QCOMPARE(shownDays(*store), libicalDays(daily));
        // And none are kept for details another program deleted.
        other.exec("delete from tblEventDetails");
        store->keepDaysAround(kKeptAround);
        QCOMPARE(other.queryNumber("select count(*) from tblEventDaysKept"), 0);
    }
};

QTEST_MAIN(TestOtherCalendars)
#include "tst_other_calendars.moc"

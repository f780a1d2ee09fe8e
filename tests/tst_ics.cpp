#include "agenda/agenda.h"
#include "calendar/occurrence.h"
#include "event_builder.h"
#include "ical/rules.h"
#include "ics/ics_tool.h"
#include "ics/import.h"
#include "test_env.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QDate dateOf(const icaltimetype& t)
{
    return QDate(t.year, t.month, t.day);
}

// The days of the 36 months from `from`'s month on, as the month grid shows them.
QList<QDate> gridDays(const EventRecord& e, QDate from)
{
    QList<QDate> days;
    const QDate first(from.year(), from.month(), 1);
    for (QDate month = first; month < first.addMonths(36); month = month.addMonths(1)) {
        for (int day : OccurrenceDays(e, MonthFrame::of(month.month(), month.year())))
            days.append(QDate(month.year(), month.month(), day));
    }
    return days;
}

// The days of the same months as another RFC 5545 implementation reads them from `text`.
QList<QDate> expandedDays(const QByteArray& text, QDate from)
{
    icalcomponent* calendar = icalparser_parse_string(text.constData());
    icalcomponent* vevent = icalcomponent_get_first_component(calendar, ICAL_VEVENT_COMPONENT);
    const icaltimetype start = icalcomponent_get_dtstart(vevent);
    icalproperty* rule = icalcomponent_get_first_property(vevent, ICAL_RRULE_PROPERTY);
    QList<QDate> days{dateOf(start)};
    if (rule) {
        days.clear();
        icalrecur_iterator* it = icalrecur_iterator_new(icalproperty_get_rrule(rule), start);
        for (icaltimetype t = icalrecur_iterator_next(it);
             !icaltime_is_null_time(t) && dateOf(t) < QDate(from.year(), from.month(), 1).addMonths(36) &&
             days.size() < 400;
             t = icalrecur_iterator_next(it))
            days.append(dateOf(t));
        icalrecur_iterator_free(it);
    }
    icalcomponent_free(calendar);
    return days;
}

const ExportStamp kStamp{QDateTime(QDate(2021, 11, 1), QTime(8, 0), Qt::UTC), QStringLiteral("test.example")};

QByteArray calendarOf(const QByteArray& lines)
{
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:test\r\n" + lines + "END:VCALENDAR\r\n";
}

struct Run
{
    int status;
    QByteArray out, err;
};

// Standard output is a temporary file unless `output` names another to write to.
Run runIcs(const TestEnv& env, const QStringList& arguments, std::FILE* in = stdin, const char* output = nullptr)
{
    std::FILE* out = output ? std::fopen(output, "w") : std::tmpfile();
    std::FILE* err = std::tmpfile();
    const ToolContext tool{.arguments = arguments,
                           .paths = {env.programFolder(), env.machineDataRoot(), env.userDataRoot()},
                           .now = kStamp.now,
                           .hostName = kStamp.uidDomain,
                           .in = in,
                           .out = out,
                           .err = err};
    // What libraries print to the process's standard error counts as the tool's too.
    std::fflush(stderr);
    const int processErr = ::dup(2);
    ::dup2(::fileno(err), 2);
    Run run{RunIcs(tool), {}, {}};
    std::fflush(stderr);
    ::dup2(processErr, 2);
    ::close(processErr);
    for (auto [file, text] : {std::pair{out, &run.out}, std::pair{err, &run.err}}) {
        if (file == out && output) {
            std::fclose(file);
            continue;
        }
        QFile read;
        read.open(file, QIODevice::ReadOnly);
        read.seek(0);
        *text = read.readAll();
        read.close();
        std::fclose(file);
    }
    return run;
}

int rowCount(const QString& db)
{
    return int(
        sqlite::Connection(db, sqlite::Connection::Mode::ReadOnly).queryNumber("select count(*) from tblEvents"));
}

} // namespace

class TestIcs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qputenv("TZ", "UTC"); } // the rows' times of day fall on UTC days
    void exportedRuleGivesTheGridsDays_data()
    {
        QTest::addColumn<EventRecord>("event");
        QTest::addColumn<QDate>("start");
        QTest::addColumn<QString>("rule");
        QTest::newRow("once on a date") << AnEvent().once(QDate(2021, 11, 25)).record() << QDate(2021, 11, 25) << "";
        QTest::newRow("once, first Monday")
            << AnEvent().once(1, kMonday, 11, 2021).date(11, 9, 2021).record() << QDate(2021, 11, 1) << "";
        QTest::newRow("monthly on the 31st")
            << AnEvent().monthlyOn(31).date(6, 31, 2021).record() << QDate(2021, 1, 31) << "FREQ=MONTHLY;BYMONTHDAY=31";
        QTest::newRow("29 February, from 2021") << AnEvent().annuallyOn(2, 29).date(2, 29, 2021).record()
                                                << QDate(2024, 2, 29) << "FREQ=YEARLY;BYMONTHDAY=29;BYMONTH=2";
        QTest::newRow("weekly on Mondays") << AnEvent().weekly(kMonday).date(7, 9, 2021).week(9, kMonday).record()
                                           << QDate(2021, 1, 4) << "FREQ=WEEKLY;BYDAY=MO";
        QTest::newRow("fifth Thursday monthly") << AnEvent().monthly(5, kThursday).date(1, 1, 2021).record()
                                                << QDate(2021, 4, 29) << "FREQ=MONTHLY;BYDAY=5TH";
        QTest::newRow("Thanksgiving") << AnEvent().annually(4, kThursday, 11).date(11, 1, 2021).record()
                                      << QDate(2021, 11, 25) << "FREQ=YEARLY;BYDAY=4TH;BYMONTH=11";
        QTest::newRow("fifth Monday of February") << AnEvent().annually(5, kMonday, 2).date(2, 1, 2021).record()
                                                  << QDate(2044, 2, 29) << "FREQ=YEARLY;BYDAY=5MO;BYMONTH=2";
        QTest::newRow("year 1850 starts in 1970")
            << AnEvent().monthlyOn(15).date(1, 15, 1850).record() << QDate(1970, 1, 15) << "FREQ=MONTHLY;BYMONTHDAY=15";
    }
    void exportedRuleGivesTheGridsDays()
    {
        QFETCH(EventRecord, event);
        QFETCH(QDate, start);
        QFETCH(QString, rule);
        const ListSource source({event});
        const QByteArray text =
            ExportCalendar(source, kStamp, [](const EventRecord&, Omission, const QString&) { QFAIL("left out"); });
        QVERIFY(text.contains("DTSTART;VALUE=DATE:" + start.toString(u"yyyyMMdd").toLatin1() + "\r\n"));
        QCOMPARE(text.contains("RRULE:" + rule.toLatin1() + "\r\n"), !rule.isEmpty());
        const QList<QDate> days = gridDays(event, start);
        QCOMPARE(expandedDays(text, start), days.mid(days.indexOf(start)));

        // Read back, the rule is stored as a kind that falls on the same days.
        const ImportedCalendar read = ReadCalendar(text);
        QCOMPARE(read.events.size(), 1);
        QCOMPARE(gridDays(read.events[0].row, start), gridDays(event, start));
    }

    void neverOccurringEventsAreLeftOut_data()
    {
        QTest::addColumn<EventRecord>("event");
        QTest::addColumn<QString>("reason");
        QTest::newRow("by date, weekly") << AnEvent().codes(kByDate, kWeekly).date(1, 5, 2021).record()
                                         << "never repeats weekly";
        QTest::newRow("30 February 2021")
            << AnEvent().codes(kByDate, kOnce).date(2, 30, 2021).record() << "no 30 February 2021";
        QTest::newRow("31 April every year") << AnEvent().annuallyOn(4, 31).date(4, 31, 2021).record() << "no 31 April";
        QTest::newRow("fifth Thursday, November 2021")
            << AnEvent().once(5, kThursday, 11, 2021).date(11, 1, 2021).record()
            << "November 2021 has no fifth Thursday";
        QTest::newRow("unknown time type")
            << AnEvent().codes(3, kOnce).date(1, 5, 2021).record() << "time type 3 is unknown";
        QTest::newRow("missing month") << AnEvent().annuallyOn(1, 5).date({}, 5, 2021).record() << "has no month";
    }
    void neverOccurringEventsAreLeftOut()
    {
        QFETCH(EventRecord, event);
        QFETCH(QString, reason);
        const auto dates = ICalendarDatesOf(event);
        QVERIFY(std::holds_alternative<QString>(dates));
        QVERIFY2(std::get<QString>(dates).contains(reason), qPrintable(std::get<QString>(dates)));
    }

    void importMapsEachEvent_data()
    {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<QString>("stored"); // timetype repeat month day year nth weekday warn days, or the reason
        QTest::newRow("yearly, day from the start")
            << QByteArray("DTSTART;VALUE=DATE:19800315\r\nRRULE:FREQ=YEARLY\r\n") << "1 4 3 15 1980 3 7 0 1";
        QTest::newRow("time in its own zone")
            << QByteArray("DTSTART;TZID=Asia/Tokyo:20240101T003000\r\n") << "1 1 12 31 2023 5 1 0 1 +details";
        QTest::newRow("second Tuesday, warned 2 days before, two alarms noted")
            << QByteArray("DTSTART;VALUE=DATE:20240312\r\nRRULE:FREQ=MONTHLY;BYDAY=2TU\r\n"
                          "BEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER:-PT15M\r\nEND:VALARM\r\n"
                          "BEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER:-P2D\r\nEND:VALARM\r\n"
                          "BEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER:-P12D\r\nEND:VALARM\r\n")
            << "2 3 3 12 2024 2 3 1 2 +details";
        QTest::newRow("COUNT") << QByteArray("DTSTART:20240101\r\nRRULE:FREQ=WEEKLY;COUNT=3\r\n")
                               << "2 2 1 1 2024 1 2 0 1 +details";
        QTest::newRow("UNTIL") << QByteArray("DTSTART:20240101\r\nRRULE:FREQ=WEEKLY;UNTIL=20250101\r\n")
                               << "2 2 1 1 2024 1 2 0 1 +details";
        QTest::newRow("INTERVAL") << QByteArray("DTSTART:20240101\r\nRRULE:FREQ=WEEKLY;INTERVAL=2\r\n")
                                  << "2 2 1 1 2024 1 2 0 1 +details";
        QTest::newRow("EXDATE") << QByteArray("DTSTART:20240101\r\nRRULE:FREQ=WEEKLY\r\nEXDATE:20240108\r\n")
                                << "2 2 1 1 2024 1 2 0 1 +details";
        QTest::newRow("RDATE") << QByteArray("DTSTART:20240101\r\nRDATE:20240108\r\n")
                               << "1 1 1 1 2024 1 2 0 1 +details";
        QTest::newRow("several weekdays")
            << QByteArray("DTSTART:20240101\r\nRRULE:FREQ=WEEKLY;BYDAY=MO,WE\r\n") << "2 2 1 1 2024 1 2 0 1 +details";
        QTest::newRow("last Monday") << QByteArray("DTSTART:20240129\r\nRRULE:FREQ=MONTHLY;BYDAY=-1MO\r\n")
                                     << "1 3 1 29 2024 5 2 0 1 +details";
        QTest::newRow("daily") << QByteArray("DTSTART:20240101\r\nRRULE:FREQ=DAILY\r\n")
                               << "2 2 1 1 2024 1 2 0 1 +details";
        QTest::newRow("start off its rule")
            << QByteArray("DTSTART:20240102\r\nRRULE:FREQ=MONTHLY;BYMONTHDAY=5\r\n") << "1 3 1 2 2024 1 3 0 1 +details";
        QTest::newRow("three days") << QByteArray("DTSTART;VALUE=DATE:20240101\r\nDTEND;VALUE=DATE:20240104\r\n")
                                    << "1 1 1 1 2024 1 2 0 1 +details";
        QTest::newRow("time in UTC, noted")
            << QByteArray("DTSTART:20261211T143000Z\r\n") << "1 1 12 11 2026 2 6 0 1 +details";
        QTest::newRow("evening past midnight")
            << QByteArray("DTSTART:20240101T230000\r\nDURATION:PT3H\r\n") << "1 1 1 1 2024 1 2 0 1 +details";
        QTest::newRow("no start") << QByteArray("DTEND:20240101\r\n") << "no start";
        QTest::newRow("cancelled") << QByteArray("DTSTART:20240101\r\nSTATUS:CANCELLED\r\n") << "cancelled";
        QTest::newRow("moved occurrence")
            << QByteArray("UID:a\r\nDTSTART:20240101\r\nRRULE:FREQ=WEEKLY\r\nEND:VEVENT\r\n"
                          "BEGIN:VEVENT\r\nUID:a\r\nRECURRENCE-ID:20240108\r\nDTSTART:20240109\r\n")
            << "2 2 1 1 2024 1 2 0 1 +details";
        QTest::newRow("bad start") << QByteArray("DTSTART:2024xx\r\n") << "DTSTART";
        QTest::newRow("hour 25") << QByteArray("DTSTART:20240101T250000\r\n") << "does not exist, 25:00:00";
        QTest::newRow("week 32767, beyond libical's 16 bits")
            << QByteArray("DTSTART:20240101\r\nRRULE:FREQ=MONTHLY;BYDAY=32767MO\r\n")
            << "BYDAY=32767MO is out of range";
        QTest::newRow("title too long") << "DTSTART:20240101\r\nSUMMARY:" + QByteArray(40000, 'x') + "\r\n"
                                        << "longer than 32767";
    }
    void importMapsEachEvent()
    {
        QFETCH(QByteArray, lines);
        QFETCH(QString, stored);
        const QByteArray summary = lines.contains("SUMMARY") ? "" : "SUMMARY:Tea\\, \x01then\\nmore\r\n";
        const ImportedCalendar read = ReadCalendar(calendarOf("BEGIN:VEVENT\r\n" + summary + lines + "END:VEVENT\r\n"));
        if (read.events.isEmpty()) {
            QVERIFY(!read.notes.isEmpty());
            for (const ImportNote& note : read.notes)
                QVERIFY2(note.event && note.reason.contains(stored), qPrintable(note.reason));
            return;
        }
        const EventRecord f = read.events.value(0).row;
        // A note for each alarm not kept.
        QCOMPARE(read.notes.size(), lines.count("BEGIN:VALARM") - *f.warnevent);
        QCOMPARE(f.title, QStringLiteral("Tea,  then more"));
        QStringList text;
        for (const EventColumn& column : kNumberColumns)
            text.append(QString::number(*(f.*column.number)));
        // What the row cannot say is kept beside it, whole.
        if (read.events.value(0).hasDetails())
            text.append(QStringLiteral("+details"));
        QCOMPARE(text.join(u' '), stored);
    }

    void byteOrderMarkIsNoContent()
    {
        const QByteArray event = "BEGIN:VEVENT\r\nSUMMARY:A\r\nDTSTART:20240101\r\nEND:VEVENT\r\n";
        QCOMPARE(ReadCalendar("\xEF\xBB\xBF" + calendarOf(event)).events.size(), 1);
        // Nor is an empty description of the calendar any damage.
        QCOMPARE(ReadCalendar(calendarOf("X-WR-CALDESC:\r\n" + event)).events.size(), 1);
    }

    void exportThenImportGivesTheSameAgenda()
    {
        TestEnv env;
        const QString source = env.path(QStringLiteral("source.mdb"));
        const QString target = env.path(QStringLiteral("target.mdb"));
        CreateEventDatabase(source);
        CreateEventDatabase(target);
        {
            EventStore store;
            store.open(source);
            // Every kind five times, with 29 February, 31sts and fifth weekdays; the by-date weekly
            // events and the fifth Friday of September 2024 never occur.
            const int months[] = {2, 1, 11, 3, 9};
            const int days[] = {29, 31, 30, 31, 30};
            for (int kind = 0; kind < 8; ++kind) {
                for (int n = 0; n < 5; ++n)
                    store.insert(AnEvent(QStringLiteral("Event %1/%2").arg(kind).arg(n))
                                     .description(QStringLiteral("Line\r\nbreak"))
                                     .codes(1 + kind / 4, 1 + kind % 4)
                                     .date(months[n], days[n], 2020 + n)
                                     .week(1 + n, 1 + (3 * n) % 7)
                                     .warn(n, n % 2));
            }
        }
        const QString file = env.path(QStringLiteral("out.ics"));
        const Run out =
            runIcs(env, {QStringLiteral("export"), QStringLiteral("--db"), source, QStringLiteral("-o"), file});
        QCOMPARE(out.status, 0);
        QCOMPARE(out.err.count('\n'), 6);
        QCOMPARE(runIcs(env, {QStringLiteral("import"), QStringLiteral("--db"), target, file}).status, 0);

        EventStore before, after;
        before.open(source);
        after.open(target);
        for (QDate month(2021, 1, 1); month < QDate(2024, 1, 1); month = month.addMonths(1)) {
            const ViewedMonth view{month.month(), month.year()};
            QCOMPARE(AgendaText(view, after), AgendaText(view, before));
        }
        // A ticked warning comes back as an alarm as many days before.
        QMap<QString, int> warnings;
        before.forEachEvent([&](const EventRecord& e) { warnings[e.title] = *e.warnevent ? *e.daysbefore : -1; });
        after.forEachEvent(
            [&](const EventRecord& e) { QCOMPARE(*e.warnevent ? *e.daysbefore : -1, warnings.value(e.title)); });
        // The same file again stores nothing twice.
        const Run again = runIcs(env, {QStringLiteral("import"), QStringLiteral("--db"), target, file});
        QCOMPARE(again.status, 0);
        QVERIFY2(again.out.startsWith("0 events stored, 34 already there"), again.out.constData());
        QCOMPARE(rowCount(target), 34);
        // Nor does importing an export into the database it came from, whatever the columns its
        // events' kinds do not use hold.
        const Run home = runIcs(env, {QStringLiteral("import"), QStringLiteral("--db"), source, file});
        QVERIFY2(home.out.startsWith("0 events stored, 34 already there"), home.out.constData());
    }

    void badInputStoresNothing_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("message");
        const QByteArray event = "BEGIN:VEVENT\r\nSUMMARY:A\r\nDTSTART:20240101\r\nEND:VEVENT\r\n";
        QTest::newRow("not iCalendar") << QByteArray("Dear diary,\n") << "not an iCalendar file";
        QTest::newRow("empty") << QByteArray() << "not an iCalendar file";
        QTest::newRow("cut short") << calendarOf(event + "BEGIN:VEVENT\r\nSUMMARY:B").left(120) << "cut short";
        QTest::newRow("NUL bytes") << calendarOf(event).replace("SUMMARY:A", QByteArray("SUMMARY:\0", 9))
                                   << "NUL bytes";
        QTest::newRow("damaged between events") << calendarOf(event + "this is no line\r\n" + event) << "damaged";
        QTest::newRow("END without BEGIN") << calendarOf("END:VALARM\r\n" + event) << "damaged";
        QTest::newRow("END before any BEGIN") << "END:VEVENT\r\n" + calendarOf(event) << "has no BEGIN";
        QTest::newRow("END:VCALENDAR in an event")
            << calendarOf(QByteArray(event).replace("END:VEVENT\r\n", "END:VCALENDAR\r\nEND:VEVENT\r\n")) << "damaged";
        QTest::newRow("nested 101 deep") << calendarOf(QByteArray("BEGIN:X\r\n").repeated(100) +
                                                       QByteArray("END:X\r\n").repeated(100))
                                         << "nested more than 100 deep";
        QTest::newRow("fails half-way") << calendarOf(event + QByteArray(event).replace("SUMMARY:A", "SUMMARY:boom"))
                                        << "Nothing was stored";
    }
    void badInputStoresNothing()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, message);
        TestEnv env;
        const QString db = env.path(QStringLiteral("events.mdb"));
        CreateEventDatabase(db);
        sqlite::Connection(db, sqlite::Connection::Mode::ReadWrite)
            .exec("drop table tblEvents; create table tblEvents (id integer primary key, title text check (title <> "
                  "'boom'), description, timetype, consistancy, eventmonth, eventday, eventyear, eventweekdate, "
                  "eventweekday, warnevent, daysbefore)");
        const QString file = env.path(QStringLiteral("in.ics"));
        QFile ics(file);
        QVERIFY(ics.open(QIODevice::WriteOnly));
        ics.write(text);
        ics.close();

        const Run run = runIcs(env, {QStringLiteral("import"), QStringLiteral("--db"), db, file});
        QCOMPARE(run.status, 2);
        QVERIFY2(run.err.count('\n') == 1 && run.err.contains(message.toUtf8()), run.err.constData());
        QCOMPARE(rowCount(db), 0);
    }

    void lostOutputOrInputIsAFailure_data()
    {
        QTest::addColumn<QStringList>("arguments"); // "DB" stands for the test database
        QTest::addColumn<QString>("output");        // standard output; empty: a temporary file
        QTest::addColumn<bool>("closedInput");
        QTest::addColumn<QString>("message"); // empty: done
        QTest::newRow("standard output on a full disk")
            << QStringList{"export", "--db", "DB"} << "/dev/full" << false << "No space left on device";
        QTest::newRow("onto a FIFO that nobody reads")
            << QStringList{"export", "--db", "DB", "-o", "FIFO"} << "" << false << "no program is reading";
        QTest::newRow("onto a full device")
            << QStringList{"export", "--db", "DB", "-o", "/dev/full"} << "" << false << "No space left on device";
        QTest::newRow("onto a device that takes all")
            << QStringList{"export", "--db", "DB", "-o", "/dev/null"} << "" << false << "";
        QTest::newRow("from a closed standard input")
            << QStringList{"import", "--db", "DB", "-"} << "" << true << "standard input: it is closed";
    }
    void lostOutputOrInputIsAFailure()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, output);
        QFETCH(bool, closedInput);
        QFETCH(QString, message);
        TestEnv env;
        const QString db = env.path(QStringLiteral("events.mdb"));
        const QString fifo = env.path(QStringLiteral("fifo"));
        CreateEventDatabase(db);
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
        for (QString& a : arguments)
            a = a == u"DB" ? db : a == u"FIFO" ? fifo : a;

        const Run run = runIcs(env, arguments, closedInput ? nullptr : stdin,
                               output.isEmpty() ? nullptr : QFile::encodeName(output).constData());
        QCOMPARE(run.status, message.isEmpty() ? 0 : 2);
        QVERIFY2(run.err.count('\n') == int(!message.isEmpty()) && run.err.contains(message.toUtf8()),
                 run.err.constData());
        if (arguments.contains("-o")) // written to, never replaced
            QVERIFY(!QFileInfo(arguments.last()).isFile());
    }

    void arguments_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("command"); // -1: refused
        QTest::newRow("export to a file") << QStringList{"export", "-o", "a.ics"} << int(IcsOptions::Command::Export);
        QTest::newRow("import") << QStringList{"--db", "x.mdb", "import", "a.ics"} << int(IcsOptions::Command::Import);
        QTest::newRow("version") << QStringList{"--version"} << int(IcsOptions::Command::Version);
        QTest::newRow("help wins") << QStringList{"frob", "--help"} << int(IcsOptions::Command::Help);
        QTest::newRow("no command") << QStringList{} << -1;
        QTest::newRow("unknown command") << QStringList{"frob"} << -1;
        QTest::newRow("import without a file") << QStringList{"import"} << -1;
        QTest::newRow("import with -o") << QStringList{"import", "a.ics", "-o", "b.ics"} << -1;
        QTest::newRow("export with a file name") << QStringList{"export", "a.ics"} << -1;
    }
    void arguments()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, command);
        try {
            QCOMPARE(int(ParseIcsArguments(arguments).command), command);
        } catch (const std::invalid_argument& e) {
            QVERIFY2(command == -1, e.what());
        }
    }
};

QTEST_GUILESS_MAIN(TestIcs)
#include "tst_ics.moc"

#include "agenda/agenda.h"
#include "core/clock.h"
#include "event_builder.h"
#include "store/event_store.h"
#include "test_env.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <unistd.h>

namespace {} // namespace

// A database of three events: one yearly on 11 November, and `payDay` monthly on the 30th and yearly on the 11th.
QString threeEvents(const TestEnv& env, const QString& payDay)
{
    const QString db = env.path(QStringLiteral("events.mdb"));
    CreateEventDatabase(db);
    EventStore store;
    store.open(db);
    store.insert(AnEvent("School's out").annuallyOn(11, 11));
    store.insert(AnEvent(payDay).monthlyOn(30));
    store.insert(AnEvent(payDay).annuallyOn(11, 11));
    return db;
}

class TestAgenda : public QObject
{
    Q_OBJECT

private slots:
    void oneLine_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << "Book club"
                               << "Book club";
        QTest::newRow("CR LF is two blanks") << "Pay\r\nrent"
                                             << "Pay  rent";
        QTest::newRow("lone LF") << "a\nb"
                                 << "a b";
        QTest::newRow("tab") << "a\tb"
                             << "a b";
        QTest::newRow("NUL, 0x01 and 0x1f") << QString::fromUtf16(u"a\u0000b\u0001c\u001f", 6) << "a b c ";
        QTest::newRow("DEL") << QString::fromUtf16(u"x\u007fy") << "x y";
        QTest::newRow("blank and non-ASCII kept")
            << QString::fromUtf8(" Zoë – 日本 ") << QString::fromUtf8(" Zoë – 日本 ");
    }
    void oneLine()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(OneLine(text), expected);
    }

    void parseMonth_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("month");
        QTest::addColumn<int>("year");
        QTest::newRow("March 2024") << "2024-03" << true << 3 << 2024;
        QTest::newRow("year 1") << "0001-01" << true << 1 << 1;
        QTest::newRow("year 9999") << "9999-12" << true << 12 << 9999;
        QTest::newRow("month 13") << "2024-13" << false << 0 << 0;
        QTest::newRow("month 00") << "2024-00" << false << 0 << 0;
        QTest::newRow("letter in month") << "2024-1x" << false << 0 << 0;
        QTest::newRow("empty") << "" << false << 0 << 0;
        QTest::newRow("one-digit month") << "2024-1" << false << 0 << 0;
        QTest::newRow("three-digit month") << "2024-011" << false << 0 << 0;
        QTest::newRow("two-digit year") << "24-01" << false << 0 << 0;
        QTest::newRow("year 0") << "0000-05" << false << 0 << 0;
        QTest::newRow("slash") << "2024/03" << false << 0 << 0;
        QTest::newRow("signed month") << "2024-+3" << false << 0 << 0;
        QTest::newRow("leading blank") << " 2024-03" << false << 0 << 0;
        QTest::newRow("full-width digits") << QString::fromUtf8("２０２４-０３") << false << 0 << 0;
    }
    void parseMonth()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        const std::optional<ViewedMonth> parsed = ParseMonth(text);
        QCOMPARE(parsed.has_value(), valid);
        if (valid) {
            QTEST(parsed->month, "month");
            QTEST(parsed->year, "year");
        }
    }

    void arguments_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<bool>("help");
        QTest::addColumn<QString>("database");
        QTest::addColumn<QString>("month"); // as given, empty for none
        QTest::newRow("nothing") << QStringList{} << true << false << ""
                                 << "";
        QTest::newRow("month only") << QStringList{"2024-03"} << true << false << ""
                                    << "2024-03";
        QTest::newRow("db and month") << QStringList{"--db", "a.mdb", "2024-03"} << true << false << "a.mdb"
                                      << "2024-03";
        QTest::newRow("month before db") << QStringList{"2024-03", "--db", "a.mdb"} << true << false << "a.mdb"
                                         << "2024-03";
        QTest::newRow("db with equals sign") << QStringList{"--db=a b.mdb"} << true << false << "a b.mdb"
                                             << "";
        QTest::newRow("help wins over a bad month") << QStringList{"--help", "2024-13"} << true << true << ""
                                                    << "";
        QTest::newRow("short help") << QStringList{"-h"} << true << true << ""
                                    << "";
        QTest::newRow("db without a value") << QStringList{"--db"} << false << false << ""
                                            << "";
        QTest::newRow("empty db") << QStringList{"--db="} << false << false << ""
                                  << "";
        QTest::newRow("unknown option") << QStringList{"--verbose"} << false << false << ""
                                        << "";
        QTest::newRow("two months") << QStringList{"2024-03", "2024-04"} << false << false << ""
                                    << "";
        QTest::newRow("bad month") << QStringList{"2024-13"} << false << false << ""
                                   << "";
        QTest::newRow("February: nothing on the 30th") << QStringList{""} << false << false << ""
                                                       << "";
        QTest::newRow("line break in bad month") << QStringList{"20\n24-03"} << false << false << ""
                                                 << "";
    }
    void arguments()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, valid);
        QFETCH(bool, help);
        QFETCH(QString, database);
        QFETCH(QString, month);
        try {
            const AgendaOptions options = ParseAgendaArguments(arguments);
            QVERIFY2(valid, "accepted");
            QCOMPARE(options.help, help);
            QCOMPARE(options.database, database);
            QCOMPARE(options.month.has_value(), !month.isEmpty());
            if (options.month) {
                QCOMPARE(options.month->month, ParseMonth(month)->month);
                QCOMPARE(options.month->year, ParseMonth(month)->year);
            }
        } catch (const std::invalid_argument& e) {
            QVERIFY2(!valid, e.what());
            const QString message = QString::fromUtf8(e.what());
            QVERIFY(!message.isEmpty());
            QVERIFY(!message.contains(u'\n'));
        }
    }

    void defaultDatabase_data()
    {
        QTest::addColumn<bool>("machineFile");
        QTest::addColumn<bool>("userFile");
        QTest::addColumn<bool>("expectMachine");
        QTest::newRow("machine-wide file exists") << true << true << true;
        QTest::newRow("only the per-user file") << false << true << false;
        QTest::newRow("neither") << false << false << false;
    }
    void defaultDatabase()
    {
        QFETCH(bool, machineFile);
        QFETCH(bool, userFile);
        QFETCH(bool, expectMachine);
        TestEnv env;
        const QString machine = QDir(env.machineDataRoot()).filePath(QStringLiteral("Quendrix/Quillmoor/dbData.mdb"));
        const QString user = QDir(env.userDataRoot()).filePath(QStringLiteral("Quendrix/Quillmoor/dbData.mdb"));
        for (const auto& [wanted, file] : {std::pair{machineFile, machine}, std::pair{userFile, user}}) {
            if (wanted) {
                QDir().mkpath(QFileInfo(file).path());
                CreateEventDatabase(file);
            }
        }

        QCOMPARE(DefaultDatabase(env.machineDataRoot(), env.userDataRoot()), expectMachine ? machine : user);
        QCOMPARE(QFileInfo::exists(machine), machineFile);
        QCOMPARE(QFileInfo::exists(user), userFile);
    }

    void agendaOrder()
    {
        const ListSource source({
            AnEvent("Rent").id(1).monthlyOn(15).date(1, 15, 2000),
            AnEvent("Gym").id(2).weekly(kMonday).week(0, kMonday),
            AnEvent("Kick-off").id(3).once(QDate(2021, 11, 1)),
            AnEvent("Other month").id(4).annuallyOn(10, 15),
            AnEvent("Dentist").id(5).once(QDate(2021, 11, 15)),
            AnEvent("Thanksgiving dinner").id(6).annually(4, kThursday, 11),
            AnEvent("Weekly by date never occurs").id(7).codes(kByDate, kWeekly).date(11, 8, 2021),
        });

        // November 2021 starts on a Monday.
        QCOMPARE(AgendaText(ViewedMonth{11, 2021}, source), QByteArray("2021-11-01\tGym\n"
                                                                       "2021-11-01\tKick-off\n"
                                                                       "2021-11-08\tGym\n"
                                                                       "2021-11-15\tRent\n"
                                                                       "2021-11-15\tGym\n"
                                                                       "2021-11-15\tDentist\n"
                                                                       "2021-11-22\tGym\n"
                                                                       "2021-11-25\tThanksgiving dinner\n"
                                                                       "2021-11-29\tGym\n"));
    }

    void agendaTitlesAreOneLineOfUtf8()
    {
        const ListSource source({AnEvent(QString::fromUtf8("Zoë's\r\nparty\tnow")).monthlyOn(31)});
        QCOMPARE(AgendaText(ViewedMonth{1, 2022}, source), QByteArray("2022-01-31\tZo\xc3\xab's  party now\n"));
        QCOMPARE(AgendaText(ViewedMonth{2, 2022}, source), QByteArray());
        QCOMPARE(AgendaText(ViewedMonth{3, 982}, source), QByteArray("0982-03-31\tZo\xc3\xab's  party now\n"));
    }

    void wholeProcess_data()
    {
        QTest::addColumn<QStringList>("arguments"); // "DB" stands for the test database
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("output");
        QTest::newRow("listed") << QStringList{"--db", "DB", "2021-11"} << 0
                                << QByteArray("2021-11-11\tSchool's out\n2021-11-11\tPay day\n2021-11-30\tPay day\n");
        QTest::newRow("February: nothing on the 30th") << QStringList{"--db", "DB", "2021-02"} << 0 << QByteArray();
        QTest::newRow("help") << QStringList{"--help"} << 0 << AgendaUsage().toUtf8();
        QTest::newRow("bad month") << QStringList{"--db", "DB", "2021-13"} << 2 << QByteArray();
        QTest::newRow("unknown option") << QStringList{"--db", "DB", "--all"} << 2 << QByteArray();
        QTest::newRow("missing database") << QStringList{"--db", "missing.mdb", "2021-11"} << 2 << QByteArray();
        QTest::newRow("not a database") << QStringList{"--db", "notes.txt", "2021-11"} << 2 << QByteArray();
    }
    void wholeProcess()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QByteArray, output);
        TestEnv env;
        const QString db = threeEvents(env, QStringLiteral("Pay\tday"));
        QFile notes(env.path(QStringLiteral("notes.txt")));
        QVERIFY(notes.open(QIODevice::WriteOnly));
        notes.write(QByteArray("Not a database at all.\n").repeated(100));
        notes.close();
        for (QString& a : arguments) {
            if (a == u"DB")
                a = db;
            else if (a.endsWith(u".mdb") || a.endsWith(u".txt"))
                a = env.path(a);
        }

        QProcess agenda;
        agenda.start(QStringLiteral(QUILLMOOR_AGENDA_BINARY), arguments);
        QVERIFY(agenda.waitForFinished(10000));
        const QByteArray errors = agenda.readAllStandardError();

        QCOMPARE(agenda.exitStatus(), QProcess::NormalExit);
        QCOMPARE(agenda.exitCode(), status);
        QCOMPARE(agenda.readAllStandardOutput(), output);
        if (status == 0) {
            QCOMPARE(errors, QByteArray());
        } else {
            QVERIFY2(errors.endsWith('\n') && errors.count('\n') == 1, errors.constData());
            QVERIFY(errors.startsWith("quillmoor-agenda: "));
        }
        QVERIFY(!QFileInfo::exists(env.path(QStringLiteral("missing.mdb"))));
    }

    void stretchFromToday_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QDate>("today");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("output");
        QTest::newRow("today") << QStringList{"today"} << QDate(2021, 11, 11) << 0
                               << QByteArray("2021-11-11\tSchool's out\n2021-11-11\tPay day\n");
        QTest::newRow("days across a month end")
            << QStringList{"--days", "13"} << QDate(2021, 10, 30) << 0
            << QByteArray("2021-10-30\tPay day\n2021-11-11\tSchool's out\n2021-11-11\tPay day\n");
        QTest::newRow("last day of the calendar") << QStringList{"--days=366"} << QDate(9999, 11, 30) << 0
                                                  << QByteArray("9999-11-30\tPay day\n9999-12-30\tPay day\n");
        for (const char* bad : {"0", "367", "+3", "x"})
            QTest::newRow(bad) << QStringList{"--days", bad} << QDate(2021, 11, 11) << 2 << QByteArray();
        QTest::newRow("days and a month")
            << QStringList{"--days", "2", "2021-11"} << QDate(2021, 11, 11) << 2 << QByteArray();
    }
    void stretchFromToday()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QDate, today);
        TestEnv env;
        const QString db = threeEvents(env, QStringLiteral("Pay day"));
        std::FILE* out = std::tmpfile();
        const FixedClock clock(today);
        const int status = RunAgenda({.arguments = arguments + QStringList{"--db", db},
                                      .paths = {{}, env.path("m"), env.path("u")},
                                      .clock = &clock,
                                      .out = out});
        QTEST(status, "status");
        QByteArray text(4096, '\0');
        std::rewind(out);
        text.resize(qsizetype(std::fread(text.data(), 1, std::size_t(text.size()), out)));
        std::fclose(out);
        QTEST(text, "output");
    }

    // Every tool's main runs in the same frame, so each answers a lost output the same way.
    void anEventStoredInOneZoneIsShownOnItsDaysInAnother()
    {
        TestEnv env;
        const QString db = env.path(QStringLiteral("events.mdb"));
        CreateEventDatabase(db);
        QFile call(env.path(QStringLiteral("call.ics")));
        QVERIFY(call.open(QIODevice::WriteOnly));
        call.write("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:t\r\nBEGIN:VEVENT\r\nUID:c\r\nSUMMARY:Call\r\n"
                   "DTSTART:20240430T220000Z\r\nDURATION:PT30M\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
        call.close();
        // Stored by a user in Berlin (1 May there), drawn by one in New York (30 April there).
        const auto run = [&](const char* zone, const QString& tool, const QStringList& arguments) {
            QProcess process;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("TZ"), QString::fromLatin1(zone));
            process.setProcessEnvironment(environment);
            process.start(QFileInfo(QStringLiteral(QUILLMOOR_AGENDA_BINARY)).dir().filePath(tool), arguments);
            return process.waitForFinished(10000) ? process.readAllStandardOutput() : QByteArray();
        };
        run("Europe/Berlin", QStringLiteral("quillmoor-ics"),
            {QStringLiteral("import"), QStringLiteral("--db"), db, call.fileName()});
        QCOMPARE(run("America/New_York", QStringLiteral("quillmoor-agenda"),
                     {QStringLiteral("--db"), db, QStringLiteral("2024-04")}),
                 QByteArray("2024-04-30 18:00\tCall\n"));
    }

    void lostOutputIsAFailure_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QString>("output"); // empty: closed
        for (const char* tool : {"quillmoor-agenda", "quillmoor-ics", "quillmoor-sync", "quillmoor-remind"}) {
            QTest::addRow("%s onto a full disk", tool) << tool << "/dev/full";
            QTest::addRow("%s closed", tool) << tool << "";
        }
    }
    void lostOutputIsAFailure()
    {
        QFETCH(QString, tool);
        QFETCH(QString, output);
        QProcess process;
        if (output.isEmpty())
            process.setChildProcessModifier([] { ::close(1); });
        else
            process.setStandardOutputFile(output);
        process.start(QFileInfo(QStringLiteral(QUILLMOOR_AGENDA_BINARY)).dir().filePath(tool),
                      {QStringLiteral("--help")});
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitCode(), 2);
        const QByteArray errors = process.readAllStandardError();
        QVERIFY2(errors.startsWith(tool.toUtf8() + ": Cannot write to standard output: ") && errors.count('\n') == 1,
                 errors.constData());
    }
};

QTEST_GUILESS_MAIN(TestAgenda)
#include "tst_agenda.moc"

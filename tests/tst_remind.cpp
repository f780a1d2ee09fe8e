// Runs under dbus-run-session: on that private bus the test is the notification service.
#include "core/clock.h"
#include "event_builder.h"
#include "remind/remind_agent.h"
#include "store/event_store.h"
#include "test_env.h"
#include "with_details.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QMutex>
#include <QTest>
#include <QThread>

#include <optional>
#include <sys/stat.h>

namespace {

const QDate kTuesday(2026, 12, 8);

void store(const QString& file, const QList<EventRecord>& events)
{
    if (!QFile::exists(file))
        CreateEventDatabase(file);
    EventStore s;
    s.open(file);
    s.insertNew(events);
}

// What a notification server needs to answer, recording what it was given.
class FakeNotifications : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    /// Per notification: summary, body, "application icon desktop-entry", actions.
    QList<QStringList> shown() const
    {
        QMutexLocker lock(&m_mutex);
        return m_shown;
    }
    void clear()
    {
        QMutexLocker lock(&m_mutex);
        m_shown.clear();
    }

public slots:
    QStringList GetCapabilities() { return {QStringLiteral("body"), QStringLiteral("actions")}; }
    uint Notify(const QString& app, uint, const QString& icon, const QString& summary, const QString& body,
                const QStringList& actions, const QVariantMap& hints, int)
    {
        QMutexLocker lock(&m_mutex);
        m_shown.append(
            {summary, body, app + ' ' + icon + ' ' + hints.value("desktop-entry").toString(), actions.join(' ')});
        return uint(m_shown.size() + 100);
    }

private:
    mutable QMutex m_mutex;
    QList<QStringList> m_shown;
};

struct CountingLauncher final : CalendarLauncher
{
    int started = 0;
    void openCalendar() override { ++started; }
};

QString readBack(std::FILE* file)
{
    std::rewind(file);
    QByteArray text(4096, '\0');
    text.truncate(qsizetype(std::fread(text.data(), 1, std::size_t(text.size()), file)));
    return QString::fromUtf8(text);
}

} // namespace

Q_DECLARE_METATYPE(EventRecord)

class TestRemind : public QObject
{
    Q_OBJECT

    const QString kName = QStringLiteral("org.freedesktop.Notifications");
    QThread m_thread; // the fake answers there while the agent waits for it
    QDBusConnection m_fakeBus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("fake"));
    FakeNotifications m_fake;
    std::optional<TestEnv> m_env;
    FixedClock m_clock{kTuesday};
    CountingLauncher m_launcher;
    DesktopNotifications m_service{QDBusConnection::sessionBus(), m_launcher};
    std::FILE* m_err = nullptr;

    QString database() const { return m_env->path(QStringLiteral("events.mdb")); }
    std::unique_ptr<RemindAgent> agent(bool once = true)
    {
        return std::make_unique<RemindAgent>(RemindAgent::Setup{[this] { return database(); },
                                                                m_env->path(QStringLiteral("state")), &m_clock,
                                                                &m_service, m_err, once, QLocale::c()});
    }
    QStringList summaries() const
    {
        QStringList texts;
        for (const QStringList& shown : m_fake.shown())
            texts.append(shown[0]);
        return texts;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_fakeBus.isConnected(), "run under dbus-run-session");
        m_thread.start();
        m_fake.moveToThread(&m_thread);
        QVERIFY(m_fakeBus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &m_fake,
                                         QDBusConnection::ExportAllSlots));
    }
    void cleanupTestCase()
    {
        m_thread.quit();
        m_thread.wait();
    }
    void init()
    {
        QVERIFY(m_fakeBus.registerService(kName));
        m_fake.clear();
        m_env.emplace();
        m_clock.setToday(kTuesday);
        m_err = std::tmpfile();
    }
    void cleanup()
    {
        m_fakeBus.unregisterService(kName);
        std::fclose(m_err);
    }

    void dueSet_data()
    {
        QTest::addColumn<EventRecord>("event");
        QTest::addColumn<QDate>("today");
        QTest::addColumn<QStringList>("expected");
        const QDate thursday = kTuesday.addDays(2);
        const EventRecord twoDays = AnEvent("Dentist").once(thursday).warn(2);
        QTest::newRow("on its day") << AnEvent("Dentist").once(kTuesday).warn(1).record() << kTuesday
                                    << QStringList{"2026-12-08 today"};
        QTest::newRow("first day of a 2-day warning") << twoDays << kTuesday << QStringList{"2026-12-10 ahead"};
        QTest::newRow("started late in it") << twoDays << kTuesday.addDays(1) << QStringList{"2026-12-10 ahead"};
        QTest::newRow("before it") << twoDays << kTuesday.addDays(-1) << QStringList{};
        QTest::newRow("across the year end")
            << AnEvent("Dentist").codes(kByDate, kAnnually).date(1, 3, 2020).warn(9).record() << QDate(2026, 12, 27)
            << QStringList{"2027-01-03 ahead"};
        QTest::newRow("a leap day 366 days ahead")
            << AnEvent("Dentist").codes(kByDate, kAnnually).date(2, 29, 2024).warn(366).record() << QDate(2027, 2, 28)
            << QStringList{"2028-02-29 ahead"};
        QTest::newRow("0 days before") << AnEvent("Dentist").once(thursday).warn(0).record() << kTuesday.addDays(1)
                                       << QStringList{};
        QTest::newRow("warning not ticked")
            << AnEvent("Dentist").once(thursday).warn(5, 0).record() << kTuesday << QStringList{};
        QTest::newRow("400 days before") << AnEvent("Dentist").once(thursday).warn(400).record() << kTuesday
                                         << QStringList{};
        QTest::newRow("by date weekly never")
            << AnEvent("Dentist").codes(kByDate, kWeekly).date(12, 8, 2026).warn(9).record() << kTuesday
            << QStringList{};
        QTest::newRow("every Tuesday, 8 days before") << AnEvent("Dentist").weekly(3).warn(8).record() << kTuesday
                                                      << QStringList{"2026-12-08 today", "2026-12-15 ahead"};
    }
    void dueSet()
    {
        QFETCH(EventRecord, event);
        QFETCH(QDate, today);
        QFETCH(QStringList, expected);
        store(database(), {event});
        EventStore events;
        events.open(database());
        const DueFindings found = FindDue(events, today);
        QStringList due;
        for (const DueReminder& r : found.due)
            due.append(r.day.toString(Qt::ISODate) + (r.kind == ReminderKind::Today ? " today" : " ahead"));
        QCOMPARE(due, expected);
    }

    void sendsEachOnceAcrossRestarts()
    {
        store(
            database(),
            {AnEvent(QString(1 << 20, u'x')).description("Bring the card\r\n\nthen \x1b[1mpay").once(kTuesday).warn(1),
             AnEvent("Choir\tpractice\x07").once(kTuesday.addDays(2)).warn(3)});
        QCOMPARE(agent()->look(), LookOutcome::Done);
        QCOMPARE(agent()->look(), LookOutcome::Done); // a restart
        const QList<QStringList> shown = m_fake.shown();
        QCOMPARE(shown[0].mid(0, 2),
                 QStringList({QString(119, u'x') + QChar(0x2026), "Today\nBring the card\nthen [1mpay"}));
        QVERIFY2(shown[1][1].startsWith("In 2 days, Thursday"), qPrintable(shown[1][1]));
        QCOMPARE(shown[1][2], "Quillmoor example.quillmoor.Quillmoor example.quillmoor.Quillmoor");
        m_clock.setToday(kTuesday.addDays(1));
        QCOMPARE(agent()->look(), LookOutcome::Done);
        m_clock.setToday(kTuesday.addDays(2));
        QCOMPARE(agent()->look(), LookOutcome::Done);
        QCOMPARE(summaries(), QStringList({QString(119, u'x') + QChar(0x2026), "Choir practice", "Choir practice"}));
    }

    void anotherCalendarsAlarmGoesOffAtItsTime()
    {
        qputenv("TZ", "UTC");
        const QByteArray day = kTuesday.toString(u"yyyyMMdd").toLatin1();
        CreateEventDatabase(database());
        EventStore s;
        s.open(database());
        s.insert(WithDetails(AnEvent("Dentist").once(kTuesday),
                             "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:d\r\nDTSTART:" + day +
                                 "T103000Z\r\nBEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER:-PT15M\r\n"
                                 "END:VALARM\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n"));
        // The day's reminder at the first look, then the alarm once, from a quarter past ten.
        for (const auto& [time, shown] : {std::pair(QTime(10, 14), 1), {QTime(10, 16), 2}, {QTime(10, 20), 2}}) {
            m_clock.setTime(time);
            QCOMPARE(agent()->look(), LookOutcome::Done);
            QCOMPARE(summaries(), QStringList(shown, "10:30 Dentist"));
        }
        m_clock.setTime(QTime(0, 0));
    }

    void anotherEventUnderASentIdIsRemindedOf()
    {
        store(database(), {AnEvent("Dentist").once(kTuesday).warn(1)});
        QCOMPARE(agent()->look(), LookOutcome::Done);
        QVERIFY(QFile::remove(database())); // a new database in its place counts ids from 1 again
        store(database(), {AnEvent("Choir").once(kTuesday).warn(1)});
        QCOMPARE(agent()->look(), LookOutcome::Done);
        QCOMPARE(summaries(), (QStringList{"Dentist", "Choir"}));
    }

    void waitsForTheServiceThenOpensTheCalendarOnAClick()
    {
        store(database(), {AnEvent("Dentist").once(kTuesday).warn(1)});
        m_fakeBus.unregisterService(kName);
        const auto running = agent(false);
        QCOMPARE(running->look(), LookOutcome::NoService);
        QCOMPARE(running->look(), LookOutcome::NoService);
        QCOMPARE(readBack(m_err).count("No notification service"), 1);
        QVERIFY(!QFile::exists(SentLogFile(m_env->path("state"), database())));
        QVERIFY(m_fakeBus.registerService(kName));
        QCOMPARE(running->look(), LookOutcome::Done);
        QCOMPARE(summaries(), QStringList{"Dentist"});
        QVERIFY(m_fake.shown().first()[3].startsWith("default "));
        for (uint id : {uint(7), uint(101)}) { // a click on another program's notification, then on ours
            QDBusMessage click = QDBusMessage::createSignal("/org/freedesktop/Notifications", kName, "ActionInvoked");
            QVERIFY(m_fakeBus.send(click << id << QStringLiteral("default")));
        }
        QTRY_COMPARE(m_launcher.started, 1);
        QTest::qWait(50);
        QCOMPARE(m_launcher.started, 1);
    }

    void floodBecomesOneSummary_data()
    {
        QTest::addColumn<int>("today");
        QTest::addColumn<int>("ahead");
        QTest::addColumn<QString>("expected");
        QTest::newRow("21 today") << 21 << 0 << "21 events today";
        QTest::newRow("1 today, 20 ahead") << 1 << 20 << "1 event today, 20 coming up";
        QTest::newRow("30 ahead") << 0 << 30 << "30 events coming up";
    }
    void floodBecomesOneSummary()
    {
        QFETCH(int, today);
        QFETCH(int, ahead);
        QFETCH(QString, expected);
        QList<EventRecord> events;
        for (int i = 0; i < today + ahead; ++i)
            events.append(AnEvent(QString::number(i)).once(kTuesday.addDays(i < today ? 0 : 1)).warn(1));
        store(database(), events);
        QCOMPARE(agent()->look(), LookOutcome::Done);
        QCOMPARE(agent()->look(), LookOutcome::Done);
        QCOMPARE(summaries(), QStringList{expected});
        QVERIFY(m_fake.shown().first()[1].endsWith(QStringLiteral("and %1 more").arg(today + ahead - 5)));
    }

    // What was shown before is unknown: one summary stands for what is due, and then the record is sound again.
    void damagedRecordSendsOneSummary()
    {
        store(database(), {AnEvent("A").once(kTuesday).warn(1), AnEvent("Dentist").once(kTuesday).warn(1)});
        QDir().mkpath(m_env->path("state/Quendrix/Quillmoor"));
        QFile file(SentLogFile(m_env->path("state"), database()));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("\x89PNG\r\n") > 0);
        file.close();
        QCOMPARE(agent()->look(), LookOutcome::Done);
        QCOMPARE(agent()->look(), LookOutcome::Done);
        QCOMPARE(summaries(), QStringList{"2 events today"});
        QVERIFY(readBack(m_err).contains("is not a record of reminders"));
    }

    void aRecordAsFoundIsTakenOrReplaced_data()
    {
        QTest::addColumn<QByteArray>("record"); // null: a FIFO
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("of the first kind")
            << QByteArray("# quillmoor-remind 1: x\n1 2026-12-08 today\n") << QStringList{};
        QTest::newRow("a FIFO") << QByteArray() << QStringList{"Dentist"};
    }
    void aRecordAsFoundIsTakenOrReplaced()
    {
        QFETCH(QByteArray, record);
        QFETCH(QStringList, shown);
        store(database(), {AnEvent("Dentist").once(kTuesday).warn(1)});
        QDir().mkpath(m_env->path("state/Quendrix/Quillmoor"));
        QFile file(SentLogFile(m_env->path("state"), database()));
        QVERIFY(record.isNull() ? ::mkfifo(QFile::encodeName(file.fileName()).constData(), 0600) == 0
                                : file.open(QIODevice::WriteOnly) && file.write(record) > 0);
        file.close();
        QCOMPARE(agent()->look(), LookOutcome::Done);
        QCOMPARE(agent()->look(), LookOutcome::Done); // a FIFO was replaced by the record
        QCOMPARE(summaries(), shown);
        QCOMPARE(readBack(m_err).section(" is not a regular file", 0, 0),
                 record.isNull() ? "quillmoor-remind: " + file.fileName() : QString());
    }

    void onceFailsWithOneLineEach()
    {
        const auto run = [this](const QStringList& arguments) {
            const ToolContext tool{.arguments = arguments,
                                   .paths = {{}, m_env->machineDataRoot(), m_env->userDataRoot()},
                                   .clock = &m_clock,
                                   .out = stdout,
                                   .err = m_err};
            return RunRemind({tool, m_env->path("state"), QDBusConnection::sessionBus(), &m_launcher});
        };
        QCOMPARE(run({"--once", "--db", "/nowhere/x.mdb"}), 2);
        m_fakeBus.unregisterService(kName);
        QCOMPARE(run({"--once"}), 2);
        const QStringList said = readBack(m_err).split(u'\n');
        QCOMPARE(said.size(), 3);
        QVERIFY2(said[0].startsWith("quillmoor-remind: ") && said[0].contains("/nowhere/x.mdb"), qPrintable(said[0]));
        QVERIFY2(said[1].contains("No notification service"), qPrintable(said[1]));
    }
};

QTEST_GUILESS_MAIN(TestRemind)
#include "tst_remind.moc"

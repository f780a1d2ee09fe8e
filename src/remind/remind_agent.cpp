#include "remind_agent.h"

#include "core/clock.h"
#include "core/tool_frame.h"
#include "store/data_folder.h"
#include "store/event_store.h"

#include <QCoreApplication>
#include <QDBusError>
#include <QDateTime>
#include <QProcess>
#include <QScopeGuard>

#include <stdexcept>

namespace {

constexpr const auto& kProgram = kRemindProgram;
constexpr char kAgentName[] = "example.quillmoor.Quillmoor.Remind";
constexpr int kQuarterMs = 15 * 60 * 1000;
constexpr int kBusCheckMs = 5000;
// Records are kept a year after their day, so that a clock set back does not send them again.
constexpr int kKeptDays = 366;

} // namespace

void ProcessLauncher::openCalendar()
{
    QProcess::startDetached(m_program, {});
}

RemindOptions ParseRemindArguments(const QStringList& arguments)
{
    const QCommandLineOption once(QStringLiteral("once"), QString());
    const ToolCommandLine parser(kProgram, arguments, {once});
    if (!parser.positional().isEmpty())
        throw std::invalid_argument(QStringLiteral("Unexpected argument \"%1\"; see --help.")
                                        .arg(OneLine(parser.positional().first()))
                                        .toStdString());
    RemindOptions options;
    options.help = parser.help();
    options.version = parser.version();
    options.once = parser.isSet(once);
    options.database = parser.database();
    return options;
}

QString RemindUsage()
{
    return QStringLiteral(
        "Usage: quillmoor-remind [--once] [--db FILE]\n"
        "\n"
        "Reminds you of your Quillmoor events with desktop notifications. An event is due on each day\n"
        "it falls on; when \"Warn you of event\" is ticked with N days before (1 to 366), it is also\n"
        "due from N days before each day it falls on until the day before. Each is shown once: what\n"
        "was shown is recorded in $XDG_STATE_HOME/Quendrix/Quillmoor/ (normally ~/.local/state/...).\n"
        "More than 20 at one look are shown as one notification that counts them.\n"
        "\n"
        "Without --once it keeps running, as the desktop starts it at login: it looks at once, just\n"
        "after every midnight and every 15 minutes; a click on a notification opens Quillmoor. One\n"
        "runs in each desktop session: a second one says so and exits.\n"
        "\n"
        "  --once      look now, show what is due and exit\n"
        "  --db FILE   the event database to read; default: /var/lib/Quendrix/Quillmoor/dbData.mdb,\n"
        "              or $XDG_DATA_HOME/Quendrix/Quillmoor/dbData.mdb (normally ~/.local/share/...)\n"
        "              when the machine-wide file does not exist. Of the database only the starts\n"
        "              of events from other calendars kept ready for the months around today are\n"
        "              written, as the months pass.\n"
        "  -h, --help  show this text\n"
        "  --version   show the program's name and version\n"
        "\n"
        "Exit status (--once): 0 when done, even if nothing was due; 2 for a bad argument, no\n"
        "notification service on the session bus, a database that cannot be read, or a record that\n"
        "cannot be written, with one line on standard error. Without --once, such a failure is one\n"
        "line and the next look tries again.\n");
}

RemindAgent::RemindAgent(Setup setup, QObject* parent) : QObject(parent), m_setup(std::move(setup))
{
    m_quarter.setInterval(kQuarterMs);
    m_quarter.setTimerType(Qt::VeryCoarseTimer);
    connect(&m_quarter, &QTimer::timeout, this, [this] { look(); });
    m_midnight.setSingleShot(true);
    connect(&m_midnight, &QTimer::timeout, this, [this] { look(); });
    m_alarm.setSingleShot(true);
    m_alarm.setTimerType(Qt::PreciseTimer);
    connect(&m_alarm, &QTimer::timeout, this, [this] { look(); });
}

void RemindAgent::start()
{
    m_quarter.start();
    look();
}

void RemindAgent::armMidnight()
{
    // Asked afresh at every look, so that a laptop that slept past midnight is put right.
    const QDateTime now = QDateTime::currentDateTime();
    const QDateTime next(now.date().addDays(1), QTime(0, 0, 5));
    m_midnight.start(int(std::clamp<qint64>(now.msecsTo(next), 1000, 25 * 3600 * 1000)));
}

void RemindAgent::say(const QString& message)
{
    m_saidThisLook = true;
    if (!m_setup.once && m_said.contains(message))
        return;
    m_said.insert(message);
    WriteMessage(m_setup.err, kProgram, message);
}

LookOutcome RemindAgent::look()
{
    m_saidThisLook = false;
    const LookOutcome outcome = lookAt(m_setup.clock->today());
    if (outcome == LookOutcome::Done && !m_saidThisLook)
        m_said.clear();
    if (!m_setup.once && m_quarter.isActive())
        armMidnight();
    return outcome;
}

LookOutcome RemindAgent::lookAt(QDate today)
{
    const QString noService = QStringLiteral("No notification service on the session bus; the reminders wait for one.");
    if (m_setup.once && !m_setup.service->isThere()) {
        say(noService);
        return LookOutcome::NoService;
    }
    const QString database = m_setup.database();
    const QString logFile = SentLogFile(m_setup.stateHome, database);
    if (!m_log || m_log->fileName() != logFile)
        m_log = std::make_unique<SentLog>(logFile, database);
    // What a damaged record held is unknown: the reminders due now may have been shown
    // already, so they go out as one notification rather than as a flood of repeats.
    const std::optional<QString> damaged = m_log->load();
    if (damaged)
        say(*damaged);

    DueFindings findings;
    QDateTime nextAlarm;
    EventStore store;
    try {
        store.open(database);
        findings = FindDue(store, today);
        // Another calendar's alarms at their time: those of the last quarter of an hour, as the
        // agent looks at least that often, and a look armed for the next one.
        const QDateTime now = m_setup.clock->now();
        findings.due += DueAlarms(store, now.addMSecs(-kQuarterMs - 60'000), now, &nextAlarm);
    } catch (const std::exception& e) {
        say(QString::fromUtf8(e.what()));
        return LookOutcome::DatabaseFailed;
    }
    // Once the reminders are out: the agent runs all day and keeps the starts of events from other
    // calendars ready as the present moves, so that the calendar's own start finds them kept. Only
    // a matter of speed: nothing of it is ever worth a message.
    const auto keepDays = qScopeGuard([&] {
        try {
            store.keepDaysAround(today);
        } catch (const std::exception&) {
        }
    });
    if (!m_setup.once && nextAlarm.isValid())
        m_alarm.start(int(std::clamp<qint64>(m_setup.clock->now().msecsTo(nextAlarm) + 1000, 1000, kQuarterMs)));
    if (m_setup.once && findings.ignoredWarnings > 0) {
        say(QStringLiteral("Warnings of days before outside 0 to %1 are ignored (%2 events); those events are "
                           "reminded on their day only.")
                .arg(kMaxDaysBefore)
                .arg(findings.ignoredWarnings));
    }

    QList<DueReminder> unsent;
    for (DueReminder& reminder : findings.due) {
        if (!m_log->contains(reminder))
            unsent.append(std::move(reminder));
    }
    const qsizetype kept = m_log->size();
    m_log->dropBefore(today.addDays(-kKeptDays));
    bool changed = m_log->size() != kept;

    QString error;
    bool sentAll = true;
    if (!unsent.isEmpty()) {
        if (!m_setup.service->isThere()) {
            say(noService);
            sentAll = false;
        } else {
            const bool asOne = unsent.size() > kMostSeparateNotifications || (damaged && unsent.size() > 1);
            const qsizetype before = m_log->size();
            sentAll = send(unsent, today, asOne, error);
            changed = changed || m_log->size() != before;
        }
    }
    // A damaged record stays until what is due went out, so that its summary is not lost.
    if (changed || (damaged && sentAll)) {
        try {
            m_log->save();
        } catch (const std::exception& e) {
            say(QString::fromUtf8(e.what()));
            return LookOutcome::RecordFailed;
        }
    }
    if (!sentAll) {
        if (!error.isEmpty())
            say(QStringLiteral("The notification service did not take a reminder: %1").arg(error));
        return LookOutcome::NoService;
    }
    return LookOutcome::Done;
}

bool RemindAgent::send(const QList<DueReminder>& due, QDate today, bool asOne, QString& error)
{
    if (asOne) {
        Notification summary = SummaryOf(due, today, m_setup.locale);
        summary.opensCalendar = !m_setup.once;
        if (!m_setup.service->show(summary, error))
            return false;
        for (const DueReminder& reminder : due)
            m_log->add(reminder);
        return true;
    }
    for (const DueReminder& reminder : due) {
        Notification one = NotificationOf(reminder, today, m_setup.locale);
        // After the agent exits nothing would answer a click.
        one.opensCalendar = !m_setup.once;
        if (!m_setup.service->show(one, error))
            return false;
        m_log->add(reminder);
    }
    return true;
}

int RunRemind(const RemindEnvironment& env)
{
    const ToolContext& tool = env.tool;
    return ReportFailure(kProgram, tool.err, [&] {
        const RemindOptions options = ParseRemindArguments(tool.arguments);
        if (options.help || options.version)
            return AnswerHelpOrVersion(tool.out, kProgram, options.help, RemindUsage());
        QDBusConnection bus = env.bus;
        DesktopNotifications service(bus, *env.launcher);
        // Chosen afresh at each look: the machine-wide file may appear while the agent runs.
        const auto database = [&] { return ToolDatabase(options.database, tool.paths, DatabaseUse::Read); };
        RemindAgent agent({database, env.stateHome, tool.clock, &service, tool.err, options.once, QLocale()});
        if (options.once)
            return agent.look() == LookOutcome::Done ? 0 : 2;
        // One agent per session: a second one (started by hand beside the autostarted one)
        // would send each reminder again before the first recorded it.
        if (!bus.isConnected()) {
            WriteMessage(tool.err, kProgram,
                         QStringLiteral("No session bus to send notifications on: %1").arg(bus.lastError().message()));
            return 2;
        }
        if (!bus.registerService(QString::fromLatin1(kAgentName))) {
            WriteMessage(tool.err, kProgram, QStringLiteral("Already running in this session."));
            return 0;
        }
        agent.start();
        // The agent belongs to its desktop session, which ends with its bus: left behind, it
        // would remind no one. The bus's own farewell is not delivered reliably, so it is asked.
        QTimer busWatch;
        busWatch.setTimerType(Qt::CoarseTimer);
        QObject::connect(&busWatch, &QTimer::timeout, [&] {
            if (!bus.isConnected())
                QCoreApplication::exit(0);
        });
        busWatch.start(kBusCheckMs);
        return QCoreApplication::exec();
    });
}

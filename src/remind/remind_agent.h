#pragma once

#include "core/tool_frame.h"
#include "notifications.h"
#include "sent_log.h"

#include <QLocale>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <memory>

class Clock;

/// Starts the calendar program as a process of its own.
class ProcessLauncher final : public CalendarLauncher
{
public:
    explicit ProcessLauncher(QString program) : m_program(std::move(program)) {}
    void openCalendar() override;

private:
    QString m_program;
};

/// The program's name, which begins each line it writes to standard error.
inline constexpr char kRemindProgram[] = "quillmoor-remind";

/// What the command line of quillmoor-remind asks for.
struct RemindOptions
{
    bool help = false;
    bool version = false;
    bool once = false;
    QString database; ///< empty: DefaultDatabase()
};

/// Reads the arguments that follow the program name. Throws std::invalid_argument with a
/// one-line message for an unknown option, a missing value or any other argument.
[[nodiscard]] RemindOptions ParseRemindArguments(const QStringList& arguments);

/// The text --help prints.
[[nodiscard]] QString RemindUsage();

/// How one look ended.
enum class LookOutcome
{
    Done,           ///< everything due was sent (or nothing was due)
    NoService,      ///< reminders were due and no notification service took them
    DatabaseFailed, ///< the events could not be read
    RecordFailed,   ///< sent, but what was sent could not be recorded
};

/// The reminder agent: looks at the events, sends what is due and not yet sent, and
/// records it. Each look reads the event table and the record afresh.
class RemindAgent final : public QObject
{
    Q_OBJECT

public:
    struct Setup
    {
        std::function<QString()> database; ///< the event database, asked at each look
        QString stateHome;
        const Clock* clock = nullptr;
        NotificationService* service = nullptr;
        std::FILE* err = stderr;
        bool once = false; ///< one look by a user: the notifications offer no click, odd warnings are named
        QLocale locale;
    };
    explicit RemindAgent(Setup setup, QObject* parent = nullptr);

    /// One look now. Each failure is one line on `err`; in a running agent the same
    /// failure is not repeated until a look succeeds.
    LookOutcome look();
    /// Looks now, just after every local midnight and every 15 minutes.
    void start();

private:
    void say(const QString& message);
    void armMidnight();
    [[nodiscard]] LookOutcome lookAt(QDate today);
    bool send(const QList<DueReminder>& due, QDate today, bool asOne, QString& error);

    Setup m_setup;
    std::unique_ptr<SentLog> m_log;
    QSet<QString> m_said; // what a running agent already said since its last good look
    bool m_saidThisLook = false;
    QTimer m_quarter;
    QTimer m_midnight;
    QTimer m_alarm; // the next alarm of an event from another calendar
};

/// What quillmoor-remind's main gives it beside what every tool gets.
struct RemindEnvironment
{
    ToolContext tool;
    QString stateHome;          ///< where the records of what was sent are kept
    QDBusConnection bus;        ///< the session's, where the notification service is
    CalendarLauncher* launcher; ///< opens the calendar on a click
};

/// The whole tool: `--once` looks once and returns 0 when done or 2 after one line on
/// standard error (no notification service, unreadable database, record not written); without
/// it the agent runs in the application's event loop and the launcher opens the calendar on a
/// click.
int RunRemind(const RemindEnvironment& env);

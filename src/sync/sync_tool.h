#pragma once

#include "core/tool_frame.h"
#include "sync_engine.h"

#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

/// The program's name, which begins each line it writes to standard error.
inline constexpr char kSyncProgram[] = "quillmoor-sync";

/// What the command line of quillmoor-sync asks for.
struct SyncOptions
{
    enum class Command
    {
        Sync,
        StorePassword,
        Help,
        Version,
    };
    Command command = Command::Sync;
    QString database;        ///< empty: the calendar's own database
    QUrl url;                ///< the collection, ending in "/", without user information
    QString user;            ///< from --user, else from the URL
    QString passwordCommand; ///< empty: the Secret Service when there is a user, else no password
};

/// Reads the arguments that follow the program name; with no URL, the `url`, `user`, `db` and
/// `password-command` keys of `configFile` (an INI file; may be missing). Throws
/// std::invalid_argument with one line for an unknown option, a missing or bad URL, plain http
/// to anything but a loopback address, or an empty value.
[[nodiscard]] SyncOptions ParseSyncArguments(const QStringList& arguments, const QString& configFile);

/// The text --help prints.
[[nodiscard]] QString SyncUsage();

/// The first line `command` prints (run by /bin/sh). Throws SyncError when it fails, runs
/// longer than `timeoutMs` or prints nothing.
[[nodiscard]] QString PasswordFromCommand(const QString& command, int timeoutMs = 30000);

/// The summary line of a sync.
[[nodiscard]] QString SummaryLine(const SyncSummary& summary);

/// What quillmoor-sync's main gives it beside what every tool gets, so that tests supply
/// their own. The context's moment and host name stamp and name the events that go up.
struct SyncEnvironment
{
    ToolContext tool;
    QString configFile;
    /// Reads the Secret Service's password for (url, user): empty when there is none.
    std::function<QString(const QUrl&, const QString&)> readSecret;
    /// Asks for a password and stores it for (url, user); throws SyncError on failure.
    std::function<void(const QUrl&, const QString&)> storeSecret;
    /// How long a sync waits for another sync of the same database to finish.
    int lockWaitMs = 30000;
    /// How long the server may stay silent in one request.
    int timeoutMs = 60000;
};

/// The whole tool: syncs, then one summary line on standard output. Returns 0 when done, 1 when
/// done with server events or rows left as they are, 2 after one line on standard error for a
/// bad argument, a server or database failure, or another sync of the same database running.
int RunSync(const SyncEnvironment& env);

#include "sync_tool.h"

#include "core/own_file.h"
#include "core/tool_frame.h"
#include "store/data_folder.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QScopeGuard>
#include <QSettings>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <csignal>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const auto& kProgram = kSyncProgram;

[[noreturn]] void bad(const QString& message)
{
    throw std::invalid_argument(message.toStdString());
}

bool isLoopback(const QString& host)
{
    if (host.compare(u"localhost", Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

QUrl collectionUrl(const QString& text, QString& user)
{
    QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        bad(QStringLiteral("\"%1\" is not a calendar URL such as https://cloud.example/dav/calendars/alice/family/.")
                .arg(OneLine(text)));
    if (url.scheme() == u"http") {
        if (!isLoopback(url.host()))
            bad(QStringLiteral("Plain http:// would send the calendar and password unprotected; use https:// "
                               "(http:// is accepted only for a loopback address)."));
    } else if (url.scheme() != u"https") {
        bad(QStringLiteral("The URL must start with https:// (or http:// for a loopback address)."));
    }
    if (!url.password().isEmpty())
        bad(QStringLiteral("Give no password in the URL; see --store-password and --password-command."));
    if (user.isEmpty())
        user = url.userName();
    url.setUserInfo(QString());
    url.setQuery(QString());
    url.setFragment(QString());
    if (!url.path().endsWith(u'/'))
        url.setPath(url.path() + u'/');
    return url;
}

// Two syncs of one database would each push what the other is pushing. The kernel drops this
// lock with its holder, so a sync that crashed never blocks another user's. In the shared
// folder the file may be another user's: flock needs only a read-only descriptor, and the
// file is opened without O_CREAT first, which the kernel refuses on another user's file in a
// sticky folder (fs.protected_regular).
class SyncLock
{
public:
    SyncLock(const QString& database, int waitMs)
    {
        const QString file = database + QStringLiteral(".sync-lock");
        const QByteArray name = QFile::encodeName(file);
        constexpr int kFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
        m_fd = ::open(name.constData(), kFlags);
        if (m_fd < 0 && errno == ENOENT)
            m_fd = ::open(name.constData(), kFlags | O_CREAT | O_EXCL, 0644);
        if (m_fd < 0 && errno == EEXIST) // another sync made it a moment ago
            m_fd = ::open(name.constData(), kFlags);
        auto closeOnFailure = qScopeGuard([this] {
            if (m_fd >= 0)
                ::close(m_fd);
        });
        struct stat st;
        if (m_fd < 0 || ::fstat(m_fd, &st) != 0)
            throw SyncError(QStringLiteral("cannot open the lock file %1: %2")
                                .arg(file, QString::fromLocal8Bit(std::strerror(errno)))
                                .toStdString());
        if (!S_ISREG(st.st_mode))
            throw SyncError(QStringLiteral("the lock file %1 is not a plain file; remove it").arg(file).toStdString());
        QElapsedTimer waited;
        waited.start();
        while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK && errno != EINTR)
                throw SyncError(QStringLiteral("cannot lock %1: %2")
                                    .arg(file, QString::fromLocal8Bit(std::strerror(errno)))
                                    .toStdString());
            if (waited.elapsed() >= waitMs)
                throw SyncError(
                    QStringLiteral("another sync of %1 is still running; try again later").arg(database).toStdString());
            QThread::msleep(100);
        }
        closeOnFailure.dismiss();
    }
    ~SyncLock() { ::close(m_fd); }
    SyncLock(const SyncLock&) = delete;
    SyncLock& operator=(const SyncLock&) = delete;

private:
    int m_fd = -1;
};

int runSync(const SyncOptions& options, const SyncEnvironment& env, std::FILE* out)
{
    QString password;
    if (!options.passwordCommand.isEmpty())
        password = PasswordFromCommand(options.passwordCommand);
    else if (!options.user.isEmpty() && env.readSecret)
        password = env.readSecret(options.url, options.user);

    const QString database = ToolDatabase(options.database, env.tool.paths, DatabaseUse::Prepare);
    const SyncLock lock(database, env.lockWaitMs);
    LinkState state(database, options.url.toString(QUrl::FullyEncoded));
    DavClient client(options.url, options.user, password, env.timeoutMs);
    const SyncSummary summary = Synchronize(state, client, env.tool.now, env.tool.hostName);
    WriteAll(out, (SummaryLine(summary) + u'\n').toUtf8());
    return summary.leftAlone > 0 ? 1 : 0;
}

} // namespace

SyncOptions ParseSyncArguments(const QStringList& arguments, const QString& configFile)
{
    const QCommandLineOption user(QStringLiteral("user"), QString(), QStringLiteral("NAME"));
    const QCommandLineOption command(QStringLiteral("password-command"), QString(), QStringLiteral("CMD"));
    const QCommandLineOption store(QStringLiteral("store-password"), QString());
    const ToolCommandLine parser(kProgram, arguments, {user, command, store});

    SyncOptions options;
    if (parser.help()) {
        options.command = SyncOptions::Command::Help;
        return options;
    }
    if (parser.version()) {
        options.command = SyncOptions::Command::Version;
        return options;
    }
    for (const QString& name : {QStringLiteral("db"), QStringLiteral("user"), QStringLiteral("password-command")}) {
        if (parser.isSet(name) && parser.value(name).isEmpty())
            bad(QStringLiteral("The value after --%1 is empty.").arg(name));
    }
    const QStringList rest = parser.positional();
    if (rest.size() > 1)
        bad(QStringLiteral("Give one calendar URL."));
    QString urlText = rest.value(0);
    if (urlText.isEmpty()) {
        // QSettings would wait for ever on a FIFO in the file's place.
        if (const std::optional<QString> problem = OwnFileProblem(configFile))
            bad(*problem + QStringLiteral(" Give the calendar's URL."));
        const QSettings config(configFile, QSettings::IniFormat);
        urlText = config.value(QStringLiteral("url")).toString();
        if (urlText.isEmpty())
            bad(QStringLiteral("Give the calendar's URL, or set url= in %1.").arg(configFile));
        options.user = config.value(QStringLiteral("user")).toString();
        options.database = config.value(QStringLiteral("db")).toString();
        options.passwordCommand = config.value(QStringLiteral("password-command")).toString();
    }
    if (parser.isSet(user))
        options.user = parser.value(user);
    if (const QString database = parser.database(); !database.isEmpty())
        options.database = database;
    if (parser.isSet(command))
        options.passwordCommand = parser.value(command);
    options.url = collectionUrl(urlText, options.user);
    if (parser.isSet(store)) {
        options.command = SyncOptions::Command::StorePassword;
        if (options.user.isEmpty())
            bad(QStringLiteral("--store-password needs a user name: --user NAME, or NAME@ in the URL."));
    }
    return options;
}

QString PasswordFromCommand(const QString& command, int timeoutMs)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // A group of its own: what the command started ends with it, and holds no pipe or standard
    // error of ours open after the sync gave up.
    process.setChildProcessModifier([] { ::setpgid(0, 0); });
    process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command}, QIODevice::ReadOnly);
    const auto group = pid_t(process.processId());
    const auto endGroup = qScopeGuard([group] {
        if (group > 0)
            ::kill(-group, SIGKILL);
    });
    if (!process.waitForFinished(timeoutMs)) {
        ::kill(-group, SIGKILL);
        process.waitForFinished(1000);
        throw SyncError(
            QStringLiteral("the password command did not finish within %1 s").arg(timeoutMs / 1000).toStdString());
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        throw SyncError(
            QStringLiteral("the password command failed (exit status %1)").arg(process.exitCode()).toStdString());
    const QString line = QString::fromUtf8(process.readAllStandardOutput()).section(u'\n', 0, 0).remove(u'\r');
    if (line.isEmpty())
        throw SyncError("the password command printed no password");
    return line;
}

QString SummaryLine(const SyncSummary& s)
{
    return QStringLiteral("%1 came down, %2 went up, %3 deleted here, %4 deleted on the server, "
                          "%5 kept as conflict copies, %6 left as they are")
               .arg(s.down)
               .arg(s.up)
               .arg(s.deletedHere)
               .arg(s.deletedThere)
               .arg(s.conflicts)
               .arg(s.leftAlone) +
           (s.unreadable ? QStringLiteral(", %1 of them not iCalendar or too large to read (the first: %2)")
                               .arg(s.unreadable)
                               .arg(s.firstUnreadable)
                         : QString()) +
           (s.outside ? QStringLiteral(", %1 ignored, outside the calendar").arg(s.outside) : QString());
}

QString SyncUsage()
{
    return QStringLiteral("Usage: quillmoor-sync [--db FILE] [--user NAME] [--password-command CMD] [URL]\n"
                          "  or:  quillmoor-sync --store-password [--user NAME] URL\n"
                          "\n"
                          "Syncs Quillmoor's events with a calendar collection on a CalDAV server, both ways, and\n"
                          "prints one line: how many events came down, went up, were deleted on either side, were\n"
                          "kept as conflict copies, and were left as they are.\n"
                          "\n"
                          "An event changed on both sides takes the server's version; the local version is kept as a\n"
                          "new event. Server events come down with their times, zones, days, repeats, gaps and\n"
                          "moved occurrences, as quillmoor-ics import reads them; only those the calendar cannot\n"
                          "show (a rule libical refuses or one more often than daily, an unknown zone, ...) are\n"
                          "left untouched and counted. An edit here changes only the title, description or days\n"
                          "on the server; the rest of the event stays as it came.\n"
                          "\n"
                          "  URL            the calendar collection, https://... (http:// only for a loopback\n"
                          "                 address); default: url= in $XDG_CONFIG_HOME/Quendrix/sync.conf\n"
                          "  --db FILE      the event database; default: the one the calendar uses,\n"
                          "                 /var/lib/Quendrix/Quillmoor/dbData.mdb or, where that cannot be used,\n"
                          "                 $XDG_DATA_HOME/Quendrix/Quillmoor/dbData.mdb\n"
                          "  --user NAME    the user name on the server; default: NAME@ in the URL\n"
                          "  --password-command CMD\n"
                          "                 the password is the first line CMD prints (for machines without a\n"
                          "                 desktop); default: the one stored with --store-password in the\n"
                          "                 desktop's Secret Service, or none\n"
                          "  --store-password  asks for the password once and stores it in the Secret Service\n"
                          "  -h, --help     show this text\n"
                          "  --version      show the version\n"
                          "\n"
                          "Exit status: 0 when done; 1 when done and events were left as they are; 2 for a bad\n"
                          "argument, a server or database failure, or another sync of the same database running,\n"
                          "with one line on standard error. What a failed sync did not finish, the next one does.\n");
}

int RunSync(const SyncEnvironment& env)
{
    const ToolContext& tool = env.tool;
    return ReportFailure(
        kProgram, tool.err,
        [&] {
            const SyncOptions options = ParseSyncArguments(tool.arguments, env.configFile);
            switch (options.command) {
            case SyncOptions::Command::Help:
            case SyncOptions::Command::Version:
                return AnswerHelpOrVersion(tool.out, kProgram, options.command == SyncOptions::Command::Help,
                                           SyncUsage());
            case SyncOptions::Command::StorePassword:
                if (!env.storeSecret)
                    throw SyncError("no Secret Service is available here; use --password-command");
                env.storeSecret(options.url, options.user);
                return 0;
            case SyncOptions::Command::Sync:
                try {
                    return runSync(options, env, tool.out);
                } catch (const StoreError& e) {
                    // The line names the database, which the store's own message may not.
                    throw std::runtime_error("The event database: " + std::string(e.what()));
                }
            }
            return 2;
        },
        QStringLiteral("There is not enough memory for this sync."));
}

#pragma once

#include "console.h"
#include "paths.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <functional>

class Clock;

// The frame every command-line tool runs in: what main hands to the tool, the options they
// all take, and the one way a failure ends a run.

/// What a tool's main gives its Run function; tests fill one of their own.
struct ToolContext
{
    QStringList arguments{};      ///< those after the program name
    AppPaths paths{};             ///< where the calendar's own database is looked for
    const Clock* clock = nullptr; ///< today's date
    QDateTime now{};              ///< the moment the run started, in UTC
    QString hostName{};           ///< the machine's name, "localhost" when it has none
    std::FILE* in = nullptr;      ///< each stream null when it was closed at the start
    std::FILE* out = nullptr;
    std::FILE* err = nullptr;
};

/// The arguments of one tool, parsed with the options every tool takes (-h/--help, --version,
/// --db FILE) and the tool's own.
class ToolCommandLine
{
public:
    /// Throws std::invalid_argument with the parser's message on one line for an unknown
    /// option or a missing value.
    ToolCommandLine(const char* program, const QStringList& arguments, const QList<QCommandLineOption>& own = {});

    [[nodiscard]] bool help() const;
    [[nodiscard]] bool version() const;
    /// The file after --db, empty when there is none. Throws std::invalid_argument when the
    /// name given is empty.
    [[nodiscard]] QString database() const;

    [[nodiscard]] bool isSet(const QString& name) const { return m_parser.isSet(name); }
    [[nodiscard]] bool isSet(const QCommandLineOption& option) const { return m_parser.isSet(option); }
    [[nodiscard]] QString value(const QString& name) const { return m_parser.value(name); }
    [[nodiscard]] QString value(const QCommandLineOption& option) const { return m_parser.value(option); }
    [[nodiscard]] QStringList positional() const { return m_parser.positionalArguments(); }

private:
    QCommandLineParser m_parser;
};

/// Writes `usage` to `out` for --help, else the version line; returns the status 0.
int AnswerHelpOrVersion(std::FILE* out, const char* program, bool help, const QString& usage);

/// Runs `work` and returns its status; when it throws, writes "program: message" as one line
/// on `err` and returns 2. Running out of memory is told as `outOfMemory` (by default, that
/// there is not enough memory).
int ReportFailure(const char* program, std::FILE* err, const std::function<int()>& work,
                  const QString& outOfMemory = {});

/// The machine's name for the identifiers and stamps a tool writes; "localhost" when unknown.
[[nodiscard]] QString HostName();

/// A tool's main: opens the standard streams, fills the context from this process (its
/// arguments, the installed folders, the system clock, now) and runs `run` with it; then
/// closes standard output, so that output lost at the end still fails the run.
int ToolMain(int argc, char** argv, const char* program, const std::function<int(const ToolContext&)>& run);

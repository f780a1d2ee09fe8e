#pragma once

#include "core/tool_frame.h"
#include "export.h"

#include <QString>
#include <QStringList>

/// The program's name, which begins each line it writes to standard error.
inline constexpr char kIcsProgram[] = "quillmoor-ics";

/// What the command line of quillmoor-ics asks for.
struct IcsOptions
{
    enum class Command
    {
        Help,
        Version,
        Export,
        Import,
    };
    Command command = Command::Help;
    QString database; ///< empty: the calendar's own database
    QString file;     ///< export: where to write, empty or "-" for standard output;
                      ///< import: what to read, "-" for standard input
};

/// Reads the arguments that follow the program name. Throws std::invalid_argument with
/// a one-line message for a missing or unknown command, an unknown option, a missing
/// value, or a file where the command takes none (or none where it needs one).
[[nodiscard]] IcsOptions ParseIcsArguments(const QStringList& arguments);

/// The text --help prints.
[[nodiscard]] QString IcsUsage();

/// The whole tool. Export reads --db or the database the calendar shows (creating nothing)
/// and writes the iCalendar text, stamped with the context's moment and host name, to -o FILE
/// (replaced only once it is complete; a FIFO or a device is written to) or standard output;
/// each event left out is one line on standard error. Import reads the file whole before it
/// opens --db, or the calendar's own database (prepared as at the calendar's first start),
/// stores its events in one transaction, then writes a line per skipped event or alarm to
/// standard error and a summary to standard output. Returns 0 when done (import: nothing
/// skipped), 1 when an import skipped events, and 2 after one line on standard error for a bad
/// argument, an unreadable file or database, or a failed store, which then holds what it held
/// before.
int RunIcs(const ToolContext& tool);

#pragma once

#include "calendar/event_record.h"
#include "calendar/month_grid.h"
#include "core/tool_frame.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

/// A month written as YYYY-MM: four ASCII digits for a year 0001..9999, a hyphen, two
/// for a month 01..12. Nothing for any other text, blanks included.
[[nodiscard]] std::optional<ViewedMonth> ParseMonth(const QString& text);

/// The program's name, which begins each line it writes to standard error.
inline constexpr char kAgendaProgram[] = "quillmoor-agenda";

/// What the command line of quillmoor-agenda asks for.
struct AgendaOptions
{
    bool help = false;
    bool version = false;
    bool mend = false;                ///< drop what the program never makes instead of listing
    QString database;                 ///< empty: DefaultDatabase()
    std::optional<ViewedMonth> month; ///< empty: the current month, unless `days` is set
    int days = 0;                     ///< 1..kMaxAgendaDays: that many days from today; 0: a month
};

/// The longest stretch --days lists: a year, leap day included.
inline constexpr int kMaxAgendaDays = 366;

/// Reads the arguments that follow the program name: a month, or "today" (one day) or
/// --days N (N days from today). Throws std::invalid_argument with a one-line message for
/// an unknown option, a missing value, a second month, a month that ParseMonth rejects, a
/// month with "today" or --days, or an N that is not a whole number from 1 to kMaxAgendaDays.
[[nodiscard]] AgendaOptions ParseAgendaArguments(const QStringList& arguments);

/// One UTF-8 line "YYYY-MM-DD<tab>title" per day of `month` on which an event falls,
/// by day and, within a day, in the order `events` gives them (as the month grid lists
/// them). Throws what the source throws; nothing is returned then.
[[nodiscard]] QByteArray AgendaText(ViewedMonth month, const EventSource& events);

/// The lines AgendaText gives for the `days` days from `first` on (fewer past 9999-12-31).
[[nodiscard]] QByteArray AgendaDaysText(QDate first, int days, const EventSource& events);

/// The text --help prints.
[[nodiscard]] QString AgendaUsage();

/// The whole tool: parses the arguments, reads the database and writes the agenda to
/// standard output. Returns 0, or 2 after one line on standard error for a bad argument
/// or a database that cannot be read.
int RunAgenda(const ToolContext& tool);

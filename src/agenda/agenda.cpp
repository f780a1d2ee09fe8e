#include "agenda.h"

#include "calendar/occurrence.h"
#include "core/clock.h"
#include "core/tool_frame.h"
#include "store/data_folder.h"
#include "store/event_store.h"

#include <algorithm>
#include <array>
#include <stdexcept>

namespace {

constexpr const auto& kProgram = kAgendaProgram;

bool isAsciiDigits(QStringView text)
{
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return true;
}

} // namespace

std::optional<ViewedMonth> ParseMonth(const QString& text)
{
    if (text.size() != 7 || text[4] != u'-')
        return std::nullopt;
    const QStringView year = QStringView(text).left(4);
    const QStringView month = QStringView(text).mid(5);
    if (!isAsciiDigits(year) || !isAsciiDigits(month))
        return std::nullopt;
    const ViewedMonth view{month.toInt(), year.toInt()};
    if (view.month < 1 || view.month > 12 || view.year < 1)
        return std::nullopt;
    return view;
}

AgendaOptions ParseAgendaArguments(const QStringList& arguments)
{
    const QCommandLineOption mend(QStringLiteral("mend"), QString());
    const QCommandLineOption days(QStringLiteral("days"), QString(), QStringLiteral("N"));
    const ToolCommandLine parser(kProgram, arguments, {days, mend});

    AgendaOptions options;
    options.help = parser.help();
    options.version = parser.version();
    if (options.help || options.version)
        return options;
    options.database = parser.database();
    options.mend = parser.isSet(mend);
    const QStringList rest = parser.positional();
    if (options.mend && !rest.isEmpty())
        throw std::invalid_argument("--mend lists no month.");
    if (rest.size() > 1)
        throw std::invalid_argument(QStringLiteral("Give at most one month; got %1.")
                                        .arg(OneLine(rest.join(QStringLiteral(", "))))
                                        .toStdString());
    if (parser.isSet(days)) {
        bool number = false;
        options.days = parser.value(days).toInt(&number);
        if (!number || !isAsciiDigits(parser.value(days)) || options.days < 1 || options.days > kMaxAgendaDays)
            throw std::invalid_argument(QStringLiteral("--days takes a number of days from 1 to %1; got \"%2\".")
                                            .arg(kMaxAgendaDays)
                                            .arg(OneLine(parser.value(days)))
                                            .toStdString());
    }
    if (!rest.isEmpty() && rest.first() == u"today") {
        options.days = std::max(options.days, 1);
    } else if (!rest.isEmpty()) {
        if (options.days)
            throw std::invalid_argument("Give a month or --days, not both.");
        options.month = ParseMonth(rest.first());
        if (!options.month)
            throw std::invalid_argument(
                QStringLiteral("\"%1\" is not a month; write it as YYYY-MM.").arg(OneLine(rest.first())).toStdString());
    }
    return options;
}

namespace {

// The lines of the days from `first` to `last`: by day, and within a day in the order the
// month lists its events.
QByteArray agendaLines(QDate first, QDate last, const EventSource& events)
{
    if (!first.isValid() || !last.isValid() || last < first)
        return {};
    QList<QByteArray> days(first.daysTo(last) + 1);
    QList<QByteArray> dates(days.size()); // "YYYY-MM-DD", made once a day
    QString titled;                       // what `title` was made of
    QByteArray title;
    ForEachOccurrence(events, {first, last, first}, [&](const Occurrence& o) {
        // A row's title is written once for all its days.
        if (o.title != titled) {
            titled = o.title.toString();
            title = OneLine(titled).toUtf8();
        }
        const qint64 index = first.daysTo(o.day);
        if (dates[index].isEmpty())
            dates[index] = o.day.toString(Qt::ISODate).toLatin1();
        QByteArray& lines = days[index];
        lines += dates[index];
        if (o.start.isValid())
            lines += ' ' + o.start.toString(QStringLiteral("HH:mm")).toLatin1();
        else if (o.goesOn)
            lines += " \u2192" + (o.end.isValid() ? o.end.toString(QStringLiteral("HH:mm")).toLatin1() : QByteArray());
        lines += '\t';
        lines += title;
        lines += '\n';
    });
    qsizetype size = 0;
    for (const QByteArray& lines : std::as_const(days))
        size += lines.size();
    QByteArray text;
    text.reserve(size);
    for (const QByteArray& lines : std::as_const(days))
        text += lines;
    return text;
}

} // namespace

QByteArray AgendaText(ViewedMonth month, const EventSource& events)
{
    const MonthFrame frame = MonthFrame::of(month.month, month.year);
    const QDate first(frame.year, frame.month, 1);
    return agendaLines(first, first.addDays(frame.dayCount - 1), events);
}

QByteArray AgendaDaysText(QDate first, int days, const EventSource& events)
{
    return agendaLines(first, std::min(first.addDays(days - 1), QDate(9999, 12, 31)), events);
}

QString AgendaUsage()
{
    return QStringLiteral(
        "Usage: quillmoor-agenda [--db FILE] [YYYY-MM]\n"
        "       quillmoor-agenda [--db FILE] today\n"
        "       quillmoor-agenda [--db FILE] --days N\n"
        "       quillmoor-agenda --mend [--db FILE]\n"
        "\n"
        "Lists the Quillmoor events of one month, of today, or of today and the next N-1 days,\n"
        "one line per occurrence:\n"
        "the date as YYYY-MM-DD (and, for an event from another calendar that starts at a time\n"
        "that day, a blank and HH:MM; on a later day of such an event, a blank, \u2192 and the HH:MM\n"
        "it ends that day, or \u2192 alone where it goes on all day), a tab, then the event's title.\n"
        "Lines come in day order and,\n"
        "within a day, in the order the calendar's month view lists the titles.\n"
        "Control characters in a title (line breaks, tabs and the like) are printed as blanks,\n"
        "so every occurrence is exactly one line.\n"
        "\n"
        "  YYYY-MM    the month to list, e.g. 2024-03; default: the current month\n"
        "  today      list today's events only (as --days 1)\n"
        "  --days N   list today's events and those of the next N-1 days (N from 1 to 366)\n"
        "  --db FILE  the event database to read; default: /var/lib/Quendrix/Quillmoor/dbData.mdb,\n"
        "             or $XDG_DATA_HOME/Quendrix/Quillmoor/dbData.mdb (normally\n"
        "             ~/.local/share/...) when the machine-wide file does not exist.\n"
        "             Only --mend writes to it; nothing is created.\n"
        "  --mend     drop the views, triggers and indexes that Quillmoor never makes from\n"
        "             the database, keeping every table and row, and print each change\n"
        "  -h, --help  show this text\n"
        "  --version   show the name and version\n"
        "\n"
        "Exit status: 0 when the days were listed (days without events print nothing);\n"
        "2 for a bad argument or a database that cannot be read, with one line on standard error.\n");
}

int RunAgenda(const ToolContext& tool)
{
    return ReportFailure(kProgram, tool.err, [&] {
        const AgendaOptions options = ParseAgendaArguments(tool.arguments);
        if (options.help || options.version)
            return AnswerHelpOrVersion(tool.out, kProgram, options.help, AgendaUsage());
        const QDate today = tool.clock->today();
        const ViewedMonth month = options.month.value_or(ViewedMonth{today.month(), today.year()});
        const QString file = ToolDatabase(options.database, tool.paths, DatabaseUse::Read);
        if (options.mend) {
            for (const QString& change : MendEventDatabase(file))
                WriteAll(tool.out, (file + QStringLiteral(": ") + change + u'\n').toUtf8());
            return 0;
        }

        EventStore store;
        store.open(file);
        WriteAll(tool.out, options.days ? AgendaDaysText(today, options.days, store) : AgendaText(month, store));
        return 0;
    });
}

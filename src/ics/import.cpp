#include "import.h"

#include "core/console.h"
#include "ical/event_mapping.h"
#include "ical/untrusted_text.h"

#include <QSet>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <new>
#include <string_view>
#include <vector>

namespace {

bool has(icalcomponent* component, icalproperty_kind kind)
{
    return icalcomponent_get_first_property(component, kind) != nullptr;
}

// One VEVENT as read, kept until the whole file is read: a later event may change
// occurrences of an earlier one.
struct ReadEvent
{
    QString summary;
    QByteArray uid;
    std::variant<EventRecord, QString> outcome; ///< the fields to store, or why not
    QStringList notes;                          ///< what the calendar keeps differently: a time of day, alarms left out
};

ReadEvent readEvent(icalcomponent* e)
{
    ReadEvent event;
    const char* summary = icalcomponent_get_summary(e);
    event.summary = summary ? QString::fromUtf8(summary) : QString();
    if (!has(e, ICAL_RECURRENCEID_PROPERTY)) {
        // Only the master of a changed series keeps its UID here; see ReadCalendar.
        event.uid = QByteArray(icalcomponent_get_uid(e));
    }
    ReadVEvent read = ReadEventComponent(e);
    event.outcome = std::move(read.outcome);
    if (std::holds_alternative<EventRecord>(event.outcome)) {
        // The calendar keeps days only: say so rather than lose the hour unseen.
        const icaltimetype start = icalcomponent_get_dtstart(e);
        if (!start.is_date)
            event.notes.append(QStringLiteral("kept on %1 without its time %2:%3")
                                   .arg(QDate(start.year, start.month, start.day).toString(Qt::ISODate))
                                   .arg(start.hour, 2, 10, QLatin1Char('0'))
                                   .arg(start.minute, 2, 10, QLatin1Char('0')));
    }
    event.notes += read.alarmsLeftOut;
    return event;
}

struct ParserDeleter
{
    void operator()(icalparser* parser) const { icalparser_free(parser); }
};
using ParserPtr = std::unique_ptr<icalparser, ParserDeleter>;

// Whether a content line is `expected`, in any case and with blanks around it.
bool isLine(const char* line, std::string_view expected)
{
    std::string_view text(line);
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text.size() == expected.size() && qstrnicmp(text.data(), expected.data(), text.size()) == 0;
}

} // namespace

ImportedCalendar ReadCalendar(const QByteArray& text)
{
    // libical reads C strings: a NUL would end the text early, unseen.
    if (const std::optional<QString> nul = NulBytesIn(text))
        throw ICalendarError(nul->toStdString());
    icalerror_set_errors_are_fatal(0);
    // A byte order mark, as some programs write before the first line, is no content.
    const qsizetype bom = text.startsWith("\xEF\xBB\xBF") ? 3 : 0;

    // libical unfolds the content lines; each VEVENT goes to a parser of its own, so that
    // memory holds one event at a time and not a tree of the whole file (twenty times its
    // size). Everything else builds the calendars around them.
    std::pair<const char*, const char*> cursor{text.constData() + bom, text.constData() + text.size()};
    const ParserPtr lines(icalparser_new());
    const ParserPtr calendarParser(icalparser_new());
    const ParserPtr eventParser(icalparser_new());
    if (!lines || !calendarParser || !eventParser)
        throw std::bad_alloc();
    icalparser_set_gen_data(lines.get(), &cursor);

    std::vector<ReadEvent> events;
    QSet<QByteArray> changedUids;
    bool inCalendar = false;
    bool inEvent = false;
    int calendars = 0;
    ComponentNesting nesting;
    std::optional<QString> badRule;
    while (const ICalText line{icalparser_get_line(lines.get(), NextICalLine)}) {
        if (const std::optional<QString> damaged = nesting.take(line.get()))
            throw ICalendarError(damaged->toStdString());
        if (!inEvent && inCalendar && isLine(line.get(), "BEGIN:VEVENT")) {
            inEvent = true;
            badRule.reset();
        }
        if (inEvent) {
            if (!badRule)
                badRule = RuleOutOfRange(line.get());
            if (const ComponentPtr event{icalparser_add_line(eventParser.get(), line.get())}) {
                inEvent = false;
                if (icalcomponent_isa(event.get()) != ICAL_VEVENT_COMPONENT)
                    continue;
                const QByteArray uid(icalcomponent_get_uid(event.get()));
                if (has(event.get(), ICAL_RECURRENCEID_PROPERTY) && !uid.isEmpty())
                    changedUids.insert(uid);
                events.push_back(readEvent(event.get()));
                if (badRule)
                    events.back().outcome = *badRule;
            }
            continue;
        }
        if (isLine(line.get(), "BEGIN:VCALENDAR"))
            inCalendar = true;
        if (const ComponentPtr root{icalparser_add_line(calendarParser.get(), line.get())}) {
            inCalendar = false;
            // Where an END without its BEGIN closed the calendar early, its events come here.
            if (icalcomponent_isa(root.get()) == ICAL_VEVENT_COMPONENT)
                throw ICalendarError("damaged: a VEVENT stands outside BEGIN:VCALENDAR ... END:VCALENDAR.");
            if (icalcomponent_isa(root.get()) != ICAL_VCALENDAR_COMPONENT)
                continue;
            ++calendars;
            if (std::optional<QString> error = ParseError(root.get()))
                throw ICalendarError(QStringLiteral("damaged: %1").arg(*error).toStdString());
        }
    }
    if (inEvent || inCalendar)
        throw ICalendarError("cut short: a BEGIN has no END, or END:VCALENDAR is missing.");
    if (calendars == 0)
        throw ICalendarError("not an iCalendar file: it holds no BEGIN:VCALENDAR ... END:VCALENDAR.");

    ImportedCalendar result;
    for (ReadEvent& event : events) {
        if (const EventRecord* fields = std::get_if<EventRecord>(&event.outcome)) {
            if (event.uid.isEmpty() || !changedUids.contains(event.uid)) {
                result.events.append(*fields);
                for (const QString& why : event.notes)
                    result.notes.append({event.summary, why, false});
                continue;
            }
            event.outcome = QStringLiteral("some of its occurrences were changed or moved (RECURRENCE-ID)");
        }
        result.notes.append({event.summary, std::get<QString>(event.outcome), true});
    }
    return result;
}

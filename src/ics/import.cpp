#include "import.h"

#include "ical/event_mapping.h"

#include <QSet>

#include <algorithm>
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
    std::variant<EventFields, QString> outcome; ///< the fields to store, or why not
    QStringList alarmsLeftOut;
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
    event.alarmsLeftOut = std::move(read.alarmsLeftOut);
    return event;
}

struct ParserDeleter
{
    void operator()(icalparser* parser) const { icalparser_free(parser); }
};
using ParserPtr = std::unique_ptr<icalparser, ParserDeleter>;

// Hands libical's line reader the text up to and with the next LF, as much as fits. It
// asks for a few dozen bytes at a time, so the search for the LF goes no further.
char* nextLine(char* buffer, size_t size, void* data)
{
    auto& [next, end] = *static_cast<std::pair<const char*, const char*>*>(data);
    if (next == end || size < 2)
        return nullptr;
    const std::size_t room = std::min(std::size_t(end - next), size - 1);
    const auto* lf = static_cast<const char*>(std::memchr(next, '\n', room));
    const std::size_t length = lf ? std::size_t(lf - next + 1) : room;
    std::memcpy(buffer, next, length);
    buffer[length] = '\0';
    next += length;
    return buffer;
}

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
    if (std::memchr(text.constData(), '\0', std::size_t(text.size())))
        throw ICalendarError("not an iCalendar file: it holds NUL bytes.");
    icalerror_set_errors_are_fatal(0);

    // libical unfolds the content lines; each VEVENT goes to a parser of its own, so that
    // memory holds one event at a time and not a tree of the whole file (twenty times its
    // size). Everything else builds the calendars around them.
    std::pair<const char*, const char*> cursor{text.constData(), text.constData() + text.size()};
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
    while (const ICalText line{icalparser_get_line(lines.get(), nextLine)}) {
        if (!inEvent && inCalendar && isLine(line.get(), "BEGIN:VEVENT"))
            inEvent = true;
        if (inEvent) {
            if (const ComponentPtr event{icalparser_add_line(eventParser.get(), line.get())}) {
                inEvent = false;
                if (icalcomponent_isa(event.get()) != ICAL_VEVENT_COMPONENT)
                    continue;
                const QByteArray uid(icalcomponent_get_uid(event.get()));
                if (has(event.get(), ICAL_RECURRENCEID_PROPERTY) && !uid.isEmpty())
                    changedUids.insert(uid);
                events.push_back(readEvent(event.get()));
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
        if (const EventFields* fields = std::get_if<EventFields>(&event.outcome)) {
            if (event.uid.isEmpty() || !changedUids.contains(event.uid)) {
                result.events.append(*fields);
                for (const QString& why : event.alarmsLeftOut)
                    result.notes.append({event.summary, why, false});
                continue;
            }
            event.outcome = QStringLiteral("some of its occurrences were changed or moved (RECURRENCE-ID)");
        }
        result.notes.append({event.summary, std::get<QString>(event.outcome), true});
    }
    return result;
}

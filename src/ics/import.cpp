#include "import.h"

#include "core/console.h"
#include "ical/event_mapping.h"
#include "ical/stored_event.h"
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
    QStringList notes;                          ///< alarms left out
    ComponentPtr component;                     ///< kept when the row alone cannot say it, or it changes occurrences
    QByteArray text;                            ///< a plain event's VEVENT, should a changed occurrence follow it
    bool changes = false;                       ///< a changed occurrence (RECURRENCE-ID)
};

ReadEvent readEvent(ComponentPtr component, QByteArray& lines)
{
    icalcomponent* e = component.get();
    ReadEvent event;
    const char* summary = icalcomponent_get_summary(e);
    event.summary = summary ? QString::fromUtf8(summary) : QString();
    event.uid = QByteArray(icalcomponent_get_uid(e));
    event.changes = has(e, ICAL_RECURRENCEID_PROPERTY);
    ReadVEvent read = ReadEventComponent(e);
    event.outcome = std::move(read.outcome);
    event.notes = read.alarmsLeftOut;
    const EventRecord* fields = std::get_if<EventRecord>(&event.outcome);
    if (event.changes || !fields || !RowSaysItAll(e, *fields))
        event.component = std::move(component);
    else if (!event.uid.isEmpty())
        event.text = std::move(lines); // as read: writing it again with libical would cost more
    return event;
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

// Each event with its changed occurrences, as the calendar stores it, in file order.
ImportedCalendar Assemble(std::vector<ReadEvent>& events, const std::map<QByteArray, ComponentPtr>& zones)
{
    QHash<QByteArray, icalcomponent*> zoneByName;
    for (const auto& [name, zone] : zones)
        zoneByName.insert(name, zone.get());
    QHash<QByteArray, QList<std::size_t>> changesOf;
    QSet<QByteArray> masters;
    for (std::size_t i = 0; i < events.size(); ++i) {
        if (events[i].uid.isEmpty())
            continue;
        if (events[i].changes)
            changesOf[events[i].uid].append(i);
        else
            masters.insert(events[i].uid);
    }

    ImportedCalendar result;
    const auto keep = [&](const QString& summary, Event event, const QStringList& notes) {
        result.events.append(std::move(event));
        for (const QString& why : notes)
            result.notes.append({summary, why, false});
    };
    for (ReadEvent& event : events) {
        if (event.changes) {
            if (event.uid.isEmpty() || !masters.contains(event.uid))
                result.notes.append({event.summary,
                                     QStringLiteral("it changes an occurrence of an event that is not in the file"),
                                     true});
            continue;
        }
        const QList<std::size_t> changes = event.uid.isEmpty() ? QList<std::size_t>() : changesOf.value(event.uid);
        const EventRecord* fields = std::get_if<EventRecord>(&event.outcome);
        if (fields && !event.component && changes.isEmpty()) {
            keep(event.summary, {*fields, {}, {}}, event.notes);
            continue;
        }
        if (!fields && !event.component) {
            result.notes.append({event.summary, std::get<QString>(event.outcome), true});
            continue;
        }
        std::vector<ComponentPtr> parts;
        parts.push_back(event.component ? std::move(event.component)
                                        : ComponentPtr(icalcomponent_new_from_string(event.text.constData())));
        for (std::size_t i : changes) {
            if (events[i].component)
                parts.push_back(std::move(events[i].component));
        }
        const ComponentPtr calendar = OneEventCalendar(std::move(parts), zoneByName);
        std::variant<StoredEvent, QString> stored = StoredEventOf(calendar.get());
        if (const QString* why = std::get_if<QString>(&stored)) {
            result.notes.append({event.summary, *why, true});
            continue;
        }
        StoredEvent& s = std::get<StoredEvent>(stored);
        keep(event.summary, std::move(s.event), s.alarmsLeftOut);
    }
    return result;
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
    QByteArray eventLines; // the VEVENT being read, unfolded
    std::map<QByteArray, ComponentPtr> zones;
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
            eventLines.clear();
        }
        if (inEvent) {
            eventLines += line.get();
            eventLines += "\r\n";
            if (!badRule)
                badRule = RuleOutOfRange(line.get());
            if (ComponentPtr event{icalparser_add_line(eventParser.get(), line.get())}) {
                inEvent = false;
                if (icalcomponent_isa(event.get()) != ICAL_VEVENT_COMPONENT)
                    continue;
                events.push_back(readEvent(ComponentPtr(event.release()), eventLines));
                if (badRule) {
                    events.back().outcome = *badRule;
                    events.back().component.reset();
                }
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
            for (icalcomponent* zone = icalcomponent_get_first_component(root.get(), ICAL_VTIMEZONE_COMPONENT); zone;
                 zone = icalcomponent_get_next_component(root.get(), ICAL_VTIMEZONE_COMPONENT)) {
                if (icalproperty* tzid = icalcomponent_get_first_property(zone, ICAL_TZID_PROPERTY))
                    zones[QByteArray(icalproperty_get_tzid(tzid))].reset(icalcomponent_new_clone(zone));
            }
        }
    }
    if (inEvent || inCalendar)
        throw ICalendarError("cut short: a BEGIN has no END, or END:VCALENDAR is missing.");
    if (calendars == 0)
        throw ICalendarError("not an iCalendar file: it holds no BEGIN:VCALENDAR ... END:VCALENDAR.");

    return Assemble(events, zones);
}

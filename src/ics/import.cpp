#include "import.h"

#include "core/console.h"
#include "ical/event_mapping.h"

#include <QSet>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <new>
#include <string_view>
#include <vector>

namespace {

// Far deeper than any calendar nests (VCALENDAR, VEVENT, VALARM); libical builds and frees
// its trees recursively, so a hostile file must not reach it nested thousands deep.
constexpr std::size_t kMaxNesting = 100;

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

// The name of a content line (before its parameters and value) and its value.
std::pair<std::string_view, std::string_view> nameAndValue(const char* line)
{
    const std::string_view text(line);
    const std::size_t nameEnd = std::min(text.find(':'), text.find(';'));
    const std::size_t colon = text.find(':');
    std::string_view value = colon == std::string_view::npos ? std::string_view() : text.substr(colon + 1);
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!value.empty() && blank(value.back()))
        value.remove_suffix(1);
    return {text.substr(0, std::min(nameEnd, text.size())), value};
}

bool named(std::string_view name, std::string_view expected)
{
    return name.size() == expected.size() && qstrnicmp(name.data(), expected.data(), name.size()) == 0;
}

QString latin1(std::string_view text)
{
    return OneLine(QString::fromLatin1(text.data(), qsizetype(text.size())));
}

// Keeps BEGIN and END in pairs, as libical does not: an END that closes another component
// than the last one begun would end the calendar early and let what follows stand outside
// it, and one without a BEGIN makes libical print to standard error.
class Nesting
{
public:
    void take(const char* line)
    {
        const auto [name, value] = nameAndValue(line);
        if (named(name, "BEGIN")) {
            if (m_open.size() == kMaxNesting)
                throw ICalendarError(
                    QStringLiteral("damaged: components are nested more than %1 deep.").arg(kMaxNesting).toStdString());
            m_open.push_back(QByteArray(value.data(), qsizetype(value.size())).toUpper());
        } else if (named(name, "END")) {
            const QByteArray closed = QByteArray(value.data(), qsizetype(value.size())).toUpper();
            if (m_open.empty())
                throw ICalendarError(QStringLiteral("damaged: END:%1 has no BEGIN.").arg(latin1(value)).toStdString());
            if (m_open.back() != closed)
                throw ICalendarError(QStringLiteral("damaged: END:%1 stands where END:%2 belongs.")
                                         .arg(latin1(value), latin1(m_open.back().toStdString()))
                                         .toStdString());
            m_open.pop_back();
        }
    }

private:
    std::vector<QByteArray> m_open;
};

// The highest number each BY part of a rule may hold. libical keeps them in 16 bits, so a
// larger one would come out as another, valid looking, number.
std::optional<QString> ruleOutOfRange(const char* line)
{
    static constexpr std::pair<std::string_view, int> kLimits[] = {
        {"BYSECOND", 60},   {"BYMINUTE", 59}, {"BYHOUR", 23},  {"BYDAY", 53},     {"BYMONTHDAY", 31},
        {"BYYEARDAY", 366}, {"BYWEEKNO", 53}, {"BYMONTH", 12}, {"BYSETPOS", 366},
    };
    const auto [name, value] = nameAndValue(line);
    if (!named(name, "RRULE"))
        return std::nullopt;
    for (const QByteArray& part : QByteArray(value.data(), qsizetype(value.size())).split(';')) {
        const qsizetype equals = part.indexOf('=');
        const std::string_view key(part.constData(), std::size_t(std::max<qsizetype>(equals, 0)));
        for (const auto& [by, limit] : kLimits) {
            if (!named(key, by))
                continue;
            for (const QByteArray& item : part.mid(equals + 1).split(',')) {
                qsizetype digits = item.startsWith('+') || item.startsWith('-') ? 1 : 0;
                const qsizetype first = digits;
                while (digits < item.size() && std::isdigit(static_cast<unsigned char>(item[digits])))
                    ++digits;
                if (digits - first > 3 || item.mid(first, digits - first).toInt() > limit)
                    return QStringLiteral("its rule's %1=%2 is out of range: at most %3")
                        .arg(latin1(by), OneLine(QString::fromLatin1(item)))
                        .arg(limit);
            }
        }
    }
    return std::nullopt;
}

} // namespace

ImportedCalendar ReadCalendar(const QByteArray& text)
{
    // libical reads C strings: a NUL would end the text early, unseen.
    if (std::memchr(text.constData(), '\0', std::size_t(text.size())))
        throw ICalendarError("not an iCalendar file: it holds NUL bytes.");
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
    Nesting nesting;
    std::optional<QString> badRule;
    while (const ICalText line{icalparser_get_line(lines.get(), nextLine)}) {
        nesting.take(line.get());
        if (!inEvent && inCalendar && isLine(line.get(), "BEGIN:VEVENT")) {
            inEvent = true;
            badRule.reset();
        }
        if (inEvent) {
            if (!badRule)
                badRule = ruleOutOfRange(line.get());
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

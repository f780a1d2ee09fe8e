#include "import.h"

#include "core/console.h"
#include "libical_handles.h"
#include "rules.h"

#include <QSet>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <new>
#include <string_view>
#include <vector>

namespace {

constexpr int kMaxDaysAhead = 9; // the editor takes one digit
// Far deeper than any calendar nests (VCALENDAR, VEVENT, VALARM); libical builds and frees
// its trees recursively, so a hostile file must not reach it nested thousands deep.
constexpr std::size_t kMaxNesting = 100;

// What libical found wrong in a component itself (not in its subcomponents), or nothing.
std::optional<QString> parseError(icalcomponent* component)
{
    icalproperty* error = icalcomponent_get_first_property(component, ICAL_XLICERROR_PROPERTY);
    if (!error)
        return std::nullopt;
    const char* text = icalproperty_get_xlicerror(error);
    return OneLine(QString::fromUtf8(text ? text : "unreadable content")).trimmed();
}

QString utf8(const char* text)
{
    return text ? QString::fromUtf8(text) : QString();
}

// Line breaks and tabs stay in a description; other control characters become blanks.
QString descriptionText(QString text)
{
    for (QChar& c : text) {
        if ((c.unicode() < 0x20 && c != u'\n' && c != u'\t') || c.unicode() == 0x7f)
            c = u' ';
    }
    return text;
}

bool has(icalcomponent* component, icalproperty_kind kind)
{
    return icalcomponent_get_first_property(component, kind) != nullptr;
}

QString tzidOf(icalproperty* property)
{
    icalparameter* tzid = property ? icalproperty_get_first_parameter(property, ICAL_TZID_PARAMETER) : nullptr;
    const char* text = tzid ? icalparameter_get_tzid(tzid) : nullptr;
    return text ? QString::fromUtf8(text) : QString();
}

QDate dateOf(const icaltimetype& time)
{
    return QDate(time.year, time.month, time.day);
}

// The number of days an event lasts, as its times are written: an all-day event the days
// from its start to its end, a timed one each 24 hours begun, so that an evening that runs
// past midnight is still one day. An end in another time zone than the start cannot be
// compared that way and counts as one day.
int daysCovered(icalcomponent* event, icalproperty* startProperty, const icaltimetype& start)
{
    const icaltimetype end = icalcomponent_get_dtend(event);
    icalproperty* endProperty = icalcomponent_get_first_property(event, ICAL_DTEND_PROPERTY);
    if (icaltime_is_null_time(end) || (endProperty && tzidOf(endProperty) != tzidOf(startProperty)) ||
        icaltime_is_utc(end) != icaltime_is_utc(start) || !dateOf(end).isValid())
        return 1;
    constexpr qint64 kDay = 24 * 60 * 60;
    const auto secondsOf = [](const icaltimetype& t) {
        return t.is_date ? 0 : qint64(t.hour) * 3600 + qint64(t.minute) * 60 + t.second;
    };
    const qint64 seconds = dateOf(start).daysTo(dateOf(end)) * kDay + secondsOf(end) - secondsOf(start);
    return int(std::clamp<qint64>((seconds + kDay - 1) / kDay, 1, 1'000'000));
}

// How many days ahead an alarm warns, or why the calendar cannot keep it.
std::variant<int, QString> daysAhead(icalcomponent* alarm)
{
    if (std::optional<QString> error = parseError(alarm))
        return *error;
    icalproperty* property = icalcomponent_get_first_property(alarm, ICAL_TRIGGER_PROPERTY);
    if (!property)
        return QStringLiteral("it has no TRIGGER");
    const icaltriggertype trigger = icalproperty_get_trigger(property);
    if (!icaltime_is_null_time(trigger.time))
        return QStringLiteral("it goes off at a fixed time");
    icalparameter* related = icalproperty_get_first_parameter(property, ICAL_RELATED_PARAMETER);
    if (related && icalparameter_get_related(related) == ICAL_RELATED_END)
        return QStringLiteral("it goes off relative to the end");
    const icaldurationtype& d = trigger.duration;
    if (d.hours != 0 || d.minutes != 0 || d.seconds != 0)
        return QStringLiteral("it goes off at a time of day, not whole days before");
    const qint64 days = qint64(d.weeks) * 7 + d.days;
    if (!d.is_neg && days > 0)
        return QStringLiteral("it goes off after the start");
    if (days > kMaxDaysAhead)
        return QStringLiteral("it goes off %1 days before; the calendar warns at most %2 days before")
            .arg(days)
            .arg(kMaxDaysAhead);
    return int(days);
}

EventRecord withTexts(EventRecord r, const QString& title, const QString& description)
{
    r.title = title;
    r.description = description;
    return r;
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

std::variant<EventRecord, QString> storable(icalcomponent* e, const QString& summary)
{
    if (has(e, ICAL_RECURRENCEID_PROPERTY))
        return QStringLiteral("it changes one occurrence of a repeating event (RECURRENCE-ID)");
    if (std::optional<QString> error = parseError(e))
        return *error;
    if (icalcomponent_get_status(e) == ICAL_STATUS_CANCELLED)
        return QStringLiteral("it is cancelled");
    icalproperty* startProperty = icalcomponent_get_first_property(e, ICAL_DTSTART_PROPERTY);
    if (!startProperty)
        return QStringLiteral("it has no start (DTSTART)");
    const icaltimetype start = icalproperty_get_dtstart(startProperty);
    if (!start.is_date && (start.hour > 23 || start.minute > 59 || start.second > 60))
        return QStringLiteral("its start (DTSTART) has a time of day that does not exist, %1:%2:%3")
            .arg(start.hour, 2, 10, QLatin1Char('0'))
            .arg(start.minute, 2, 10, QLatin1Char('0'))
            .arg(start.second, 2, 10, QLatin1Char('0'));
    if (has(e, ICAL_EXDATE_PROPERTY) || has(e, ICAL_RDATE_PROPERTY) || has(e, ICAL_EXRULE_PROPERTY))
        return QStringLiteral("it adds or leaves out single days (EXDATE, RDATE or EXRULE)");
    icalproperty* ruleProperty = icalcomponent_get_first_property(e, ICAL_RRULE_PROPERTY);
    if (ruleProperty && icalcomponent_get_next_property(e, ICAL_RRULE_PROPERTY))
        return QStringLiteral("it has several RRULEs");
    const int days = daysCovered(e, startProperty, start);
    if (days > 1)
        return QStringLiteral("it lasts %1 days; the calendar keeps one day per event").arg(days);

    std::optional<icalrecurrencetype> rule;
    if (ruleProperty)
        rule = icalproperty_get_rrule(ruleProperty);
    const std::variant<EventRecord, QString> kind = EventRecordFor(dateOf(start), rule ? &*rule : nullptr);
    if (const QString* why = std::get_if<QString>(&kind))
        return *why;

    const QString title = OneLine(summary);
    if (title.trimmed().isEmpty())
        return QStringLiteral("it has no title (SUMMARY)");
    if (title.size() > kMaxTitleLength)
        return QStringLiteral("its title is longer than %1 characters").arg(kMaxTitleLength);
    return withTexts(std::get<EventRecord>(kind), title, descriptionText(utf8(icalcomponent_get_description(e))));
}

// The first alarm the calendar can keep sets the warning; every other one is noted.
QStringList readWarning(icalcomponent* e, EventRecord& fields)
{
    QStringList leftOut;
    bool kept = false;
    for (icalcomponent* alarm = icalcomponent_get_first_component(e, ICAL_VALARM_COMPONENT); alarm;
         alarm = icalcomponent_get_next_component(e, ICAL_VALARM_COMPONENT)) {
        const std::variant<int, QString> ahead = daysAhead(alarm);
        if (const QString* why = std::get_if<QString>(&ahead)) {
            leftOut.append(QStringLiteral("alarm left out: %1").arg(*why));
        } else if (!kept) {
            kept = true;
            fields.warnevent = 1;
            fields.daysbefore = std::get<int>(ahead);
        } else if (std::get<int>(ahead) != fields.daysbefore) {
            leftOut.append(QStringLiteral("alarm left out: the calendar keeps one warning per event"));
        }
    }
    return leftOut;
}

ReadEvent readEvent(icalcomponent* e)
{
    ReadEvent event;
    event.summary = utf8(icalcomponent_get_summary(e));
    if (!has(e, ICAL_RECURRENCEID_PROPERTY)) {
        // Only the master of a changed series keeps its UID here; see ReadCalendar.
        event.uid = QByteArray(icalcomponent_get_uid(e));
    }
    event.outcome = storable(e, event.summary);
    if (EventRecord* fields = std::get_if<EventRecord>(&event.outcome)) {
        // The calendar keeps days only: say so rather than lose the hour unseen.
        const icaltimetype start = icalcomponent_get_dtstart(e);
        if (!start.is_date)
            event.notes.append(QStringLiteral("kept on %1 without its time %2:%3")
                                   .arg(dateOf(start).toString(Qt::ISODate))
                                   .arg(start.hour, 2, 10, QLatin1Char('0'))
                                   .arg(start.minute, 2, 10, QLatin1Char('0')));
        event.notes += readWarning(e, *fields);
    }
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
            if (std::optional<QString> error = parseError(root.get()))
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

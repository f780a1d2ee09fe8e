#include "untrusted_text.h"

#include "libical_handles.h"

#include "core/console.h"

#include <QList>

#include <libical/ical.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include <utility>

namespace {

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

} // namespace

char* NextICalLine(char* buffer, std::size_t size, void* data)
{
    // libical asks for a few dozen bytes at a time, so the search for the LF goes no further.
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

std::optional<QString> ComponentNesting::take(const char* line)
{
    const auto [name, value] = nameAndValue(line);
    if (named(name, "BEGIN")) {
        if (m_open.size() == kMaxNesting)
            return QStringLiteral("damaged: components are nested more than %1 deep.").arg(kMaxNesting);
        m_open.push_back(QByteArray(value.data(), qsizetype(value.size())).toUpper());
    } else if (named(name, "END")) {
        const QByteArray closed = QByteArray(value.data(), qsizetype(value.size())).toUpper();
        if (m_open.empty())
            return QStringLiteral("damaged: END:%1 has no BEGIN.").arg(latin1(value));
        if (m_open.back() != closed)
            return QStringLiteral("damaged: END:%1 stands where END:%2 belongs.")
                .arg(latin1(value), latin1(m_open.back().toStdString()));
        m_open.pop_back();
    }
    return std::nullopt;
}

std::optional<QString> RuleOutOfRange(const char* line)
{
    // The highest number each BY part may hold.
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

std::optional<QString> NulBytesIn(const QByteArray& text)
{
    if (std::memchr(text.constData(), '\0', std::size_t(text.size())))
        return QStringLiteral("not an iCalendar file: it holds NUL bytes.");
    return std::nullopt;
}

UntrustedTextCheck CheckUntrustedText(const QByteArray& text)
{
    UntrustedTextCheck check;
    if ((check.damaged = NulBytesIn(text)))
        return check;
    const ParserPtr lines(icalparser_new());
    if (!lines)
        throw std::bad_alloc();
    std::pair<const char*, const char*> cursor{text.constData(), text.constData() + text.size()};
    icalparser_set_gen_data(lines.get(), &cursor);
    ComponentNesting nesting;
    while (const ICalText line{icalparser_get_line(lines.get(), NextICalLine)}) {
        if ((check.damaged = nesting.take(line.get())))
            return check;
        if (!check.badRule)
            check.badRule = RuleOutOfRange(line.get());
    }
    return check;
}

#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <optional>
#include <vector>

// The checks iCalendar text from elsewhere (a file, a server) passes before libical builds a tree
// of it: libical reads C strings, builds and frees trees recursively and keeps rule parts in 16
// bits, so what it would misread silently is refused here first.

/// Far deeper than any calendar nests (VCALENDAR, VEVENT, VALARM).
inline constexpr std::size_t kMaxNesting = 100;

/// For icalparser_get_line: hands over the text up to and with the next LF, as much as fits.
/// `data` is a std::pair<const char*, const char*>, the text not yet read.
char* NextICalLine(char* buffer, std::size_t size, void* data);

/// Keeps BEGIN and END in pairs, as libical does not: an END that closes another component
/// than the last one begun would end the calendar early and let what follows stand outside it,
/// and one without a BEGIN makes libical print to standard error.
class ComponentNesting
{
public:
    /// Takes one unfolded content line; what is wrong ("damaged: ..."), or nothing.
    [[nodiscard]] std::optional<QString> take(const char* line);

private:
    std::vector<QByteArray> m_open;
};

/// Why an unfolded RRULE line holds a BY value libical would wrap into another, valid looking,
/// number; nothing for any other line.
[[nodiscard]] std::optional<QString> RuleOutOfRange(const char* line);

/// What the checks find in a whole text: why it is no readable iCalendar (NUL bytes, damaged
/// nesting), and the first rule out of range.
struct UntrustedTextCheck
{
    std::optional<QString> damaged;
    std::optional<QString> badRule;
};
[[nodiscard]] UntrustedTextCheck CheckUntrustedText(const QByteArray& text);

/// The reason for NUL bytes in a text, or nothing.
[[nodiscard]] std::optional<QString> NulBytesIn(const QByteArray& text);

#pragma once

#include <QByteArrayView>

#include <libical/ical.h>

#include <memory>
#include <utility>
#include <vector>

// libical makes a zone of its own for each VTIMEZONE of each VCALENDAR it reads, and works out
// the zone's changes of offset, every year from its first rule on with the recurrence iterator,
// the first time a time in it is converted: millions of instructions, many times all the rest
// that an event from another calendar costs. The events of one file or one server name the same
// few zones, so their times are converted through one zone per VTIMEZONE text, for the process.

/// The shared zones of the VTIMEZONEs in one VCALENDAR, held as long as this lives.
class SharedZones
{
public:
    SharedZones() = default;
    /// `text`: the text `calendar` was read from or written as, if at hand; the VTIMEZONEs' texts
    /// are then found in it instead of being written again.
    explicit SharedZones(icalcomponent* calendar, QByteArrayView text = {});

    /// `t` with its zone, when it is one of the calendar's own, replaced by the shared zone of the
    /// same VTIMEZONE text (the same TZID and the same rules); any other time as it is.
    [[nodiscard]] icaltimetype of(icaltimetype t) const;
    /// Whether every zone of the calendar that a time can name has a shared one: times that went
    /// through of() then outlive the calendar.
    [[nodiscard]] bool sharesAll() const { return m_all; }

private:
    std::vector<std::pair<const icaltimezone*, std::shared_ptr<icaltimezone>>> m_zones;
    bool m_all = true;
};

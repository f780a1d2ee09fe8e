#include "shared_zones.h"

#include <QByteArray>
#include <QHash>
#include <QList>

#include <algorithm>
#include <mutex>

namespace {

// Zones that no event holds any more are let go when more than this many are known.
constexpr qsizetype kKeptZones = 64;

// The zone of `vtimezone`, whose text is `key`: one for every calendar with that text. The
// whole text is the key, as two calendars may give one TZID different rules.
std::shared_ptr<icaltimezone> sharedZone(icalcomponent* vtimezone, const QByteArray& key)
{
    static std::mutex mutex;
    static QHash<QByteArray, std::shared_ptr<icaltimezone>> zones;
    const std::lock_guard lock(mutex);
    if (const auto known = zones.constFind(key); known != zones.constEnd())
        return *known;
    if (zones.size() >= kKeptZones)
        zones.removeIf([](const auto& entry) { return entry.value().use_count() == 1; });
    icalcomponent* copy = icalcomponent_new_clone(vtimezone);
    icaltimezone* zone = copy ? icaltimezone_new() : nullptr;
    if (!zone || !icaltimezone_set_component(zone, copy)) {
        if (zone)
            icaltimezone_free(zone, 1);
        if (copy)
            icalcomponent_free(copy);
        return nullptr;
    }
    std::shared_ptr<icaltimezone> shared(zone, [](icaltimezone* z) { icaltimezone_free(z, 1); });
    zones.insert(key, shared);
    return shared;
}

// Where the line `line` begins in `text` at `from` or after; -1: nowhere.
qsizetype lineFrom(QByteArrayView text, QByteArrayView line, qsizetype from)
{
    for (; (from = text.indexOf(line, from)) >= 0; ++from) {
        const QByteArrayView after = text.sliced(from + line.size());
        if ((from == 0 || text[from - 1] == '\n') && (after.startsWith("\r\n") || after.startsWith("\n")))
            return from;
    }
    return -1;
}

// The VTIMEZONEs of a calendar's text, in order, from their BEGIN line to their END line.
QList<QByteArrayView> vtimezoneTexts(QByteArrayView text)
{
    QList<QByteArrayView> found;
    for (qsizetype from = 0; (from = lineFrom(text, "BEGIN:VTIMEZONE", from)) >= 0;) {
        const qsizetype end = lineFrom(text, "END:VTIMEZONE", from);
        if (end < 0)
            break;
        const qsizetype next = text.indexOf('\n', end) + 1;
        found.append(text.sliced(from, next - from));
        from = next;
    }
    return found;
}

} // namespace

SharedZones::SharedZones(icalcomponent* calendar, QByteArrayView text)
{
    QList<QByteArrayView> texts = vtimezoneTexts(text);
    if (texts.size() != icalcomponent_count_components(calendar, ICAL_VTIMEZONE_COMPONENT))
        texts.clear();
    qsizetype index = 0;
    for (icalcomponent* c = icalcomponent_get_first_component(calendar, ICAL_VTIMEZONE_COMPONENT); c;
         c = icalcomponent_get_next_component(calendar, ICAL_VTIMEZONE_COMPONENT), ++index) {
        icalproperty* tzid = icalcomponent_get_first_property(c, ICAL_TZID_PROPERTY);
        const char* name = tzid ? icalproperty_get_tzid(tzid) : nullptr;
        // Only the VTIMEZONE that libical gives the times naming its TZID (one of several alike).
        icaltimezone* own = name ? icalcomponent_get_timezone(calendar, name) : nullptr;
        if (!own || icaltimezone_get_component(own) != c)
            continue;
        // The text found for it, if it names the same TZID; else as libical writes it.
        QByteArray key;
        if (!texts.isEmpty() && lineFrom(texts[index], "TZID:" + QByteArray(name), 0) >= 0) {
            key = texts[index].toByteArray();
        } else {
            char* written = icalcomponent_as_ical_string_r(c);
            key = written;
            icalmemory_free_buffer(written);
        }
        if (std::shared_ptr<icaltimezone> shared = key.isEmpty() ? nullptr : sharedZone(c, key))
            m_zones.emplace_back(own, std::move(shared));
        else
            m_all = false;
    }
}

icaltimetype SharedZones::of(icaltimetype t) const
{
    for (const auto& [own, shared] : m_zones) {
        if (t.zone == own) {
            t.zone = shared.get();
            break;
        }
    }
    return t;
}

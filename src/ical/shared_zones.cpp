#include "shared_zones.h"

#include <QByteArray>
#include <QHash>
#include <QList>

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

// Zones that no event holds any more are let go when more than this many are known.
constexpr qsizetype kKeptZones = 64;

// The zone of the VTIMEZONE whose text is `key`: one for every calendar with that text. The
// whole text is the key, as two calendars may give one TZID different rules. `vtimezone` is
// what libical read of it in one calendar; a zone new to the process is made of `key` itself
// where `keyIsText`, so that no calendar's other content (another user's, say) can give the
// zone of a text rules that text does not say.
std::shared_ptr<icaltimezone> sharedZone(icalcomponent* vtimezone, const QByteArray& key, const char* tzid,
                                         bool keyIsText)
{
    static std::mutex mutex;
    static QHash<QByteArray, std::shared_ptr<icaltimezone>> zones;
    const std::lock_guard lock(mutex);
    if (const auto known = zones.constFind(key); known != zones.constEnd())
        return *known;
    if (zones.size() >= kKeptZones)
        zones.removeIf([](const auto& entry) { return entry.value().use_count() == 1; });
    icalcomponent* copy = nullptr;
    if (keyIsText) {
        icalerror_set_errors_are_fatal(0);
        copy = icalparser_parse_string(key.constData());
        icalproperty* id = copy ? icalcomponent_get_first_property(copy, ICAL_TZID_PROPERTY) : nullptr;
        if (!copy || icalcomponent_isa(copy) != ICAL_VTIMEZONE_COMPONENT || !id ||
            qstrcmp(icalproperty_get_tzid(id), tzid) != 0) {
            if (copy)
                icalcomponent_free(copy);
            return nullptr;
        }
    } else {
        copy = icalcomponent_new_clone(vtimezone);
    }
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

// Whether a VTIMEZONE lies anywhere in `calendar` but among its own components: libical gives
// the times of the component holding it that zone, which no shared one stands for.
bool zoneBelowTheTop(icalcomponent* calendar)
{
    std::vector<icalcomponent*> below;
    for (icalcomponent* c = icalcomponent_get_first_component(calendar, ICAL_ANY_COMPONENT); c;
         c = icalcomponent_get_next_component(calendar, ICAL_ANY_COMPONENT))
        below.push_back(c);
    // Walked without recursion: a text from the shared file may nest as deep as it likes.
    while (!below.empty()) {
        icalcomponent* parent = below.back();
        below.pop_back();
        for (icalcomponent* c = icalcomponent_get_first_component(parent, ICAL_ANY_COMPONENT); c;
             c = icalcomponent_get_next_component(parent, ICAL_ANY_COMPONENT)) {
            if (icalcomponent_isa(c) == ICAL_VTIMEZONE_COMPONENT)
                return true;
            below.push_back(c);
        }
    }
    return false;
}

} // namespace

SharedZones::SharedZones(icalcomponent* calendar, QByteArrayView text)
{
    m_all = !zoneBelowTheTop(calendar);
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
        const bool found = !texts.isEmpty() && lineFrom(texts[index], "TZID:" + QByteArray(name), 0) >= 0;
        if (found) {
            key = texts[index].toByteArray();
        } else {
            char* written = icalcomponent_as_ical_string_r(c);
            key = written;
            icalmemory_free_buffer(written);
        }
        if (std::shared_ptr<icaltimezone> shared = key.isEmpty() ? nullptr : sharedZone(c, key, name, found))
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

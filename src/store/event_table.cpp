#include "event_table.h"

#include <QCollator>
#include <QHash>
#include <QVarLengthArray>

#include <algorithm>
#include <atomic>
#include <exception>
#include <numeric>
#include <thread>

namespace {

// The numbers of a row, in the order of the table's columns.
constexpr std::optional<int> EventRecord::*kNumbers[] = {
    &EventRecord::timetype,     &EventRecord::consistancy, &EventRecord::eventmonth,
    &EventRecord::eventday,     &EventRecord::eventyear,   &EventRecord::eventweekdate,
    &EventRecord::eventweekday, &EventRecord::warnevent,   &EventRecord::daysbefore,
};

} // namespace

QString EventTable::title(qsizetype row) const
{
    const Row& r = m_rows[std::size_t(row)];
    return QString::fromUtf8(m_text.constData() + r.text, r.titleBytes);
}

QString EventTable::description(qsizetype row) const
{
    const Row& r = m_rows[std::size_t(row)];
    return QString::fromUtf8(m_text.constData() + r.text + r.titleBytes, r.descriptionBytes);
}

EventRecord EventTable::numbers(qsizetype row) const
{
    const Row& r = m_rows[std::size_t(row)];
    EventRecord event;
    event.id = r.id;
    for (std::size_t i = 0; i < std::size(kNumbers); ++i) {
        if (r.present & (1u << i))
            event.*kNumbers[i] = r.numbers[i];
    }
    return event;
}

void EventTable::clear()
{
    m_rows.clear();
    m_text.clear();
}

void EventTable::append(const EventRecord& numbers, QByteArrayView title, QByteArrayView description)
{
    Row r{};
    r.id = numbers.id;
    r.text = m_text.size();
    r.titleBytes = qint32(title.size());
    r.descriptionBytes = qint32(description.size());
    for (std::size_t i = 0; i < std::size(kNumbers); ++i) {
        if (const std::optional<int>& value = numbers.*kNumbers[i]) {
            r.numbers[i] = *value;
            r.present |= quint16(1u << i);
        }
    }
    m_text.append(title);
    m_text.append(description);
    m_rows.push_back(r);
}

namespace {

// Languages whose collation leaves the printable ASCII characters as the root collation
// orders them: one collation element each, no contractions, no accents among them. Their
// ASCII titles can be ordered character by character (see PlainOrder).
constexpr QLocale::Language kPlainAsciiLanguages[] = {
    QLocale::C,       QLocale::English, QLocale::German,  QLocale::French,     QLocale::Italian,
    QLocale::Spanish, QLocale::Dutch,   QLocale::Swedish, QLocale::Portuguese,
};

constexpr char16_t kFirstPlain = 0x20, kLastPlain = 0x7e;

// The collator's order of titles made of printable ASCII, taken from the collator itself:
// each character gets its place among the 95 (case pairs share one), and a title orders as
// the sequence of its characters' places, a prefix first. Sort keys cost about 4,000
// instructions a title; this costs a table lookup a character.
class PlainOrder
{
public:
    explicit PlainOrder(const QCollator& collator)
    {
        if (std::find(std::begin(kPlainAsciiLanguages), std::end(kPlainAsciiLanguages), collator.locale().language()) ==
            std::end(kPlainAsciiLanguages))
            return;
        std::array<char16_t, kLastPlain - kFirstPlain + 1> chars;
        std::iota(chars.begin(), chars.end(), kFirstPlain);
        auto order = [&](char16_t a, char16_t b) { return collator.compare(QStringView(&a, 1), QStringView(&b, 1)); };
        std::stable_sort(chars.begin(), chars.end(), [&](char16_t a, char16_t b) { return order(a, b) < 0; });
        quint8 place = 1;
        for (std::size_t i = 0; i < chars.size(); ++i) {
            if (i > 0 && order(chars[i - 1], chars[i]) != 0)
                ++place;
            m_place[chars[i]] = place;
        }
        m_usable = true;
    }

    /// Whether `title` orders by its characters' places: printable ASCII only, in a language known for it.
    [[nodiscard]] bool covers(QByteArrayView title) const
    {
        if (!m_usable)
            return false;
        for (char c : title) {
            if (m_place[quint8(c)] == 0)
                return false;
        }
        return true;
    }
    struct Title
    {
        const char* text;
        qint32 size;
        qint32 row;
    };
    /// Sorts plain titles by their places, stably: titles that compare equal keep their order.
    void sort(std::vector<Title>& titles) const
    {
        std::vector<Title> scratch(titles.size());
        sortFrom(titles.data(), titles.data() + titles.size(), scratch.data(), 0);
    }

private:
    [[nodiscard]] quint8 place(char c) const { return m_place[quint8(c)]; }
    [[nodiscard]] quint8 placeAt(const Title& t, qsizetype i) const { return i < t.size ? place(t.text[i]) : 0; }

    // A stable radix sort on the places from character `depth` on; short runs and
    // very long common beginnings are left to a comparison sort.
    void sortFrom(Title* first, Title* last, Title* scratch, qsizetype depth) const
    {
        constexpr int kPlaces = kLastPlain - kFirstPlain + 2; // and 0 for "ended"
        while (last - first > 1) {
            if (last - first <= 16 || depth >= 64) {
                std::stable_sort(first, last, [&](const Title& a, const Title& b) {
                    for (qsizetype i = depth;; ++i) {
                        if (i == a.size || i == b.size)
                            return i == a.size && i != b.size;
                        if (place(a.text[i]) != place(b.text[i]))
                            return place(a.text[i]) < place(b.text[i]);
                    }
                });
                return;
            }
            std::array<std::ptrdiff_t, kPlaces + 1> start{};
            for (const Title* t = first; t != last; ++t)
                ++start[placeAt(*t, depth) + 1u];
            if (start[placeAt(*first, depth) + 1u] == last - first) {
                // All alike here (titles that repeat, or a common beginning).
                if (placeAt(*first, depth) == 0)
                    return;
                ++depth;
                continue;
            }
            std::partial_sum(start.begin(), start.end(), start.begin());
            std::array<std::ptrdiff_t, kPlaces + 1> next = start;
            for (const Title* t = first; t != last; ++t)
                scratch[next[placeAt(*t, depth)]++] = *t;
            std::copy(scratch, scratch + (last - first), first);
            // Place 0: titles that end here, all equal; they stay in their order.
            for (int p = 1; p < kPlaces; ++p)
                sortFrom(first + start[std::size_t(p)], first + start[std::size_t(p) + 1], scratch, depth + 1);
            return;
        }
    }

    std::array<quint8, 256> m_place{}; ///< 0: not a plain character
    bool m_usable = false;
};

} // namespace

void EventTable::sortByTitle()
{
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    // In the C locale QCollator compares case-insensitively, but its sort keys do not.
    const bool cLocale = collator.locale().language() == QLocale::C;
    const PlainOrder plainOrder(collator);

    // Rows with plain ASCII titles are sorted by their characters' places, the others by
    // the collator as before; the two sorted lists are then merged with the collator.
    std::vector<PlainOrder::Title> plain;
    // Titles repeat (birthdays, "Team meeting"), so each distinct other title is ranked once
    // and those rows are then placed by rank, which keeps equal titles in their order.
    QHash<QByteArrayView, int> known; // a title's bytes -> 1 + its place in `titles`
    std::vector<QString> titles;
    std::vector<std::pair<int, int>> other; // row, its title in `titles`
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        const QByteArrayView bytes = titleBytes(m_rows[i]);
        if (plainOrder.covers(bytes)) {
            plain.push_back({bytes.data(), qint32(bytes.size()), qint32(i)});
            continue;
        }
        int& place = known[bytes]; // 0 for a title not met before
        if (place == 0) {
            titles.push_back(QString::fromUtf8(bytes));
            place = int(titles.size());
        }
        other.emplace_back(int(i), place - 1);
    }

    // The other titles' sort keys cost about ten times what sorting a plain title does: both
    // cores make them, the second while this one sorts the plain titles.
    const QCollatorSortKey emptyKey = collator.sortKey(QString());
    std::vector<QCollatorSortKey> keys(cLocale ? 0 : titles.size(), emptyKey);
    std::atomic<std::size_t> nextKey = 0;
    auto makeKeys = [&](const QCollator& keyer) {
        constexpr std::size_t kShare = 256;
        for (std::size_t first; (first = nextKey.fetch_add(kShare)) < keys.size();) {
            for (std::size_t i = first; i < std::min(first + kShare, keys.size()); ++i)
                keys[i] = keyer.sortKey(titles[i]);
        }
    };
    {
        std::exception_ptr failed;
        std::jthread helper;
        if (keys.size() >= 4 * 256) {
            helper = std::jthread([&] {
                try {
                    QCollator keyer(collator.locale()); // a QCollator is not shared between threads
                    keyer.setCaseSensitivity(Qt::CaseInsensitive);
                    makeKeys(keyer);
                } catch (...) {
                    failed = std::current_exception();
                }
            });
        }
        plainOrder.sort(plain);
        makeKeys(collator);
        if (helper.joinable())
            helper.join();
        if (failed)
            std::rethrow_exception(failed);
    }

    std::vector<int> order(titles.size());
    std::iota(order.begin(), order.end(), 0);
    std::vector<int> rank(titles.size());
    auto rankInOrder = [&](auto less) {
        std::sort(order.begin(), order.end(), less);
        for (std::size_t i = 0; i < order.size(); ++i) {
            // "Zoë" and "ZOË" share a rank, so their rows stay in the table's order.
            const bool tie = i > 0 && !less(order[i - 1], order[i]);
            rank[std::size_t(order[i])] = tie ? rank[std::size_t(order[i - 1])] : int(i);
        }
    };
    if (cLocale) {
        rankInOrder([&](int a, int b) { return collator.compare(titles[std::size_t(a)], titles[std::size_t(b)]) < 0; });
    } else {
        rankInOrder([&](int a, int b) { return keys[std::size_t(a)].compare(keys[std::size_t(b)]) < 0; });
    }
    // Rows of the same rank stay in the table's order (`other` is in it).
    std::stable_sort(other.begin(), other.end(), [&](const std::pair<int, int>& a, const std::pair<int, int>& b) {
        return rank[std::size_t(a.second)] < rank[std::size_t(b.second)];
    });

    // Where a plain title goes among the others. Neighbouring rows often share their titles,
    // so the last answer is kept.
    QByteArrayView lastPlain;
    int lastTitle = -1;
    int lastOrder = 0;
    QVarLengthArray<char16_t, 256> wide;
    auto compare = [&](QByteArrayView a, int title) {
        if (title == lastTitle && a == lastPlain)
            return lastOrder;
        lastPlain = a;
        lastTitle = title;
        if (a.isEmpty()) {
            // QCollator::compare puts an empty text first, where its keys may find it
            // equal to a title of characters that do not count (a zero-width space).
            lastOrder = cLocale ? -1 : emptyKey.compare(keys[std::size_t(title)]);
        } else {
            wide.resize(a.size());
            std::copy(a.begin(), a.end(), wide.begin());
            lastOrder = collator.compare(QStringView(wide.data(), wide.size()), titles[std::size_t(title)]);
        }
        return lastOrder;
    };

    std::vector<Row> sorted;
    sorted.reserve(m_rows.size());
    auto p = plain.begin();
    auto o = other.begin();
    while (p != plain.end() && o != other.end()) {
        const int c = compare(QByteArrayView(p->text, p->size), o->second);
        if (c < 0 || (c == 0 && p->row < o->first))
            sorted.push_back(m_rows[std::size_t((p++)->row)]);
        else
            sorted.push_back(m_rows[std::size_t((o++)->first)]);
    }
    for (; p != plain.end(); ++p)
        sorted.push_back(m_rows[std::size_t(p->row)]);
    for (; o != other.end(); ++o)
        sorted.push_back(m_rows[std::size_t(o->first)]);
    m_rows = std::move(sorted);
}

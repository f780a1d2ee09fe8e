#include "event_table.h"

#include <QCollator>
#include <QRandomGenerator>
#include <QVarLengthArray>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <numeric>
#include <thread>

QString EventTable::title(qsizetype row) const
{
    const Row& r = m_rows[std::size_t(row)];
    return QString::fromUtf8(m_text.data() + r.text, r.titleBytes);
}

QString EventTable::description(qsizetype row) const
{
    const Row& r = m_rows[std::size_t(row)];
    return QString::fromUtf8(m_text.data() + r.text + r.titleBytes, r.descriptionBytes);
}

EventRecord EventTable::numbers(qsizetype row) const
{
    const Row& r = m_rows[std::size_t(row)];
    EventRecord event;
    event.id = r.id;
    for (std::size_t i = 0; i < kNumberColumns.size(); ++i) {
        const auto state = NumberValue::State((r.states >> (2 * i)) & 3u);
        event.*kNumberColumns[i].number = state == NumberValue::State::Number     ? NumberValue(r.numbers[i])
                                          : state == NumberValue::State::Unusable ? NumberValue::unusable()
                                                                                  : NumberValue();
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
    r.text = qsizetype(m_text.size());
    r.titleBytes = qint32(title.size());
    r.descriptionBytes = qint32(description.size());
    for (std::size_t i = 0; i < kNumberColumns.size(); ++i) {
        const NumberValue value = numbers.*kNumberColumns[i].number;
        r.numbers[i] = value.value_or(0);
        r.states |= quint32(value.state()) << (2 * i);
    }
    m_text.append(title.data(), std::size_t(title.size()));
    m_text.append(description.data(), std::size_t(description.size()));
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
        // Eight characters at a time: a byte below 0x20 borrows, 0x7f carries and 0x80 up
        // has its top bit, each setting a top bit (a borrow only ever follows such a byte).
        constexpr quint64 kOnes = 0x0101010101010101, kTops = 0x8080808080808080;
        qsizetype i = 0;
        for (quint64 word; i + 8 <= title.size(); i += 8) {
            std::memcpy(&word, title.data() + i, 8);
            if ((word | (word - kFirstPlain * kOnes) | (word + kOnes)) & kTops)
                return false;
        }
        return std::all_of(title.begin() + i, title.end(), [&](char c) { return place(c) != 0; });
    }

    struct Title
    {
        const char* text;
        qint32 size;
        qint32 index; ///< in the caller's list of titles
    };
    /// Sorts plain titles by their places (titles equal but for case in any order).
    void sort(std::vector<Title>& titles) const
    {
        std::vector<Title> scratch(titles.size());
        sortFrom(titles.data(), titles.data() + titles.size(), scratch.data(), 0);
    }
    /// How many leading characters of another title order by their places as in a plain one:
    /// its printable ASCII beginning, less the last character, which may combine with the
    /// next one (an "e" and a combining accent).
    [[nodiscard]] qint32 sureBeginning(QByteArrayView title) const
    {
        const auto plainEnd = std::find_if(title.begin(), title.end(), [&](char c) { return place(c) == 0; });
        return std::max<qint32>(0, qint32(plainEnd - title.begin()) - 1);
    }
    /// How plain `a` orders against a title whose first `sure` characters order by their
    /// places: -1 or 1 where they decide it, 0 where the collator must.
    [[nodiscard]] int compareBeginning(const Title& a, const char* other, qint32 sure) const
    {
        for (qint32 i = 0; i < sure; ++i) {
            if (i == a.size)
                return -1; // the other title has a character more that counts
            if (place(a.text[i]) != place(other[i]))
                return place(a.text[i]) < place(other[i]) ? -1 : 1;
        }
        return 0;
    }
    /// Whether two titles are equal but for case. Sorted neighbours differ near the end, if at all.
    [[nodiscard]] bool equal(const Title& a, const Title& b) const
    {
        for (qsizetype i = a.size; a.size == b.size; --i) {
            if (i == 0)
                return true;
            if (place(a.text[i - 1]) != place(b.text[i - 1]))
                return false;
        }
        return false;
    }

private:
    [[nodiscard]] quint8 place(char c) const { return m_place[quint8(c)]; }
    [[nodiscard]] quint8 placeAt(const Title& t, qsizetype i) const { return i < t.size ? place(t.text[i]) : 0; }

    // A radix sort on the places from character `depth` on; short runs and very long
    // common beginnings are left to a comparison sort.
    void sortFrom(Title* first, Title* last, Title* scratch, qsizetype depth) const
    {
        constexpr int kPlaces = kLastPlain - kFirstPlain + 2; // and 0 for "ended"
        while (last - first > 1) {
            if (last - first <= 16 || depth >= 64) {
                std::sort(first, last, [&](const Title& a, const Title& b) {
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
                // All alike here: a common beginning, or titles equal but for case.
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
            // Place 0: titles that end here, all equal but for case.
            for (int p = 1; p < kPlaces; ++p)
                sortFrom(first + start[std::size_t(p)], first + start[std::size_t(p) + 1], scratch, depth + 1);
            return;
        }
    }

    std::array<quint8, 256> m_place{}; ///< 0: not a plain character
    bool m_usable = false;
};

// The distinct titles of the rows, found through a small open-addressing table: titles
// repeat (birthdays, "Team meeting"), and each distinct one is then ordered once.
class DistinctTitles
{
public:
    /// The index of `title` in titles(), which gains it when new.
    int indexOf(QByteArrayView title)
    {
        const quint32 h = hash(title);
        for (std::size_t slot = h;; ++slot) {
            int& index = m_slots[slot & (m_slots.size() - 1)];
            if (index < 0) {
                const int added = int(m_titles.size());
                index = added;
                m_titles.push_back(title);
                m_hashes.push_back(h);
                if (2 * m_titles.size() > m_slots.size())
                    grow(); // `index` goes with the old slots
                return added;
            }
            const QByteArrayView known = m_titles[std::size_t(index)];
            if (known.size() == title.size() && std::memcmp(known.data(), title.data(), std::size_t(title.size())) == 0)
                return index;
        }
    }
    [[nodiscard]] const std::vector<QByteArrayView>& titles() const { return m_titles; }

private:
    [[nodiscard]] quint32 hash(QByteArrayView title) const
    {
        constexpr quint64 kMix = 0x9e3779b97f4a7c15;
        quint64 h = m_seed ^ quint64(title.size()) * kMix;
        for (qsizetype i = 0; i < title.size(); i += 8) {
            quint64 word = 0;
            std::memcpy(&word, title.data() + i, std::size_t(std::min<qsizetype>(8, title.size() - i)));
            h = (h ^ word) * kMix;
            h ^= h >> 29;
        }
        return quint32(h ^ h >> 32);
    }

    void grow()
    {
        m_slots.assign(2 * m_slots.size(), -1);
        for (std::size_t i = 0; i < m_titles.size(); ++i) {
            std::size_t slot = m_hashes[i];
            while (m_slots[slot & (m_slots.size() - 1)] >= 0)
                ++slot;
            m_slots[slot & (m_slots.size() - 1)] = int(i);
        }
    }

    std::vector<int> m_slots = std::vector<int>(64, -1); ///< -1: free; at most half are taken
    std::vector<QByteArrayView> m_titles;
    std::vector<quint32> m_hashes; ///< of m_titles
    quint64 m_seed = QRandomGenerator::global()->generate64();
};

} // namespace

void EventTable::sortByTitle()
{
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    // In the C locale QCollator compares case-insensitively, but its sort keys do not.
    const bool cLocale = collator.locale().language() == QLocale::C;
    const PlainOrder plainOrder(collator);

    DistinctTitles distinct;
    std::vector<int> titleOfRow(m_rows.size());
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        titleOfRow[i] = distinct.indexOf(titleBytes(m_rows[i]));

    // Plain ASCII titles are sorted by their characters' places, the others by the
    // collator; the two sorted lists are then merged with the collator.
    std::vector<PlainOrder::Title> plain;
    std::vector<int> others;    // in `distinct`
    std::vector<QString> texts; // of the others
    std::vector<qint32> sure;   // of the others: PlainOrder::sureBeginning
    for (std::size_t t = 0; t < distinct.titles().size(); ++t) {
        const QByteArrayView bytes = distinct.titles()[t];
        if (plainOrder.covers(bytes)) {
            plain.push_back({bytes.data(), qint32(bytes.size()), qint32(t)});
        } else {
            others.push_back(int(t));
            texts.push_back(QString::fromUtf8(bytes));
            sure.push_back(plainOrder.sureBeginning(bytes));
        }
    }

    // The other titles' sort keys cost about ten times what sorting a plain title does: both
    // cores make them, the second while this one sorts the plain titles.
    const QCollatorSortKey emptyKey = collator.sortKey(QString());
    std::vector<QCollatorSortKey> keys(cLocale ? 0 : texts.size(), emptyKey);
    std::atomic<std::size_t> nextKey = 0;
    auto makeKeys = [&](const QCollator& keyer) {
        constexpr std::size_t kShare = 256;
        for (std::size_t first; (first = nextKey.fetch_add(kShare)) < keys.size();) {
            for (std::size_t i = first; i < std::min(first + kShare, keys.size()); ++i)
                keys[i] = keyer.sortKey(texts[i]);
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

    // The others in order (positions in `others`), and which equal the one before.
    std::vector<int> order(others.size());
    std::iota(order.begin(), order.end(), 0);
    auto otherLess = [&](int a, int b) {
        return cLocale ? collator.compare(texts[std::size_t(a)], texts[std::size_t(b)]) < 0
                       : keys[std::size_t(a)].compare(keys[std::size_t(b)]) < 0;
    };
    std::sort(order.begin(), order.end(), otherLess);

    // Where a plain title goes among the others.
    QVarLengthArray<char16_t, 256> wide;
    auto compare = [&](const PlainOrder::Title& a, int other) {
        if (a.size == 0) {
            // QCollator::compare puts an empty text first, where its keys may find it
            // equal to a title of characters that do not count (a zero-width space).
            return cLocale ? -1 : emptyKey.compare(keys[std::size_t(other)]);
        }
        // Most pairs differ within their plain beginnings, where no sort key is needed.
        if (const int c = plainOrder.compareBeginning(
                a, distinct.titles()[std::size_t(others[std::size_t(other)])].data(), sure[std::size_t(other)]))
            return c;
        wide.resize(a.size);
        std::copy(a.text, a.text + a.size, wide.begin());
        return collator.compare(QStringView(wide.data(), wide.size()), texts[std::size_t(other)]);
    };

    // Ranks in the merged order; titles that compare equal ("Apple", "apple") share one.
    // Whether a title equals the one before is known from its own list, or, across the
    // lists, from the comparison that decided between the two.
    std::vector<int> rank(distinct.titles().size());
    enum class From
    {
        Nowhere,
        Plain,
        Other
    } previous = From::Nowhere;
    int lastPlainOrder = -1; // how the last plain title taken compared to the other then first
    int taken = 0, currentRank = 0;
    auto give = [&](int title, bool sameAsBefore) {
        if (!sameAsBefore)
            currentRank = taken;
        rank[std::size_t(title)] = currentRank;
        ++taken;
    };
    std::size_t p = 0, o = 0;
    while (p < plain.size() || o < order.size()) {
        const bool plainLeft = p < plain.size(), otherLeft = o < order.size();
        const int c = plainLeft && otherLeft ? compare(plain[p], order[o]) : (plainLeft ? -1 : 1);
        if (c <= 0) {
            give(plain[p].index, previous == From::Plain && plainOrder.equal(plain[p - 1], plain[p]));
            lastPlainOrder = c;
            previous = From::Plain;
            ++p;
        } else {
            give(others[std::size_t(order[o])], previous == From::Plain   ? lastPlainOrder == 0
                                                : previous == From::Other ? !otherLess(order[o - 1], order[o])
                                                                          : false);
            previous = From::Other;
            ++o;
        }
    }

    // A counting sort by rank: stable, and linear in the number of rows.
    std::vector<std::size_t> start(rank.size() + 1, 0);
    for (int t : titleOfRow)
        ++start[std::size_t(rank[std::size_t(t)]) + 1];
    std::partial_sum(start.begin(), start.end(), start.begin());
    std::vector<Row> sorted(m_rows.size());
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        sorted[start[std::size_t(rank[std::size_t(titleOfRow[i])])]++] = m_rows[i];
    m_rows = std::move(sorted);
}

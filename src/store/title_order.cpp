#include "title_order.h"

#include <QCollator>
#include <QString>
#include <QVarLengthArray>

#include <algorithm>
#include <array>
#include <atomic>
#include <exception>
#include <numeric>
#include <thread>

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

// The steps of RankTitles, each a member: split the titles into the plain ones and the
// others, sort each list (the others by sort keys, made on both cores), merge the two.
class TitleRanker
{
public:
    explicit TitleRanker(const std::vector<QByteArrayView>& titles)
        : m_titles(titles), m_collator(CaseInsensitiveCollator()),
          m_cLocale(m_collator.locale().language() == QLocale::C), m_plainOrder(m_collator),
          m_emptyKey(m_collator.sortKey(QString()))
    {}

    std::vector<int> ranks()
    {
        split();
        sortEachList();
        return merge();
    }

private:
    static QCollator CaseInsensitiveCollator()
    {
        QCollator collator;
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        return collator;
    }

    void split()
    {
        for (std::size_t t = 0; t < m_titles.size(); ++t) {
            const QByteArrayView bytes = m_titles[t];
            if (m_plainOrder.covers(bytes)) {
                m_plain.push_back({bytes.data(), qint32(bytes.size()), qint32(t)});
            } else {
                m_others.push_back(int(t));
                m_texts.push_back(QString::fromUtf8(bytes));
                m_sure.push_back(m_plainOrder.sureBeginning(bytes));
            }
        }
    }

    // The other titles' sort keys cost about ten times what sorting a plain title does: both
    // cores make them, the second while this one sorts the plain titles.
    void sortEachList()
    {
        m_keys.assign(m_cLocale ? 0 : m_texts.size(), m_emptyKey);
        std::atomic<std::size_t> nextKey = 0;
        auto makeKeys = [&](const QCollator& keyer) {
            constexpr std::size_t kShare = 256;
            for (std::size_t first; (first = nextKey.fetch_add(kShare)) < m_keys.size();) {
                for (std::size_t i = first; i < std::min(first + kShare, m_keys.size()); ++i)
                    m_keys[i] = keyer.sortKey(m_texts[i]);
            }
        };
        std::exception_ptr failed;
        std::jthread helper;
        if (m_keys.size() >= 4 * 256) {
            helper = std::jthread([&] {
                try {
                    makeKeys(CaseInsensitiveCollator()); // a QCollator is not shared between threads
                } catch (...) {
                    failed = std::current_exception();
                }
            });
        }
        m_plainOrder.sort(m_plain);
        makeKeys(m_collator);
        if (helper.joinable())
            helper.join();
        if (failed)
            std::rethrow_exception(failed);

        m_order.resize(m_others.size());
        std::iota(m_order.begin(), m_order.end(), 0);
        std::sort(m_order.begin(), m_order.end(), [&](int a, int b) { return otherLess(a, b); });
    }

    // Ranks in the merged order. Whether a title equals the one before is known from its own
    // list, or, across the lists, from the comparison that decided between the two.
    std::vector<int> merge()
    {
        std::vector<int> rank(m_titles.size());
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
        while (p < m_plain.size() || o < m_order.size()) {
            const bool plainLeft = p < m_plain.size(), otherLeft = o < m_order.size();
            const int c = plainLeft && otherLeft ? comparePlainToOther(m_plain[p], m_order[o]) : (plainLeft ? -1 : 1);
            if (c <= 0) {
                give(m_plain[p].index, previous == From::Plain && m_plainOrder.equal(m_plain[p - 1], m_plain[p]));
                lastPlainOrder = c;
                previous = From::Plain;
                ++p;
            } else {
                give(m_others[std::size_t(m_order[o])], previous == From::Plain ? lastPlainOrder == 0
                                                        : previous == From::Other
                                                            ? !otherLess(m_order[o - 1], m_order[o])
                                                            : false);
                previous = From::Other;
                ++o;
            }
        }
        return rank;
    }

    // Two of the other titles, by their positions in m_others.
    [[nodiscard]] bool otherLess(int a, int b) const
    {
        return m_cLocale ? m_collator.compare(m_texts[std::size_t(a)], m_texts[std::size_t(b)]) < 0
                         : m_keys[std::size_t(a)].compare(m_keys[std::size_t(b)]) < 0;
    }

    // Where a plain title goes among the others.
    int comparePlainToOther(const PlainOrder::Title& a, int other)
    {
        if (a.size == 0) {
            // QCollator::compare puts an empty text first, where its keys may find it
            // equal to a title of characters that do not count (a zero-width space).
            return m_cLocale ? -1 : m_emptyKey.compare(m_keys[std::size_t(other)]);
        }
        // Most pairs differ within their plain beginnings, where no sort key is needed.
        if (const int c = m_plainOrder.compareBeginning(a, m_titles[std::size_t(m_others[std::size_t(other)])].data(),
                                                        m_sure[std::size_t(other)]))
            return c;
        m_wide.resize(a.size);
        std::copy(a.text, a.text + a.size, m_wide.begin());
        return m_collator.compare(QStringView(m_wide.data(), m_wide.size()), m_texts[std::size_t(other)]);
    }

    const std::vector<QByteArrayView>& m_titles;
    const QCollator m_collator;
    const bool m_cLocale; ///< QCollator then compares case-insensitively, but its sort keys do not
    const PlainOrder m_plainOrder;
    const QCollatorSortKey m_emptyKey;

    std::vector<PlainOrder::Title> m_plain;
    std::vector<int> m_others;            ///< the other titles, as indexes into m_titles
    std::vector<QString> m_texts;         ///< of the others
    std::vector<qint32> m_sure;           ///< of the others: PlainOrder::sureBeginning
    std::vector<QCollatorSortKey> m_keys; ///< of the others; none in the C locale
    std::vector<int> m_order;             ///< the others in order, as positions in m_others
    QVarLengthArray<char16_t, 256> m_wide;
};

} // namespace

std::vector<int> RankTitles(const std::vector<QByteArrayView>& titles)
{
    return TitleRanker(titles).ranks();
}

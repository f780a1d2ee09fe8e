#pragma once

#include <QByteArrayView>
#include <QRandomGenerator>

#include <cstring>
#include <vector>

/// The distinct titles of a list, found through a small open-addressing table: titles
/// repeat (birthdays, "Team meeting"), and each distinct one is then ordered once.
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

/// Ranks distinct UTF-8 titles as the user's language sorts them, case-insensitively: a
/// title's rank is the number of titles that order before it, so titles that compare equal
/// ("Apple", "apple") share one. Plain ASCII titles are ordered without sort keys, which
/// gives the same order faster; many other titles are keyed on two cores.
[[nodiscard]] std::vector<int> RankTitles(const std::vector<QByteArrayView>& titles);

#include "event_table.h"

#include <QCollator>
#include <QHash>

#include <algorithm>
#include <numeric>

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
    r.text = m_text.size();
    r.titleBytes = qint32(title.size());
    r.descriptionBytes = qint32(description.size());
    for (std::size_t i = 0; i < kNumberColumns.size(); ++i) {
        const NumberValue value = numbers.*kNumberColumns[i].number;
        r.numbers[i] = value.value_or(0);
        r.states |= quint32(value.state()) << (2 * i);
    }
    m_text.append(title);
    m_text.append(description);
    m_rows.push_back(r);
}

void EventTable::sortByTitle()
{
    // Titles repeat (birthdays, "Team meeting"), so each distinct title is ranked once
    // and the rows are then placed by rank, which keeps equal titles in their order.
    QHash<QByteArrayView, int> known; // a title's bytes -> 1 + its place in `titles`
    std::vector<QString> titles;
    std::vector<int> titleOfRow(m_rows.size());
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        const QByteArrayView bytes = titleBytes(m_rows[i]);
        int& place = known[bytes]; // 0 for a title not met before
        if (place == 0) {
            titles.push_back(QString::fromUtf8(bytes));
            place = int(titles.size());
        }
        titleOfRow[i] = place - 1;
    }

    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::vector<int> order(titles.size());
    std::iota(order.begin(), order.end(), 0);
    std::vector<int> rank(titles.size());
    auto rankInOrder = [&](auto less) {
        std::sort(order.begin(), order.end(), less);
        for (std::size_t i = 0; i < order.size(); ++i) {
            // "Apple" and "apple" share a rank, so their rows stay in the table's order.
            const bool tie = i > 0 && !less(order[i - 1], order[i]);
            rank[std::size_t(order[i])] = tie ? rank[std::size_t(order[i - 1])] : int(i);
        }
    };
    if (collator.locale().language() == QLocale::C) {
        // In the C locale QCollator compares case-insensitively, but its sort keys do not.
        rankInOrder([&](int a, int b) { return collator.compare(titles[std::size_t(a)], titles[std::size_t(b)]) < 0; });
    } else {
        std::vector<QCollatorSortKey> keys;
        keys.reserve(titles.size());
        for (const QString& title : titles)
            keys.push_back(collator.sortKey(title));
        rankInOrder([&](int a, int b) { return keys[std::size_t(a)].compare(keys[std::size_t(b)]) < 0; });
    }

    // A counting sort by rank: stable, and linear in the number of rows.
    std::vector<std::size_t> start(titles.size() + 1, 0);
    for (int t : titleOfRow)
        ++start[std::size_t(rank[std::size_t(t)]) + 1];
    std::partial_sum(start.begin(), start.end(), start.begin());
    std::vector<Row> sorted(m_rows.size());
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        sorted[start[std::size_t(rank[std::size_t(titleOfRow[i])])]++] = m_rows[i];
    m_rows = std::move(sorted);
}

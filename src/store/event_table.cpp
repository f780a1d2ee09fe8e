#include "event_table.h"

#include "title_order.h"

#include <numeric>

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

void EventTable::sortByTitle()
{
    DistinctTitles distinct;
    std::vector<int> titleOfRow(m_rows.size());
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        titleOfRow[i] = distinct.indexOf(titleBytes(m_rows[i]));
    const std::vector<int> rank = RankTitles(distinct.titles());

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

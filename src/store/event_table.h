#pragma once

#include "calendar/event_record.h"

#include <QByteArrayView>
#include <QString>

#include <array>
#include <string>
#include <vector>

/// Every row of the event table, held compactly for a list of all events: the id and
/// the nine numbers of a row in one small record, titles and descriptions as their
/// UTF-8 bytes side by side in one buffer. About 120 bytes an event, where a row of
/// QString texts and optional numbers costs two to three times that.
class EventTable
{
public:
    [[nodiscard]] qsizetype size() const { return qsizetype(m_rows.size()); }
    [[nodiscard]] bool isEmpty() const { return m_rows.empty(); }

    /// For row 0 .. size() - 1:
    [[nodiscard]] qint64 id(qsizetype row) const { return m_rows[std::size_t(row)].id; }
    [[nodiscard]] QString title(qsizetype row) const;
    [[nodiscard]] QString description(qsizetype row) const;
    /// The id and the nine numbers of the row, as the store read them; title and description stay empty.
    [[nodiscard]] EventRecord numbers(qsizetype row) const;

    void clear();
    /// Appends a row: the id and numbers of `numbers`, and the two texts as UTF-8.
    void append(const EventRecord& numbers, QByteArrayView title, QByteArrayView description);

    /// Orders the rows by title, case-insensitively and as the user's language sorts;
    /// rows whose titles compare equal keep their order. A large table with many titles
    /// outside plain ASCII is sorted on two cores.
    void sortByTitle();

private:
    struct Row
    {
        qint64 id;
        qsizetype text; ///< where the title starts in m_text; the description follows it
        qint32 titleBytes;
        qint32 descriptionBytes;
        std::array<qint32, 9> numbers;
        quint32 states; ///< bits 2i, 2i + 1: the NumberValue::State of numbers[i]
    };

    [[nodiscard]] QByteArrayView titleBytes(const Row& row) const
    {
        return QByteArrayView(m_text.data() + row.text, row.titleBytes);
    }

    std::vector<Row> m_rows;
    std::string m_text; ///< appends cost a third of a QByteArray's
};

#include "event_rows.h"

#include "event_table.h"

#include <sqlite3.h>

#include <limits>

namespace rows {

namespace {

QByteArray columnNames(std::span<const EventColumn> columns, const char* after)
{
    QByteArray names;
    for (const EventColumn& column : columns) {
        if (!names.isEmpty())
            names += ',';
        names += column.name;
        names += after;
    }
    return names;
}

Statements make()
{
    Statements s;
    const std::span<const EventColumn> values(kEventColumns + 1, kEventColumnCount - 1);
    QByteArray declarations;
    for (const EventColumn& column : kEventColumns) {
        declarations += declarations.isEmpty() ? "\n    " : ",\n    ";
        declarations += column.name;
        declarations += column.type == ColumnType::Id     ? " integer primary key autoincrement"
                        : column.type == ColumnType::Text ? " text"
                                                          : " integer";
    }
    s.schema = "create table tblEvents (" + declarations + "\n)";
    s.selectAll = "select * from tblEvents order by id";
    s.selectOne = "select * from tblEvents where id=?";
    QByteArray placeholders = "?";
    for (std::size_t i = 1; i < values.size(); ++i)
        placeholders += ",?";
    s.insert = "insert into tblEvents (" + columnNames(values, "") + ") values (" + placeholders + ')';
    s.update = "update tblEvents set " + columnNames(values, "=?") + " where id=?";
    s.remove = "delete from tblEvents where id=?";
    return s;
}

// The shared file may have been written by any tool: anything but a whole number in
// range is kept as unusable, which the occurrence rule treats as "never".
NumberValue numberAt(const sqlite::Statement& row, int position)
{
    sqlite3_value* const stored = row.valueAt(position);
    const int type = sqlite3_value_type(stored);
    if (type == SQLITE_NULL)
        return {};
    const qint64 value = sqlite3_value_int64(stored);
    if (type == SQLITE_INTEGER && value >= std::numeric_limits<int>::min() && value <= std::numeric_limits<int>::max())
        return int(value);
    return NumberValue::unusable();
}

} // namespace

const Statements& statements()
{
    static const Statements made = make();
    return made;
}

EventRecord numbersOf(const sqlite::Statement& row)
{
    EventRecord r;
    r.id = row.numberAt(0);
    for (const EventColumn& column : kNumberColumns)
        r.*column.number = numberAt(row, column.position);
    return r;
}

void readTexts(const sqlite::Statement& row, EventRecord& record)
{
    for (const EventColumn& column : kTextColumns)
        record.*column.text = row.textAt(column.position);
}

EventRecord recordOf(const sqlite::Statement& row)
{
    EventRecord r = numbersOf(row);
    readTexts(row, r);
    return r;
}

void appendTo(const sqlite::Statement& row, EventTable& table)
{
    table.append(numbersOf(row), row.utf8At(kTextColumns[0].position), row.utf8At(kTextColumns[1].position));
}

void bindValues(sqlite::Statement& statement, const EventRecord& record)
{
    // Parameter n binds column n: the statements list the columns from title on.
    for (const EventColumn& column : kTextColumns)
        statement.bind(column.position, record.*column.text);
    for (const EventColumn& column : kNumberColumns) {
        const NumberValue value = record.*column.number;
        if (value)
            statement.bind(column.position, qint64(*value));
        else
            statement.bindNull(column.position);
    }
}

} // namespace rows

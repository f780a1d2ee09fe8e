#pragma once

// Rows of tblEvents as statements read and write them, column by column through the one
// column table, so that no reader or writer keeps positions of its own.

#include "calendar/event_record.h"
#include "sqlite.h"

class EventTable;

namespace rows {

/// The statements the program runs on tblEvents, made once from the column table.
struct Statements
{
    QByteArray schema;    ///< create table tblEvents (...)
    QByteArray selectAll; ///< every row, in the table's natural order (ascending id)
    QByteArray selectOne; ///< the row with id ?1
    QByteArray insert;    ///< ?1 .. ?11: title .. daysbefore
    QByteArray update;    ///< ?1 .. ?11 as insert, ?12: the id
    QByteArray remove;    ///< the row with id ?1
};
[[nodiscard]] const Statements& statements();

/// The id and the nine numbers of the row the statement stands on; title and description stay empty.
[[nodiscard]] EventRecord numbersOf(const sqlite::Statement& row);
/// Reads the title and description of the row into `record`.
void readTexts(const sqlite::Statement& row, EventRecord& record);
/// The whole row.
[[nodiscard]] EventRecord recordOf(const sqlite::Statement& row);
/// Appends the row to `table`, its texts as the UTF-8 that SQLite holds.
void appendTo(const sqlite::Statement& row, EventTable& table);

/// Binds the eleven values of `record`, title .. daysbefore, to ?1 .. ?11 (a number without a value as NULL).
void bindValues(sqlite::Statement& statement, const EventRecord& record);

} // namespace rows

#pragma once

#include "store/event_table.h"

#include <QAbstractTableModel>

/// The rows of Form4's list: one per event, in the order of the table it is given, with
/// twelve columns whose texts are made when a cell is shown. It holds the events as one
/// compact EventTable rather than an item object per row, so 100,000 events stay cheap.
class EventListModel final : public QAbstractTableModel
{
    Q_OBJECT

public:
    struct Column
    {
        const char* heading;
        int twips; ///< the column's width
    };
    /// The id column is one twip wide: there for Delete and Update, not for the eye.
    static constexpr Column kColumns[] = {
        {"Event ID", 1},      {"Title", 2000},  {"Description", 2000}, {"Type", 700},
        {"Consistancy", 700}, {"Month", 700},   {"Day", 700},          {"Year", 700},
        {"Week", 700},        {"Weekday", 700}, {"Warn Event", 700},   {"Days Before", 700},
    };

    using QAbstractTableModel::QAbstractTableModel;

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                      int role = Qt::DisplayRole) const override;
    [[nodiscard]] Qt::ItemFlags flags(const QModelIndex& index) const override;

    /// Shows `rows` in place of the rows shown so far (views drop their selection).
    void reset(EventTable rows);
    /// The event id of row 0 .. rowCount() - 1.
    [[nodiscard]] qint64 idAt(int row) const { return m_rows.id(row); }

private:
    EventTable m_rows;
};

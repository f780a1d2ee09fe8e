#pragma once

#include <QList>
#include <QObject>

#include <functional>

class GridLabel;

/// Makes a grid of cells one stop of the Tab chain: one cell, the current one, takes the
/// focus from Tab; the arrow keys move it between the cells that `holds` accepts, over
/// those it does not, and Home and End go to the first and the last of them. A click on a
/// held cell makes it current; the others never take the focus. Screen readers hear every
/// cell as a button, unavailable while it holds nothing.
class CellFocus : public QObject
{
public:
    /// `cells` row by row, `columns` to a row; they must already stand in the Tab chain.
    CellFocus(QList<GridLabel*> cells, int columns, std::function<bool(int)> holds, QObject* parent);

    [[nodiscard]] int current() const { return m_current; }
    [[nodiscard]] GridLabel* currentCell() const { return m_cells.value(m_current); }
    /// Makes cell `index` current; the focus moves with it when the grid has it.
    void setCurrent(int index);
    /// After the cells changed what they hold: a current cell that holds nothing gives
    /// way to `fallback`, and only held cells take the focus.
    void refresh(int fallback);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void step(int from, int delta);

    QList<GridLabel*> m_cells;
    int m_columns;
    std::function<bool(int)> m_holds;
    int m_current = 0;
};

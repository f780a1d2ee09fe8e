#include "cell_focus.h"

#include "accessibility.h"
#include "grid_label.h"

#include <QKeyEvent>

#include <algorithm>

CellFocus::CellFocus(QList<GridLabel*> cells, int columns, std::function<bool(int)> holds, QObject* parent)
    : QObject(parent), m_cells(std::move(cells)), m_columns(columns), m_holds(std::move(holds))
{
    for (GridLabel* cell : m_cells) {
        cell->installEventFilter(this);
        kit::PresentAsControl(*cell);
    }
}

void CellFocus::setCurrent(int index)
{
    if (index < 0 || index >= m_cells.size())
        return;
    const bool focused = currentCell()->hasFocus();
    m_current = index;
    refresh(index);
    if (focused)
        currentCell()->setFocus(Qt::OtherFocusReason);
}

void CellFocus::refresh(int fallback)
{
    if (!m_holds(m_current) && fallback >= 0 && fallback < m_cells.size())
        m_current = fallback;
    for (int i = 0; i < m_cells.size(); ++i) {
        const bool wasHeld = m_cells[i]->focusPolicy() != Qt::NoFocus;
        m_cells[i]->setFocusPolicy(i == m_current ? Qt::StrongFocus : m_holds(i) ? Qt::ClickFocus : Qt::NoFocus);
        if (wasHeld != (m_cells[i]->focusPolicy() != Qt::NoFocus))
            kit::NotifyAvailability(*m_cells[i]);
    }
}

void CellFocus::step(int from, int delta)
{
    for (int i = from + delta; i >= 0 && i < m_cells.size(); i += delta) {
        if (m_holds(i)) {
            setCurrent(i);
            return;
        }
    }
}

bool CellFocus::eventFilter(QObject* watched, QEvent* event)
{
    // Found as an object: a cell on its way out is no GridLabel any more.
    const auto found = std::find(m_cells.cbegin(), m_cells.cend(), watched);
    if (found == m_cells.cend())
        return false;
    const int index = int(found - m_cells.cbegin());
    if (event->type() == QEvent::FocusIn && index != m_current) {
        // Only held cells take the focus, so a click made this one current.
        currentCell()->setFocusPolicy(Qt::ClickFocus);
        m_current = index;
        currentCell()->setFocusPolicy(Qt::StrongFocus);
    }
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() & ~Qt::KeypadModifier)
        return false;
    switch (key->key()) {
    case Qt::Key_Left:
        step(index, -1);
        return true;
    case Qt::Key_Right:
        step(index, +1);
        return true;
    case Qt::Key_Up:
        step(index, -m_columns);
        return true;
    case Qt::Key_Down:
        step(index, +m_columns);
        return true;
    case Qt::Key_Home:
        step(-1, +1);
        return true;
    case Qt::Key_End:
        step(int(m_cells.size()), -1);
        return true;
    default:
        return false;
    }
}

#pragma once

#include "core/services.h"
#include "store/event_store.h"
#include "ui/window_kit.h"

class EventListModel;
class Form3;
class QTreeView;

/// Form4, event management: every stored event in title order, with "Add", "Delete"
/// and "Update" (the last two act on the highlighted row only).
class Form4 : public kit::FormDialog
{
    Q_OBJECT

public:
    Form4(AppServices& services, EventStore& store, QWidget* parent = nullptr);
    ~Form4() override;

    /// Loading: the twelve columns, then the list.
    void Form_Load() override;

    void PushButton1_Click(); ///< "Add"
    void PushButton2_Click(); ///< "Delete"
    void PushButton3_Click(); ///< "Update"

    /// The editor "Add" and "Update" open.
    [[nodiscard]] Form3& editor() { return *m_editor; }

private:
    void buildControls();
    /// Rebuilds the rows from the table; a failing read leaves the rows read so far.
    void fillList();
    /// The id of the highlighted row; empty when no row is highlighted (or the list is empty).
    [[nodiscard]] QString selectedId() const;

    AppServices& m_services;
    EventStore& m_store;
    Form3* m_editor = nullptr;
    EventListModel* m_rows = nullptr;
    QTreeView* ListView1 = nullptr;
};

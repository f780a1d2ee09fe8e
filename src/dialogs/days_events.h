#pragma once

#include "calendar/month_grid.h"
#include "core/services.h"
#include "event_title_list.h"
#include "store/event_store.h"
#include "ui/window_kit.h"

class QPlainTextEdit;
class QTreeWidget;

/// Form6, "Day's Event": the titles of the events that fall on one day of the shown
/// month, and the description of the selected one. It only reads; a day without
/// events closes it unseen while it loads.
class Form6 : public kit::FormDialog
{
    Q_OBJECT

public:
    Form6(AppServices& services, const EventStore& store, ViewedMonth view, QWidget* parent = nullptr);
    ~Form6() override;

    /// The day to list, "1".."31" (the clicked cell's tag); set before every showing.
    QString m_Day;

    void Form_Load() override;
    /// Shows the description of the selected title; nothing is selected: nothing happens.
    void ListView1_Click();

private:
    AppServices& m_services;
    const EventStore& m_store;
    ViewedMonth m_view;
    QTreeWidget* ListView1 = nullptr;
    QPlainTextEdit* Text1 = nullptr;
    EventTitleList ListedEvents;
};

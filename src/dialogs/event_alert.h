#pragma once

#include "calendar/occurrence.h"
#include "core/services.h"
#include "event_title_list.h"
#include "store/event_store.h"
#include "ui/window_kit.h"

class QComboBox;
class QPlainTextEdit;

/// Form8, "Event Alert!": the titles of today's events, and the description of the
/// chosen one. Shown once at start-up; it closes itself unseen when nothing falls on today.
class Form8 : public kit::FormDialog
{
    Q_OBJECT

public:
    /// Lists the events of `day` (today, the day of the month start-up drew). `known` are
    /// those events as that drawing found them; without them (a drawing that failed) the
    /// alert reads the table afresh.
    Form8(AppServices& services, const EventStore& store, QDate day,
          std::optional<QList<EventTitle>> known = std::nullopt, QWidget* parent = nullptr);
    ~Form8() override;

    void Form_Load() override;
    /// True after a load that found nothing to list (an empty table, or nothing today).
    [[nodiscard]] bool noEventsToday() const { return m_noEventsToday; }

    void Combo1_Click();                     ///< an entry was chosen
    void Combo1_Change(const QString& text); ///< the text was edited
    void PushButton1_Click();                ///< "Close"

private:
    void showDescription(int entry);

    AppServices& m_services;
    const EventStore& m_store;
    QDate m_day;
    std::optional<QList<EventTitle>> m_known;
    bool m_noEventsToday = false;
    EventTitleList AlertEvents;
    QComboBox* Combo1 = nullptr;
    QPlainTextEdit* Text1 = nullptr;
};

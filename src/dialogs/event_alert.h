#pragma once

#include "calendar/month_grid.h"
#include "core/services.h"
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
    /// `view` is the month start-up drew; today is its day of today's date. `listed` are
    /// today's events as that drawing found them; without them the alert reads the table.
    Form8(AppServices& services, const EventStore& store, ViewedMonth view,
          std::optional<TodaysEvents> listed = std::nullopt, QWidget* parent = nullptr);
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
    ViewedMonth m_view;
    std::optional<TodaysEvents> m_listed;
    bool m_noEventsToday = false;
    QList<qint64> AlertEventIds;
    QComboBox* Combo1 = nullptr;
    QPlainTextEdit* Text1 = nullptr;
};

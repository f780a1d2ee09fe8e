#pragma once

#include "calendar/month_grid.h"
#include "core/services.h"
#include "store/event_store.h"

#include <QWidget>

#include <array>

class CellFocus;
class ErrorTrap;
class GridLabel;
class Hover;

/// Program-wide state: the month shown and the one database connection.
struct AppState
{
    ViewedMonth View; ///< ViewMonth and ViewYear: the month the grid shows
    EventStore EventConnection;
    bool NoEventsToday = false;
};

/// Form1, the main window: the month heading, the weekday row, the 42 day cells and
/// the six buttons. It owns the program-wide state and runs start-up and shutdown.
class Form1 : public QWidget
{
    Q_OBJECT

public:
    explicit Form1(AppServices services, QWidget* parent = nullptr);
    ~Form1() override;

    /// Start-up: data folder, look, titles, month, colours, connection, first drawing,
    /// then today's events and the passed ones.
    void Form_Load();
    /// True when the user chose to quit at start-up: the window is never shown.
    [[nodiscard]] bool endedAtStartup() const { return m_endedAtStartup; }
    /// Shows today's events in "Event Alert!" and notes whether there were any.
    void CheckAlert();
    /// Asked to close: releases the database connection. Closing is never refused.
    void Form_QueryUnload();

    /// Redraws the grid for the shown month and shows it; returns what the drawing found.
    /// Failures propagate to the calling procedure; the cells keep what was painted before a failure.
    MonthFindings DrawMonth();

    void PushButton1_Click();     ///< "Last Month"
    void PushButton2_Click();     ///< "Add New Event"
    void PushButton3_Click();     ///< "Next Month"
    void PushButton4_Click();     ///< "Manage Events"
    void PushButton5_Click();     ///< "Colors"
    void PushButton6_Click();     ///< "Startup"
    void lblday_Click(int index); ///< a day cell: that day's events
    void month_year_Click();      ///< the heading: jump to a month

    [[nodiscard]] AppState& state() { return m_state; }
    [[nodiscard]] const MonthGrid& grid() const { return m_grid; }
    /// Where start-up found (or made) the live database; empty when it could not.
    [[nodiscard]] QString liveDatabaseFile() const { return m_liveFile; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void SetApplicationTitle();
    void showMonthHeading();
    void moveMonth(const QString& procedure, int months);
    void renderGrid();
    void describeGrid();
    void pageMonth(int months);
    void checkPassedEvents(ErrorTrap& trap);
    // Keeps the starts of events from other calendars ready for the months around today, a
    // few at a time while the program is idle, never before the first window is painted.
    void keepDaysWhileIdle(int delayMs);
    /// The connection, opened again first when start-up found the file busy.
    EventStore& connection();
    /// connection() as the first statement of a click; false (reported) while the file is still busy.
    bool reopened(ErrorTrap& trap);

    AppServices m_services;
    AppState m_state;
    MonthGrid m_grid;
    /// What the first drawing at start-up found; empty when it failed.
    std::optional<MonthFindings> m_startupFindings;
    bool m_endedAtStartup = false;
    bool m_closed = false;
    QString m_liveFile;

    Hover* m_hover = nullptr;
    CellFocus* m_dayKeys = nullptr;
    int m_keyedMonth = 0; // the month the keyboard's place in the grid belongs to
    GridLabel* m_monthYear = nullptr;
    std::array<GridLabel*, 7> m_dow{};
    std::array<GridLabel*, MonthGrid::kCellCount> m_lblday{};
};

/// The application title for a product name: the name cut before its last blank,
/// repeatedly, until at most 40 characters remain; a name without blanks stays whole.
[[nodiscard]] QString ApplicationTitleFor(const QString& productName);

/// "mmmm yyyy": the month's full name in the user's language, a blank, the year.
[[nodiscard]] QString MonthHeading(int month, int year);

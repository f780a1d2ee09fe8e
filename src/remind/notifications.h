#pragma once

#include "due.h"

#include <QDBusConnection>
#include <QLocale>
#include <QObject>
#include <QSet>
#include <QString>

#include <optional>

/// The desktop entry's id: the icon's name and the hint that ties a notification to the program.
inline constexpr char kDesktopEntry[] = "example.quillmoor.Quillmoor";
/// Above this many reminders at one look, one summary stands for them all.
inline constexpr int kMostSeparateNotifications = 20;

/// What one notification shows.
struct Notification
{
    QString summary;
    QString body;
    bool opensCalendar = false; ///< offers the "default" action (a click on it)
};

/// `text` as a notification may show it: blanks for tabs and line breaks, other control
/// characters removed, cut to at most `maxChars` characters (an ellipsis marks the cut).
[[nodiscard]] QString ShownText(QStringView text, qsizetype maxChars);

/// When an occurrence on `day` is, seen from `today`: "Today", "Tomorrow, " and the
/// date without its year, or "In N days, " and the date, in `locale`'s long form.
[[nodiscard]] QString WhenText(QDate day, QDate today, const QLocale& locale);

/// The notification of one reminder: the title, then when and the description's first lines.
[[nodiscard]] Notification NotificationOf(const DueReminder& reminder, QDate today, const QLocale& locale);

/// One notification for many reminders: "N events today", "N events coming up" or both
/// counts, and the first few of them with when they are.
[[nodiscard]] Notification SummaryOf(const QList<DueReminder>& reminders, QDate today, const QLocale& locale);

/// Where notifications go.
class NotificationService
{
public:
    virtual ~NotificationService() = default;
    /// Whether the service is there to take notifications now.
    [[nodiscard]] virtual bool isThere() = 0;
    /// Shows `notification`; the service's id for it, or nothing (with a one-line reason
    /// in `error`) when the service did not take it.
    virtual std::optional<quint32> show(const Notification& notification, QString& error) = 0;
};

/// What opens the calendar when a notification is clicked; tests put their own in.
class CalendarLauncher
{
public:
    virtual ~CalendarLauncher() = default;
    virtual void openCalendar() = 0;
};

/// org.freedesktop.Notifications on a D-Bus connection. A click on one of its
/// notifications that offer the calendar opens it through `launcher`.
class DesktopNotifications final : public QObject, public NotificationService
{
    Q_OBJECT

public:
    DesktopNotifications(QDBusConnection bus, CalendarLauncher& launcher, QObject* parent = nullptr);

    [[nodiscard]] bool isThere() override;
    std::optional<quint32> show(const Notification& notification, QString& error) override;

private slots:
    void onActionInvoked(quint32 id, const QString& action);
    void onNotificationClosed(quint32 id, quint32 reason);

private:
    QDBusConnection m_bus;
    CalendarLauncher& m_launcher;
    bool m_markup = false;
    QSet<quint32> m_offering; // ours, still open, with the "default" action
};

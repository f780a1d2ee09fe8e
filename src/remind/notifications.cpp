#include "notifications.h"

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusReply>
#include <QRegularExpression>
#include <QStringList>
#include <QVariantMap>

namespace {

constexpr char kService[] = "org.freedesktop.Notifications";
constexpr char kPath[] = "/org/freedesktop/Notifications";
constexpr char kInterface[] = "org.freedesktop.Notifications";
constexpr int kCallTimeoutMs = 10000;

constexpr qsizetype kSummaryChars = 120;
constexpr qsizetype kLineChars = 160;
constexpr int kDescriptionLines = 3;
constexpr int kSummaryEntries = 5;

QString events(qsizetype count)
{
    return count == 1 ? QStringLiteral("1 event") : QStringLiteral("%1 events").arg(count);
}

// The locale's long date without the year (and the words that only lead up to it).
QString yearlessFormat(const QLocale& locale)
{
    static const QRegularExpression year(
        QStringLiteral("([\\s,.\\-/]*'[^']*')?[\\s,.\\-/]*y+(\\s*'[^']*'\\.?)?[\\s.\\x{5e74}\\x{b144}]*"));
    QString format = locale.dateFormat(QLocale::LongFormat);
    format.remove(year);
    return format.trimmed();
}

} // namespace

QString ShownText(QStringView text, qsizetype maxChars)
{
    // Cut early: a title of a megabyte costs no more than a short one.
    text = text.left(maxChars + 1);
    QString shown;
    shown.reserve(text.size());
    for (QChar c : text) {
        if (c == u'\t' || c == u'\n' || c == u'\r')
            shown += u' ';
        else if (c.category() != QChar::Other_Control)
            shown += c;
    }
    if (shown.size() > maxChars) {
        shown.truncate(maxChars - 1);
        if (!shown.isEmpty() && shown.back().isHighSurrogate())
            shown.chop(1);
        shown += QChar(0x2026);
    }
    return shown;
}

QString WhenText(QDate day, QDate today, const QLocale& locale)
{
    const qint64 ahead = today.daysTo(day);
    if (ahead == 0)
        return QStringLiteral("Today");
    if (ahead == 1)
        return QStringLiteral("Tomorrow, ") + locale.toString(day, yearlessFormat(locale));
    return QStringLiteral("In %1 days, ").arg(ahead) + locale.toString(day, QLocale::LongFormat);
}

Notification NotificationOf(const DueReminder& reminder, QDate today, const QLocale& locale)
{
    QStringList body{WhenText(reminder.day, today, locale)};
    // Only the first lines are looked at, however long the description.
    const QStringView description = QStringView(reminder.description).left(kDescriptionLines * (kLineChars + 2));
    for (QStringView line : description.split(u'\n', Qt::SkipEmptyParts)) {
        if (body.size() > kDescriptionLines)
            break;
        const QString shown = ShownText(line, kLineChars).trimmed();
        if (!shown.isEmpty())
            body.append(shown);
    }
    return {ShownText(reminder.title, kSummaryChars).trimmed(), body.join(u'\n'), false};
}

Notification SummaryOf(const QList<DueReminder>& reminders, QDate today, const QLocale& locale)
{
    const qsizetype todays = std::count_if(reminders.begin(), reminders.end(),
                                           [](const DueReminder& r) { return r.kind == ReminderKind::Today; });
    const qsizetype coming = reminders.size() - todays;
    Notification summary;
    if (coming == 0)
        summary.summary = events(todays) + QStringLiteral(" today");
    else if (todays == 0)
        summary.summary = events(coming) + QStringLiteral(" coming up");
    else
        summary.summary = events(todays) + QStringLiteral(" today, %1 coming up").arg(coming);
    QStringList body;
    for (const DueReminder& r : reminders.first(std::min<qsizetype>(kSummaryEntries, reminders.size())))
        body.append(ShownText(r.title, kLineChars / 2).trimmed() + QStringLiteral(": ") +
                    WhenText(r.day, today, locale));
    if (reminders.size() > kSummaryEntries)
        body.append(QStringLiteral("and %1 more").arg(reminders.size() - kSummaryEntries));
    summary.body = body.join(u'\n');
    return summary;
}

DesktopNotifications::DesktopNotifications(QDBusConnection bus, CalendarLauncher& launcher, QObject* parent)
    : QObject(parent), m_bus(bus), m_launcher(launcher)
{
    // From whoever owns the name now: a server started after the agent, or started again, counts.
    m_bus.connect(QString(), kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                  SLOT(onActionInvoked(quint32, QString)));
    m_bus.connect(QString(), kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                  SLOT(onNotificationClosed(quint32, quint32)));
}

bool DesktopNotifications::isThere()
{
    if (!m_bus.isConnected())
        return false;
    const QDBusReply<QStringList> capabilities =
        m_bus.call(QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("GetCapabilities")),
                   QDBus::Block, kCallTimeoutMs);
    if (!capabilities.isValid())
        return false;
    m_markup = capabilities.value().contains(QStringLiteral("body-markup"));
    return true;
}

std::optional<quint32> DesktopNotifications::show(const Notification& notification, QString& error)
{
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    const QStringList actions = notification.opensCalendar
                                    ? QStringList{QStringLiteral("default"), QStringLiteral("Open Quillmoor")}
                                    : QStringList{};
    const QVariantMap hints{{QStringLiteral("desktop-entry"), QString::fromLatin1(kDesktopEntry)}};
    // A server that reads markup would take "<" and "&" in a title or description as markup.
    const QString body = m_markup ? notification.body.toHtmlEscaped() : notification.body;
    call << QStringLiteral("Quillmoor") << quint32(0) << QString::fromLatin1(kDesktopEntry) << notification.summary
         << body << actions << hints << qint32(-1);
    const QDBusReply<quint32> id = m_bus.call(call, QDBus::Block, kCallTimeoutMs);
    if (!id.isValid()) {
        error = id.error().message();
        return std::nullopt;
    }
    if (notification.opensCalendar)
        m_offering.insert(id.value());
    return id.value();
}

void DesktopNotifications::onActionInvoked(quint32 id, const QString& action)
{
    // Every program's notifications are announced to all: act only on our own.
    if (action == u"default" && m_offering.contains(id))
        m_launcher.openCalendar();
}

void DesktopNotifications::onNotificationClosed(quint32 id, quint32)
{
    m_offering.remove(id);
}

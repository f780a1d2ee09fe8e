#include "sent_log.h"

#include "core/console.h"
#include "core/own_file.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <stdexcept>

namespace {

constexpr char kHeader[] = "# quillmoor-remind 2: ";
// Its lines have no title digest.
constexpr char kFirstHeader[] = "# quillmoor-remind 1: ";
// Far above what a year of reminders of 100,000 events writes; a larger file is not ours.
constexpr qint64 kMaxFileBytes = 64LL * 1024 * 1024;

const char* kindName(ReminderKind kind)
{
    return kind == ReminderKind::Today ? "today" : kind == ReminderKind::Ahead ? "ahead" : "alarm";
}

} // namespace

SentLog::Key SentLog::keyOf(const DueReminder& r)
{
    // FNV-1a over the title's UTF-16: stable across runs and versions, and cheap for the
    // thousands of reminders a look may find due.
    quint64 title = 0xcbf29ce484222325;
    for (const QChar c : r.title)
        title = (title ^ c.unicode()) * 0x100000001b3;
    return {r.id, r.day.toJulianDay(), r.kind, title ? title : 1};
}

QString StateHome()
{
    const QString home = qEnvironmentVariable("XDG_STATE_HOME");
    if (!home.isEmpty() && QDir::isAbsolutePath(home))
        return home;
    return QDir::homePath() + QStringLiteral("/.local/state");
}

QString SentLogFile(const QString& stateHome, const QString& database)
{
    const QByteArray digest =
        QCryptographicHash::hash(QFileInfo(database).absoluteFilePath().toUtf8(), QCryptographicHash::Sha256);
    return stateHome + QStringLiteral("/Quendrix/Quillmoor/sent-") + QString::fromLatin1(digest.toHex().left(16));
}

std::optional<QString> SentLog::load()
{
    const auto notOurs = [&](const QString& why) {
        return QStringLiteral("%1 %2; starting a new record of what was sent.").arg(m_fileName, why);
    };
    std::optional<QByteArray> read;
    try {
        read = ReadOwnFile(m_fileName, kMaxFileBytes);
    } catch (const std::exception& e) {
        return QStringLiteral("%1 Starting a new record of what was sent.").arg(QString::fromUtf8(e.what()));
    }
    if (!read)
        return std::nullopt;
    const QByteArray& text = *read;
    if ((!text.startsWith(kHeader) && !text.startsWith(kFirstHeader)) || !text.endsWith('\n'))
        return notOurs(QStringLiteral("is not a record of reminders this program wrote"));
    // Read whole before any of it is taken, so that a damaged file adds nothing.
    QList<Key> keys;
    qsizetype line = 1;
    for (qsizetype start = text.indexOf('\n') + 1; start < text.size(); ++line) {
        const qsizetype end = text.indexOf('\n', start);
        const QList<QByteArray> fields = text.mid(start, end - start).split(' ');
        start = end + 1;
        bool idOk = false;
        const qint64 id = fields.value(0).toLongLong(&idOk);
        const QDate day = QDate::fromString(QString::fromLatin1(fields.value(1)), Qt::ISODate);
        const QByteArray kind = fields.value(2);
        bool titleOk = fields.size() == 3;
        const quint64 title = titleOk ? 0 : fields.value(3).toULongLong(&titleOk, 16);
        if (fields.size() > 4 || !idOk || !day.isValid() || (kind != "today" && kind != "ahead" && kind != "alarm") ||
            !titleOk)
            return notOurs(QStringLiteral("has a damaged line %1").arg(line + 1));
        const ReminderKind k = kind == "today"   ? ReminderKind::Today
                               : kind == "ahead" ? ReminderKind::Ahead
                                                 : ReminderKind::Alarm;
        keys.append({id, day.toJulianDay(), k, title});
    }
    for (const Key& key : keys)
        m_sent.insert(key);
    return std::nullopt;
}

bool SentLog::contains(const DueReminder& reminder) const
{
    Key key = keyOf(reminder);
    if (m_sent.contains(key))
        return true;
    key.title = 0;
    return m_sent.contains(key);
}

void SentLog::add(const DueReminder& reminder)
{
    m_sent.insert(keyOf(reminder));
}

void SentLog::dropBefore(QDate day)
{
    const qint64 first = day.toJulianDay();
    m_sent.removeIf([first](const Key& key) { return key.day < first; });
}

void SentLog::save() const
{
    const auto fail = [&](const QString& why) {
        throw std::runtime_error(QStringLiteral("Cannot record the reminders sent in %1: %2; they may be sent again.")
                                     .arg(m_fileName, why)
                                     .toStdString());
    };
    if (!QDir().mkpath(QFileInfo(m_fileName).absolutePath()))
        fail(QStringLiteral("its folder cannot be made"));
    QByteArray text = kHeader + (QStringLiteral("the reminders sent for ") + OneLine(m_database)).toUtf8() + '\n';
    text.reserve(text.size() + m_sent.size() * 45);
    for (const Key& key : m_sent) {
        text += QByteArray::number(key.id) + ' ' + QDate::fromJulianDay(key.day).toString(Qt::ISODate).toLatin1() +
                ' ' + kindName(key.kind);
        if (key.title)
            text += ' ' + QByteArray::number(key.title, 16);
        text += '\n';
    }
    QSaveFile file(m_fileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
        fail(file.errorString());
}

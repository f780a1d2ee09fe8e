#pragma once

#include "due.h"

#include <QHash>
#include <QSet>
#include <QString>

#include <optional>

/// Where the reminders sent for `database` are recorded: one file per database under
/// `stateHome`/Quendrix/Quillmoor/, so that two databases' event ids never mix.
[[nodiscard]] QString SentLogFile(const QString& stateHome, const QString& database);

/// $XDG_STATE_HOME when it is an absolute path, else ~/.local/state.
[[nodiscard]] QString StateHome();

/// Which reminders were sent: per occurrence (event id and day), kind and title, so that
/// another event under a recorded id (a new database in the same place, ids counted
/// afresh) is still reminded of. Kept in memory
/// for the whole run and merged with the file at every load, so that a file that cannot
/// be written or read never makes the same run send a reminder twice.
class SentLog
{
public:
    /// Records for `database`, named in the file's first line for whoever reads it.
    SentLog(QString fileName, QString database) : m_fileName(std::move(fileName)), m_database(std::move(database)) {}

    /// Adds what the file records. A missing file records nothing. Returns a one-line
    /// message when the file cannot be read or is not one this program wrote; it is
    /// then left out, and the next save replaces it.
    [[nodiscard]] std::optional<QString> load();
    [[nodiscard]] bool contains(const DueReminder& reminder) const;
    void add(const DueReminder& reminder);
    /// Forgets the occurrences before `day`.
    void dropBefore(QDate day);
    /// Replaces the file, folders created as needed, in one step: a failure leaves the
    /// old file. Throws std::runtime_error with a one-line message.
    void save() const;

    [[nodiscard]] const QString& fileName() const { return m_fileName; }
    [[nodiscard]] qsizetype size() const { return m_sent.size(); }

private:
    struct Key
    {
        qint64 id;
        qint64 day; // Julian day
        ReminderKind kind;
        quint64 title; // a digest of the title; 0 in records written before titles were: any title
        friend bool operator==(const Key&, const Key&) = default;
        friend size_t qHash(const Key& k, size_t seed = 0)
        {
            return qHashMulti(seed, k.id, k.day, int(k.kind), k.title);
        }
    };
    static Key keyOf(const DueReminder& r);

    QString m_fileName;
    QString m_database;
    QSet<Key> m_sent;
};

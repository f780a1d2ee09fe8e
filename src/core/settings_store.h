#pragma once

#include "color_ref.h"
#include "preferences.h"

#include <QHash>
#include <QString>

#include <memory>
#include <optional>
#include <stdexcept>

class QSettings;

/// A stored setting whose text cannot be converted to the number its reader needs.
class SettingConversionError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

/// The stored values of the settings store at one moment, for a reader of many values
/// (a month drawing reads a hundred-odd): one look at the file, and one state of the store
/// rather than colours from before and after another program's write.
class SettingsSnapshot
{
public:
    /// As SettingsStore::get.
    [[nodiscard]] QString get(const QString& key, qint64 defaultValue) const;
    /// The colour stored under `pref`, or its default; throws SettingConversionError.
    [[nodiscard]] ColorRef color(const ColorPreference& pref) const;
    /// The flag or choice stored under `pref`, or its default; throws SettingConversionError.
    [[nodiscard]] qint16 choice(const ChoicePreference& pref) const;

private:
    friend class SettingsStore;
    QHash<QString, QString> m_values;
};

/// $XDG_CONFIG_HOME/Quendrix/Quillmoor.conf, the user's own store.
[[nodiscard]] QString UserSettingsFile();

/// The per-user preferences: text values under application "Quendrix", section
/// "Quillmoor". Readers ask at the moment they need a value. A get is a lookup in
/// memory after one look at the file's size and time, so a value another process
/// wrote (a second copy of the program, a hand edit) is seen at the next read.
class SettingsStore
{
public:
    /// The user's own store: $XDG_CONFIG_HOME/Quendrix/Quillmoor.conf.
    SettingsStore();
    /// A store kept in the given file (tests, tools).
    explicit SettingsStore(const QString& fileName);
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    /// The stored text, or the decimal text of `defaultValue` when the key is absent.
    /// A key holding empty text is present.
    [[nodiscard]] QString get(const QString& key, qint64 defaultValue) const;
    /// Stores `text` under `key`, replacing any earlier value.
    void save(const QString& key, const QString& text);

    /// The colour stored under `pref`, or its default; throws SettingConversionError.
    [[nodiscard]] ColorRef color(const ColorPreference& pref) const { return color(pref, pref.defaultValue); }
    /// The same with a reader's own default.
    [[nodiscard]] ColorRef color(const ColorPreference& pref, ColorRef defaultValue) const;
    /// The 16-bit flag or choice stored under `pref`, or its default; throws SettingConversionError.
    [[nodiscard]] qint16 choice(const ChoicePreference& pref) const;
    /// Stores a colour as its decimal text.
    void setColor(const ColorPreference& pref, ColorRef colour);
    /// Stores a flag or choice as its decimal text.
    void setChoice(const ChoicePreference& pref, qint16 value);

    /// Every stored value as it is now.
    [[nodiscard]] SettingsSnapshot snapshot() const;

    /// Writes pending changes to disk now (QSettings otherwise does it lazily).
    void sync();
    [[nodiscard]] QString fileName() const;
    /// Why the file is not used (a FIFO, a device or another user's file in its place): the
    /// values then live in memory for this run. Said once on standard error at construction.
    [[nodiscard]] const std::optional<QString>& refused() const { return m_refused; }

private:
    /// Sets m_refused; true when the file may be used.
    bool refuseUnusableFile();

    QString m_fileName;
    std::unique_ptr<QSettings> m_settings; // none while the file is refused
    std::optional<QString> m_refused;
    QHash<QString, QString> m_memory; // the values while the file is refused
};

/// Decimal text to a 32-bit signed integer; blanks around the number and a sign are
/// accepted. Throws SettingConversionError naming `key` for anything else.
[[nodiscard]] qint32 ToLong(const QString& text, const QString& key);
/// Decimal text to a 16-bit signed integer, as ToLong.
[[nodiscard]] qint16 ToInteger(const QString& text, const QString& key);

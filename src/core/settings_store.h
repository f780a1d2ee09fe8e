#pragma once

#include "color_ref.h"
#include "preferences.h"

#include <QHash>
#include <QString>

#include <memory>
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

private:
    std::unique_ptr<QSettings> m_settings;
};

/// Decimal text to a 32-bit signed integer; blanks around the number and a sign are
/// accepted. Throws SettingConversionError naming `key` for anything else.
[[nodiscard]] qint32 ToLong(const QString& text, const QString& key);
/// Decimal text to a 16-bit signed integer, as ToLong.
[[nodiscard]] qint16 ToInteger(const QString& text, const QString& key);

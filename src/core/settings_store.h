#pragma once

#include "color_ref.h"
#include "preferences.h"

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

/// The per-user preferences: text values under application "Quendrix", section
/// "Quillmoor". Readers ask at the moment they need a value. A get is a lookup in
/// memory after one look at the file's size and time, so a value another process
/// wrote (a second copy of the program, a hand edit) is seen at the next read (or,
/// within a Reading, at the next Reading).
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
    [[nodiscard]] ColorRef color(const Preference& pref) const { return color(pref, ColorRef(pref.defaultValue)); }
    /// The same with a reader's own default.
    [[nodiscard]] ColorRef color(const Preference& pref, ColorRef defaultValue) const;
    /// The 16-bit flag or choice stored under `pref`, or its default; throws SettingConversionError.
    [[nodiscard]] qint16 choice(const Preference& pref) const;
    void save(const Preference& pref, const QString& text) { save(QLatin1String(pref.key), text); }

    /// Writes pending changes to disk now (QSettings otherwise does it lazily).
    void sync();
    [[nodiscard]] QString fileName() const;

    /// While a Reading is alive, reads look at the file only at the first of them: a month
    /// drawing reads its hundred-odd values at the cost of one look, and sees one state of
    /// the store rather than colours from before and after another program's write.
    class Reading
    {
    public:
        explicit Reading(const SettingsStore& store);
        ~Reading();
        Reading(const Reading&) = delete;
        Reading& operator=(const Reading&) = delete;

    private:
        const SettingsStore& m_store;
    };

private:
    std::unique_ptr<QSettings> m_settings;
    mutable int m_readings = 0;
    mutable bool m_lookedDuringReading = false;
};

/// Decimal text to a 32-bit signed integer; blanks around the number and a sign are
/// accepted. Throws SettingConversionError naming `key` for anything else.
[[nodiscard]] qint32 ToLong(const QString& text, const QString& key);
/// Decimal text to a 16-bit signed integer, as ToLong.
[[nodiscard]] qint16 ToInteger(const QString& text, const QString& key);

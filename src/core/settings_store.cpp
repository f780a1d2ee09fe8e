#include "settings_store.h"

#include "console.h"
#include "own_file.h"

#include <QCoreApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>

#include <limits>

namespace {

const QString kApplication = QStringLiteral("Quendrix");
const QString kSection = QStringLiteral("Quillmoor");

QString keyPath(const QString& key)
{
    return kSection + u'/' + key;
}

// A report quotes the start of a bad value only: a megabyte of text would make a
// message box taller than the screen.
QString excerpt(const QString& text)
{
    constexpr qsizetype kShown = 40;
    return text.size() <= kShown ? text : text.left(kShown) + QStringLiteral("...");
}

template <typename Int> Int convert(const QString& text, const QString& key, const char* what)
{
    bool ok = false;
    const qlonglong value = text.trimmed().toLongLong(&ok, 10);
    if (!ok)
        throw SettingConversionError(QStringLiteral("The setting \"%1\" holds \"%2\", which is not a whole number.")
                                         .arg(key, excerpt(text))
                                         .toStdString());
    if (value < std::numeric_limits<Int>::min() || value > std::numeric_limits<Int>::max())
        throw SettingConversionError(QStringLiteral("The setting \"%1\" holds %2, which is too large for a %3.")
                                         .arg(key, text.trimmed(), QLatin1String(what))
                                         .toStdString());
    return Int(value);
}

} // namespace

// The file QSettings keeps the user's store in, worked out before QSettings reads it.
QString UserSettingsFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u'/' + kApplication +
           QStringLiteral("/Quillmoor.conf");
}

SettingsStore::SettingsStore() : m_fileName(UserSettingsFile())
{
    if (refuseUnusableFile())
        m_settings = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, kApplication,
                                                 QStringLiteral("Quillmoor"));
}

SettingsStore::SettingsStore(const QString& fileName) : m_fileName(fileName)
{
    if (refuseUnusableFile())
        m_settings = std::make_unique<QSettings>(fileName, QSettings::IniFormat);
}

bool SettingsStore::refuseUnusableFile()
{
    // QSettings reads the file as it is made, and would wait for ever on a FIFO in its place
    // or in its lock file's.
    m_refused = OwnFileProblem(m_fileName);
    if (!m_refused)
        m_refused = OwnFileProblem(m_fileName + QStringLiteral(".lock"));
    if (m_refused)
        WriteMessage(stderr, QCoreApplication::applicationName().toLocal8Bit().constData(),
                     *m_refused + QStringLiteral(" The settings are kept for this run only."));
    return !m_refused;
}

SettingsStore::~SettingsStore() = default;

namespace {

// A hand-edited value with a comma comes back as a list; give the text back whole.
QString textOf(const QVariant& value)
{
    if (value.userType() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

} // namespace

QString SettingsStore::get(const QString& key, qint64 defaultValue) const
{
    if (m_refused)
        return m_memory.value(key, QString::number(defaultValue));
    // Re-reads the file only when its size or time changed; otherwise this is a stat.
    m_settings->sync();
    const QVariant value = m_settings->value(keyPath(key));
    return value.isValid() ? textOf(value) : QString::number(defaultValue);
}

void SettingsStore::save(const QString& key, const QString& text)
{
    if (m_refused) {
        m_memory.insert(key, text);
        return;
    }
    m_settings->setValue(keyPath(key), text);
}

ColorRef SettingsStore::color(const ColorPreference& pref, ColorRef defaultValue) const
{
    const QString key = QLatin1String(pref.key);
    return ColorRef(ToLong(get(key, defaultValue), key));
}

qint16 SettingsStore::choice(const ChoicePreference& pref) const
{
    const QString key = QLatin1String(pref.key);
    return ToInteger(get(key, pref.defaultValue), key);
}

void SettingsStore::setColor(const ColorPreference& pref, ColorRef colour)
{
    save(QLatin1String(pref.key), QString::number(colour));
}

void SettingsStore::setChoice(const ChoicePreference& pref, qint16 value)
{
    save(QLatin1String(pref.key), QString::number(value));
}

SettingsSnapshot SettingsStore::snapshot() const
{
    SettingsSnapshot snapshot;
    if (m_refused) {
        snapshot.m_values = m_memory;
        return snapshot;
    }
    m_settings->sync();
    m_settings->beginGroup(kSection);
    for (const QString& key : m_settings->childKeys())
        snapshot.m_values.insert(key, textOf(m_settings->value(key)));
    m_settings->endGroup();
    return snapshot;
}

void SettingsStore::sync()
{
    if (!m_refused)
        m_settings->sync();
}

QString SettingsStore::fileName() const
{
    return m_settings ? m_settings->fileName() : m_fileName;
}

QString SettingsSnapshot::get(const QString& key, qint64 defaultValue) const
{
    const auto found = m_values.constFind(key);
    return found != m_values.cend() ? *found : QString::number(defaultValue);
}

ColorRef SettingsSnapshot::color(const ColorPreference& pref) const
{
    const QString key = QLatin1String(pref.key);
    return ColorRef(ToLong(get(key, pref.defaultValue), key));
}

qint16 SettingsSnapshot::choice(const ChoicePreference& pref) const
{
    const QString key = QLatin1String(pref.key);
    return ToInteger(get(key, pref.defaultValue), key);
}

qint32 ToLong(const QString& text, const QString& key)
{
    return convert<qint32>(text, key, "colour");
}

qint16 ToInteger(const QString& text, const QString& key)
{
    return convert<qint16>(text, key, "choice");
}

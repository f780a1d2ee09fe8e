#pragma once

#include "core/settings_store.h"

#include <QTemporaryDir>

#include <memory>

/// A private folder for one test: its settings file, data roots and program folder.
class TestEnv
{
public:
    TestEnv();

    [[nodiscard]] QString path(const QString& relative) const { return m_dir.filePath(relative); }
    [[nodiscard]] SettingsStore& settings() { return *m_settings; }
    /// Starts over with an empty settings file.
    void resetSettings();

    [[nodiscard]] QString programFolder() const { return path(QStringLiteral("program")); }
    [[nodiscard]] QString machineDataRoot() const { return path(QStringLiteral("var-lib")); }
    [[nodiscard]] QString userDataRoot() const { return path(QStringLiteral("home-share")); }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<SettingsStore> m_settings;
    int m_generation = 0;
};

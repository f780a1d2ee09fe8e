#include "test_env.h"

#include <QDir>

TestEnv::TestEnv()
{
    QDir root(m_dir.path());
    root.mkpath(QStringLiteral("program"));
    root.mkpath(QStringLiteral("var-lib"));
    root.mkpath(QStringLiteral("home-share"));
    resetSettings();
}

void TestEnv::resetSettings()
{
    m_settings = std::make_unique<SettingsStore>(path(QStringLiteral("settings-%1.conf").arg(++m_generation)));
}

#pragma once

#include "calendar/clock.h"
#include "settings/prompts.h"
#include "settings/settings_store.h"
#include "store/event_store.h"

#include <QString>

/// Folders the program works with, found once by main() and passed in, so tests
/// can point them at temporary folders.
struct AppPaths
{
    QString programFolder;   ///< holds the template database and the optional look files
    QString machineDataRoot; ///< shared by every user: /var/lib
    QString userDataRoot;    ///< fallback where the shared one cannot be written: ~/.local/share
};

/// The seams every window reaches the outside world through.
struct AppServices
{
    Clock& clock;
    Prompts& prompts;
    SettingsStore& settings;
    AppPaths paths;
};

/// Program-wide state shared by the main window and its dialogs.
struct AppState
{
    qint16 ViewMonth = 1;
    qint16 ViewYear = 2000;
    EventStore EventConnection;
    bool NoEventsToday = false;
};

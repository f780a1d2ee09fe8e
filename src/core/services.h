#pragma once

#include "clock.h"
#include "paths.h"
#include "prompts.h"
#include "settings_store.h"

/// The seams every window reaches the outside world through: "today", the message
/// boxes, the preferences and the folders.
struct AppServices
{
    Clock& clock;
    Prompts& prompts;
    SettingsStore& settings;
    AppPaths paths;
};

#pragma once

#include "core/paths.h"

#include <QString>

/// Where the live database lives and how it came to be there.
struct DataFolder
{
    QString folder;   ///< .../Quendrix/Quillmoor
    QString liveFile; ///< folder + "/dbData.mdb"
};

/// Prepares the data folder under `machineRoot` (normally /var/lib), or under
/// `userRoot` (normally ~/.local/share) where the machine-wide one cannot be created
/// or written, and on the first run copies `templateFile` to the live file (or creates
/// an empty database when the template is missing). An existing live file, or a link in
/// its place, is never replaced nor changed. Under the machine root the folders this
/// creates are Quendrix 0755 and Quillmoor 1777 and the file 0666, so that every user
/// writes events but only a file's owner may delete it; under the user root the umask
/// decides. Throws StoreError when no folder can be prepared or the file not written.
DataFolder PrepareDataFolder(const QString& machineRoot, const QString& userRoot, const QString& templateFile);

/// What a tool does with the calendar's own database: only read it, or prepare it first.
enum class DatabaseUse
{
    Read,
    Prepare,
};

/// The database a tool works on: `given` (from --db) when not empty; else the calendar's own
/// under `paths`, to read as DefaultDatabase chooses it (creating nothing), or prepared by
/// PrepareDataFolder as the calendar's first start does (which may throw StoreError).
[[nodiscard]] QString ToolDatabase(const QString& given, const AppPaths& paths, DatabaseUse use);

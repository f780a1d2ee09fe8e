#pragma once

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
/// an empty database when the template is missing). An existing live file is never
/// replaced. Throws StoreError when no folder can be prepared.
DataFolder PrepareDataFolder(const QString& machineRoot, const QString& userRoot, const QString& templateFile);
